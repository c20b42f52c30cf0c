#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <memory>

namespace platform {

class Storyboard;
class ViewController;

// Owns one top-level window and the screen that fills it. Switching the content runs the
// screens' appearance hooks and deletes the old screen later, never inside the caller's slot.
class WindowController : public QObject {
  Q_OBJECT

 public:
  explicit WindowController(Storyboard* storyboard = nullptr, QObject* parent = nullptr);
  ~WindowController() override;
  WindowController(const WindowController&) = delete;
  WindowController& operator=(const WindowController&) = delete;

  // The window; made (and windowDidLoad run) on first use.
  QWidget* window();
  [[nodiscard]] bool isWindowLoaded() const { return !window_.isNull(); }
  [[nodiscard]] Storyboard* storyboard() const { return storyboard_; }

  void setContentViewController(std::unique_ptr<ViewController> controller);
  [[nodiscard]] ViewController* contentViewController() const { return content_; }

  void showWindow();
  // Closes the window: windowWillClose runs once, then the window hides.
  void close();
  [[nodiscard]] bool isClosed() const { return closed_; }

 protected:
  virtual void windowWillLoad() {}
  virtual void windowDidLoad() {}
  virtual void windowWillClose() {}

 private:
  class Window;
  void handleClose();

  Storyboard* storyboard_;
  QPointer<QWidget> window_;
  QPointer<ViewController> content_;
  bool closed_ = false;
};

}  // namespace platform
