#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace platform {

class Storyboard;
class WindowController;

// A screen: owns its root widget, which it builds lazily on the first view() call, so inputs
// set before then are there when viewDidLoad runs.
class ViewController : public QObject {
  Q_OBJECT

 public:
  explicit ViewController(QObject* parent = nullptr);
  ~ViewController() override;
  ViewController(const ViewController&) = delete;
  ViewController& operator=(const ViewController&) = delete;

  // The root widget; loads it (setupView, then viewDidLoad) on first use.
  QWidget* view();
  [[nodiscard]] bool isViewLoaded() const { return !view_.isNull(); }

  [[nodiscard]] Storyboard* storyboard() const { return storyboard_; }
  void setStoryboard(Storyboard* storyboard) { storyboard_ = storyboard; }
  // The window controller whose content this screen is, if any.
  [[nodiscard]] WindowController* windowController() const;

  virtual void viewDidLoad() {}
  virtual void viewWillAppear() {}
  virtual void viewDidAppear() {}
  virtual void viewWillDisappear() {}

 protected:
  // Fills the freshly made root widget (a scene's generated setupUi goes here).
  virtual void setupView(QWidget* root);

 private:
  friend class WindowController;
  QPointer<QWidget> view_;
  Storyboard* storyboard_ = nullptr;
  QPointer<WindowController> windowController_;
};

}  // namespace platform
