// Posting a message later, or from a thread of its own. The caller keeps its
// message: a copy is sent.
#pragma once

#include "kit/support/SupportDefs.h"

class BHandler;
class BLooper;
class BMessage;
class BMessenger;

// To a handler (a view) through its looper.
void PostMessageAsync(BMessage* message, BHandler* target, int64 delay);
void PostMessageAsync(BMessage* message, BLooper* target, int64 delay);
// Always through a thread of its own, even with delay 0.
void PostMessageAsync(BMessage* message, BMessenger* target, int64 delay);
