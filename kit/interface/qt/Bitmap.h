// Bitmaps by name: the program's own (built into it as the resource
// ":/bitmaps/<name>.png") or, failing that, an image file at the path `name`.
#pragma once

#include <QImage>

// A null image when there is neither. Any thread.
QImage GetBitmap(const char* name);
