// Metrics of the plain system font, as far as code outside the GUI needs
// them. The GUI sets the real value at start-up; without a GUI the height is
// the design size archives were made for, so nothing is rescaled.
#pragma once

constexpr float kDefaultFontDesignSize = 11.9873046875f;

// Ascent + descent of the plain system font.
float PlainFontHeight();
void SetPlainFontHeight(float height);
