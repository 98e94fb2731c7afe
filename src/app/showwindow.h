// Showing a window where the user can see it.
#pragma once

class QWidget;

// Shows a window, or brings it to the front when it is open already.
void showWindow(QWidget* window);
// Moves a window that does not fit into the screen's available area (a high-density display makes the
// windows' pixel positions reach past its edge); a window that fits stays where it is.
void keepOnScreen(QWidget* window);
