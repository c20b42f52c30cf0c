#pragma once

#include <QPointer>
#include <QString>

#include <memory>
#include <vector>

#include "platform/RunningApplications.h"
#include "platform/ViewController.h"

class QComboBox;
class QPushButton;

namespace Ui {
class IntroViewController;
}

// The first screen: the display language, the companion camera utility put out of the way,
// and Next to the device check.
class IntroViewController : public platform::ViewController {
  Q_OBJECT

 public:
  explicit IntroViewController(QObject* parent = nullptr);
  ~IntroViewController() override;

  void viewDidLoad() override;

  // Outlets, connected when the view loads.
  QPointer<QComboBox> pbtnLanguage;
  QPointer<QPushButton> btnNext;

  void onCangeLanguage();
  void applySelectedLanguage();
  void onClickNext();

  // The configured identifier of the maker's companion utility (Info.ini); may be empty.
  [[nodiscard]] static QString companionUtilityIdentifier();

 protected:
  void setupView(QWidget* root) override;

 private:
  void presetLanguage();
  // The running companion utilities: processes whose identifier holds the configured one.
  [[nodiscard]] static std::vector<platform::RunningApplication> findCompanionUtility();
  void setNextEnabled(bool enabled);

  std::unique_ptr<Ui::IntroViewController> ui_;
};
