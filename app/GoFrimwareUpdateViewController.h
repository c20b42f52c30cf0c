#pragma once

#include <memory>

#include "platform/ViewController.h"

namespace Ui {
class GoFrimwareUpdateViewController;
}

// Shown once the firmware file is on the memory card: says so and opens the update guide.
class GoFrimwareUpdateViewController final : public platform::ViewController {
  Q_OBJECT

 public:
  explicit GoFrimwareUpdateViewController(QObject* parent = nullptr);
  ~GoFrimwareUpdateViewController() override;

 public Q_SLOTS:
  void onClickFrimwareUpdate();

 protected:
  void setupView(QWidget* root) override;

 private:
  std::unique_ptr<Ui::GoFrimwareUpdateViewController> ui_;
};
