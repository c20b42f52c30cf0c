#pragma once

#include <QSet>
#include <QString>

#include <memory>

#include "app/ProductScreen.h"
#include "platform/ViewController.h"

namespace Ui {
class CheckSupportDeviceViewController;
}

// Looks the camera's product name up in the shipped model list and lets the user go on to
// the firmware list or back to the device check.
class CheckSupportDeviceViewController final : public platform::ViewController, public ProductScreen {
  Q_OBJECT

 public:
  explicit CheckSupportDeviceViewController(QObject* parent = nullptr);
  ~CheckSupportDeviceViewController() override;

  void viewDidLoad() override;
  void loadSupportList();
  void updateView();

  [[nodiscard]] const QSet<QString>& supportedDevices() const { return sSupportDevice; }
  // The model list as the resource holds it: one name per line, split at every kind of line
  // break, empty pieces skipped, names taken whole.
  [[nodiscard]] static QSet<QString> parseModelList(const QString& text);

 public Q_SLOTS:
  void onClickNotSupportRetry();
  void onClickSupportNext();

 protected:
  void setupView(QWidget* root) override;

 private:
  std::unique_ptr<Ui::CheckSupportDeviceViewController> ui_;
  QSet<QString> sSupportDevice;
};
