#pragma once

#include <memory>

#include "platform/NotificationCenter.h"
#include "platform/ViewController.h"

namespace Ui {
class CheckDeviceViewController;
}

// The connection-status display the main window holds the device check under.
class CheckDeviceViewControllerDelegate {
 public:
  virtual ~CheckDeviceViewControllerDelegate() = default;
  virtual void showStatus(bool connected) = 0;
};

// Asks for the camera search, shows whether a camera is connected, and on Next asks for the
// camera's device information.
class CheckDeviceViewController final : public platform::ViewController, public CheckDeviceViewControllerDelegate {
  Q_OBJECT

 public:
  explicit CheckDeviceViewController(QObject* parent = nullptr);
  ~CheckDeviceViewController() override;

  void viewDidLoad() override;
  void viewWillAppear() override;
  void viewWillDisappear() override;
  void showStatus(bool connected) override;

  [[nodiscard]] bool isPostCheckDeviceConnectNotification() const { return isPostCheckDeviceConnectNotification_; }

 public Q_SLOTS:
  void onClickConnectNext();

 protected:
  void setupView(QWidget* root) override;

 private:
  void observerViewEvent(const platform::Notification& notification);

  std::unique_ptr<Ui::CheckDeviceViewController> ui_;
  bool isPostCheckDeviceConnectNotification_ = false;
  // Next was pressed: the read runs until the screen is replaced, and Next stays off so that
  // one press asks for one read.
  bool isReadingDeviceInfo_ = false;
};
