// The record set-up window "Start CD Recording...": one at a time. It owns a
// CCdRecordView (the set-up logic), renders the view's display record when
// the view posts that it changed, and posts the user's choices back to it.
#pragma once

class BWindow;
class CProject;

// Brings up the set-up window (activating the existing one, else making a
// new one) and posts it the choice of `project` (may be null: keep the
// current choice). Returns the window. GUI thread.
BWindow* ShowCdRecordWindow(CProject* project);
