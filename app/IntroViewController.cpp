#include "app/IntroViewController.h"

#include <QComboBox>
#include <QStyledItemDelegate>
#include <QPushButton>

#include "app/ButtonTitleColor.h"
#include "app/Language.h"
#include "camera/ViewEvent.h"
#include "platform/Application.h"
#include "platform/Bundle.h"
#include "platform/Queues.h"
#include "platform/RunningApplications.h"
#include "platform/SceneSwitch.h"
#include "platform/Storyboard.h"
#include "platform/WindowController.h"
#include "ui_IntroViewController.h"

namespace {

const QString kKoreanTitle = QStringLiteral("한국어");
constexpr double kCompanionQuitWait = 4.0;  // seconds

}  // namespace

IntroViewController::IntroViewController(QObject* parent) : platform::ViewController(parent) {}

IntroViewController::~IntroViewController() = default;

void IntroViewController::setupView(QWidget* root) {
  ui_ = std::make_unique<Ui::IntroViewController>();
  ui_->setupUi(root);
  // The scene's style sheet cannot name a file of the bundle, so the pop-up's arrow comes here.
  const QString arrow =
      platform::Bundle::main().pathForResource(QStringLiteral("images/icon_dropdown"), QStringLiteral("svg"));
  if (!arrow.isEmpty()) {
    ui_->pbtnLanguage->setStyleSheet(
        QStringLiteral("QComboBox::drop-down { border: none; width: 28px; }"
                       "QComboBox::down-arrow { image: url(\"%1\"); width: 10px; height: 6px; }")
            .arg(arrow));
  }
  // The style's own menu rows ignore the sheet, so the pop-up's current row would look like the
  // others; a plain item delegate draws it in the accent colour, where the keys move it.
  ui_->pbtnLanguage->setItemDelegate(new QStyledItemDelegate(ui_->pbtnLanguage));
  pbtnLanguage = ui_->pbtnLanguage;
  btnNext = ui_->btnNext;
  // activated() is the user's choice only, so the preset below changes nothing.
  connect(ui_->pbtnLanguage, &QComboBox::activated, this, &IntroViewController::onCangeLanguage);
  connect(ui_->btnNext, &QPushButton::clicked, this, &IntroViewController::onClickNext);
}

QString IntroViewController::companionUtilityIdentifier() {
  return platform::Bundle::main()
      .infoValue(QStringLiteral("CompanionUtilityIdentifier"))
      .value_or(QString());
}

void IntroViewController::viewDidLoad() {
  platform::ViewController::viewDidLoad();
  setNextEnabled(false);
  presetLanguage();

  const std::vector<platform::RunningApplication> companions = findCompanionUtility();
  if (companions.empty()) {
    setNextEnabled(true);
    return;
  }
  // The requests go out on a worker, away from the interface. Next follows a fixed 4 s after
  // the scan, however many matched; whether the utilities really quit is not looked at. A
  // utility is forced only when the polite request could not be delivered. The screen may be
  // replaced meanwhile: the task holds a guard.
  const platform::TimePoint enableAt = platform::now() + platform::Duration(kCompanionQuitWait);
  QPointer<IntroViewController> guard(this);
  platform::GlobalQueue::shared().async([companions, enableAt, guard] {
    platform::ProcessSource& source = platform::processes();
    for (const platform::RunningApplication& app : companions) {
      if (!source.terminate(app)) source.forceTerminate(app);
    }
    if (!platform::sleepFor(enableAt - platform::now(), &platform::Application::shutdownCancellation())) return;
    platform::MainQueue::async([guard] {
      if (guard) guard->setNextEnabled(true);
    });
  });
}

void IntroViewController::presetLanguage() {
  // The pop-up names the language the screen's texts are in. That is the localisation the main
  // bundle answers from, not the first stored code: a regional "ko-KR", or no stored choice at
  // all, still picks a folder ("ko", or English as the fallback).
  const bool korean = platform::Bundle::main().localizationInUse() == QLatin1StringView("ko");
  pbtnLanguage->setCurrentIndex(korean ? 0 : 1);
}

std::vector<platform::RunningApplication> IntroViewController::findCompanionUtility() {
  const QString companion = companionUtilityIdentifier();
  if (companion.isEmpty()) return {};  // an empty identifier would match every process
  std::vector<platform::RunningApplication> matches;
  for (const platform::RunningApplication& app : platform::processes().runningApplications()) {
    if (app.identifier.contains(companion)) matches.push_back(app);
  }
  return matches;
}

void IntroViewController::setNextEnabled(bool enabled) {
  btnNext->setEnabled(enabled);
  updateButtonTitleColor(btnNext);
}

void IntroViewController::onCangeLanguage() { applySelectedLanguage(); }

void IntroViewController::applySelectedLanguage() {
  const bool korean = pbtnLanguage->currentIndex() >= 0 && pbtnLanguage->currentText() == kKoreanTitle;
  setLanguage(korean ? Language::korean() : Language::english(Language::English::us));

  platform::replaceContent<IntroViewController>(*this, QStringLiteral("IntroViewController"));
}

void IntroViewController::onClickNext() {
  ViewEvent::post(ViewEvent::ViewEventType::MAIN_WINDOW_SHOW_CHECK_DEVICE);
}
