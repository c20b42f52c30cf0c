#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <memory>

class QAbstractButton;
class QDialog;
class QKeyEvent;

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

  // Shows `controller` as a sheet: a window-modal dialog without a frame that holds the
  // controller's view, centred at the top edge of this screen's window, which a cover hides
  // meanwhile. This screen owns the controller until the sheet is dismissed. Does nothing (the
  // controller is dropped) while this screen already shows a sheet.
  void presentViewControllerAsSheet(std::unique_ptr<ViewController> controller);
  // Closes the sheet that shows `controller`, either one this screen presented or this screen
  // itself when it is a sheet, and deletes that controller later (its own slot may be running).
  // Escape or the dialog's close button dismiss the same way.
  void dismissViewController(ViewController* controller);
  [[nodiscard]] ViewController* presentedViewController() const { return presented_; }
  [[nodiscard]] ViewController* presentingViewController() const { return presenting_; }

  // The screen's primary action: the first shown, enabled button of the view whose
  // "buttonRole" property is "primary"; nullptr when there is none. Return presses it.
  [[nodiscard]] QAbstractButton* primaryButton() const;
  // Presses the primary button; false when there is none.
  bool pressPrimaryButton();
  // Gives the keyboard focus to the screen's first control: the shown, enabled control whose
  // "initialFocus" property is true, else the primary button, else the first control that Tab
  // reaches. The window and the sheet call it when the screen appears.
  void focusFirstControl();
  // The same, but only while the focus is on no shown, enabled control of this screen: for a
  // screen that swapped a part of itself or disabled the control that had the focus.
  void keepFocus();

  virtual void viewDidLoad() {}
  virtual void viewWillAppear() {}
  virtual void viewDidAppear() {}
  virtual void viewWillDisappear() {}

 protected:
  // Fills the freshly made root widget (a scene's generated setupUi goes here).
  virtual void setupView(QWidget* root);

 private:
  friend class WindowController;
  [[nodiscard]] QWidget* firstControl() const;

  QPointer<QWidget> view_;
  Storyboard* storyboard_ = nullptr;
  QPointer<WindowController> windowController_;
  QPointer<ViewController> presented_;   // the sheet this screen shows (a child of this object)
  QPointer<ViewController> presenting_;  // the screen this one is a sheet over
  QPointer<QDialog> sheet_;              // the dialog this screen is shown in as a sheet
};

// Whether `event` is Return or the keypad's Enter with no other modifier: the key that presses
// a screen's primary button.
[[nodiscard]] bool isReturnKey(const QKeyEvent* event);

}  // namespace platform
