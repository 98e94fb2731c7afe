// The font of the panes that show lines of a log, and of the boxes where such text is searched for.
#pragma once
#include <QFont>

// A fixed-width font at the program's size: a Latin face first, so that "\" reads as a backslash
// (a Japanese face draws U+005C as a yen sign) and columns line up, then a Japanese face for the rest.
QFont lineFont();
