#pragma once

class QWidget;

namespace platform {

// Brings a top-level window to the front at the user's request (a second start of the program):
// out of the minimised state, raised and made the active window. A hidden window is left alone.
void bringToFront(QWidget* window);

}  // namespace platform
