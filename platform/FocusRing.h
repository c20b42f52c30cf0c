#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>

namespace platform {

// The one focus ring of the program: a frame drawn around whichever control has the keyboard
// focus, above the control's neighbours, in every window but pop-ups. Its look (border, radius)
// comes from the application's style sheet, for the widget named "focusRing"; without one it
// draws nothing.
// Created by install(), lives as long as the application; the frame itself is a child of the
// focused control's window and goes with that window.
class FocusRing final : public QObject {
  Q_OBJECT

 public:
  // Starts the ring; later calls do nothing. Main thread.
  static void install();
  // The frame around the focused control, or nullptr while none is drawn.
  [[nodiscard]] static QWidget* frame();

  // How far the frame reaches out of the control's edge, in pixels: the style sheet's border
  // fits in it.
  static constexpr int kMargin = 3;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  explicit FocusRing(QObject* parent);
  void follow(QWidget* focused);
  void place();
  void unwatch();

  QPointer<QWidget> frame_;
  QPointer<QWidget> target_;
  QList<QPointer<QWidget>> watched_;  // the target and its ancestors up to its window
};

}  // namespace platform
