#pragma once

#include <QPoint>
#include <QSize>

class QWidget;

namespace platform {

// Where a window of `size` (its frame) goes to stand in the middle of `over`'s window while that
// window is shown, else in the middle of the screen (a window not shown yet has no place).
[[nodiscard]] QPoint centredPosition(const QWidget* over, QSize size);

// The application window the user works in: the window of `widget`, or the one a sheet or panel
// of it stands over.
[[nodiscard]] QWidget* applicationWindowOf(QWidget* widget);

}  // namespace platform
