// Keys that close a secondary window, as a desktop user expects them: Esc, and Ctrl+W in the windows
// one works in for a while.
#pragma once

class QWidget;

// Esc closes window (hides it: the program's windows are never destroyed before the end); with
// ctrlW, Ctrl+W does too. Keys that a focused widget uses itself (Esc in an open find bar) come first.
void closeWithKeys(QWidget* window, bool ctrlW);
