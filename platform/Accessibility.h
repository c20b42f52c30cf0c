#pragma once

class QWidget;

namespace platform {

// What assistive technology is told beyond what Qt's own interfaces say:
// - a widget whose "decorative" property is true is left out of its parent's children, so it
//   never reaches the accessibility tree (page dots, the focus ring);
// - a push button whose "checkBox" property is true is a check box: the check-box role, and its
//   checked state (make the button checkable and keep its checked state with the screen's).
// Installs the interfaces once; main thread.
void installAccessibleInterfaces();

// Marks `widget` as decoration that assistive technology skips.
void setDecorative(QWidget* widget);

}  // namespace platform
