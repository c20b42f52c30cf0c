#include "app/SetupGuideViewController.h"

#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>

#include "app/ButtonTitleColor.h"
#include "app/IntroViewController.h"
#include "platform/Accessibility.h"
#include "platform/Bundle.h"
#include "platform/SceneSwitch.h"
#include "platform/WindowController.h"
#include "ui_SetupGuideViewController.h"

namespace {
const QString kDotShown = QStringLiteral("img_update_guid_dot_white");
const QString kDotOther = QStringLiteral("img_update_guid_dot_gray");
}  // namespace

const std::array<SetupGuideViewController::PageSpec, 9>& SetupGuideViewController::pageTable() {
  // Pages 3 and 4 show the camera's menu, so their pictures differ by language: the tables
  // name them.
  static const std::array<PageSpec, 9> pages = {{
      {QStringLiteral("img_update_guide_01"), false, QStringLiteral("setup_guide_count_step1")},
      {QStringLiteral("img_update_guide_02"), false, QStringLiteral("setup_guide_count_step2")},
      {QStringLiteral("setup_guide_count_step3_image"), true, QStringLiteral("setup_guide_count_step3")},
      {QStringLiteral("setup_guide_count_step4_image"), true, QStringLiteral("setup_guide_count_step4")},
      {QStringLiteral("img_update_guide_05"), false, QStringLiteral("setup_guide_count_step5")},
      {QStringLiteral("img_update_guide_06"), false, QStringLiteral("setup_guide_count_step6")},
      {QStringLiteral("img_update_guide_07"), false, QStringLiteral("setup_guide_count_step7")},
      {QStringLiteral("img_update_guide_08"), false, QStringLiteral("setup_guide_count_step8")},
      {QStringLiteral("img_update_guide_09"), false, QStringLiteral("setup_guide_count_step9")},
  }};
  return pages;
}

SetupGuideViewController::SetupGuideViewController(QObject* parent)
    : platform::ViewController(parent), ui_(std::make_unique<Ui::SetupGuideViewController>()) {}

SetupGuideViewController::~SetupGuideViewController() = default;

void SetupGuideViewController::setupView(QWidget* root) {
  ui_->setupUi(root);
  // These buttons are always enabled: their titles take the enabled colour once.
  updateButtonTitleColors(root);
  stvContent = ui_->stvContent;
  svContent = ui_->svContent;
  btnNext = ui_->btnNext;
  btnPrevious = ui_->btnPrevious;
  ivContent = ui_->ivContent;
  lbIndex = ui_->lbIndex;
  lbContent = ui_->lbContent;
  lbPage = ui_->lbPage;
  ivDot1 = ui_->ivDot1;
  ivDot2 = ui_->ivDot2;
  ivDot3 = ui_->ivDot3;
  ivDot4 = ui_->ivDot4;
  ivDot5 = ui_->ivDot5;
  ivDot6 = ui_->ivDot6;
  ivDot7 = ui_->ivDot7;
  ivDot8 = ui_->ivDot8;
  ivDot9 = ui_->ivDot9;
  // Previous and Next keep their room while hidden, so the row does not shift between pages.
  for (QPushButton* button : {ui_->btnPrevious, ui_->btnNext}) {
    QSizePolicy policy = button->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    button->setSizePolicy(policy);
  }
  connect(ui_->btnNext, &QPushButton::clicked, this, &SetupGuideViewController::onClickNext);
  connect(ui_->btnPrevious, &QPushButton::clicked, this, &SetupGuideViewController::onClickPrevious);
  connect(ui_->btnFinish, &QPushButton::clicked, this, &SetupGuideViewController::onClickFinish);
  connect(ui_->btnFirstView, &QPushButton::clicked, this, &SetupGuideViewController::onClickFirstView);
  // Left and Right turn the pages wherever the focus is on the guide, as Previous and Next do.
  auto* previous = new QShortcut(QKeySequence(Qt::Key_Left), root);
  previous->setContext(Qt::WidgetWithChildrenShortcut);
  connect(previous, &QShortcut::activated, this, &SetupGuideViewController::onClickPrevious);
  auto* next = new QShortcut(QKeySequence(Qt::Key_Right), root);
  next->setContext(Qt::WidgetWithChildrenShortcut);
  connect(next, &QShortcut::activated, this, &SetupGuideViewController::onClickNext);
}

void SetupGuideViewController::viewDidLoad() {
  platform::ViewController::viewDidLoad();
  buildPages();
  showPage(0);
}

void SetupGuideViewController::buildPages() {
  // The texts are looked up once: the guide stays in the language it was opened in.
  std::int64_t index = 0;
  for (const PageSpec& page : pageTable()) {
    const QString imageName = page.imageNameIsKey ? platform::localizedString(page.image) : page.image;
    arContent_.emplace_back(platform::imageNamed(imageName), index++, platform::localizedString(page.textKey));
  }
  for (QLabel* dot : {ivDot1.data(), ivDot2.data(), ivDot3.data(), ivDot4.data(), ivDot5.data(), ivDot6.data(),
                      ivDot7.data(), ivDot8.data(), ivDot9.data()}) {
    arDot_.emplace_back(dot);
    platform::setDecorative(dot);  // the page number says the same
  }
}

void SetupGuideViewController::showPage(std::int64_t index) {
  const auto count = static_cast<std::int64_t>(arContent_.size());
  if (index >= 0 && index < count) {
    currentIndex_ = index;
    const SetupGuideInfo& page = arContent_[static_cast<std::size_t>(index)];
    ivContent->setPixmap(page.img());
    ivContent->setAccessibleName(platform::localizedString(QStringLiteral("picture_setup_guide_step")).arg(index + 1));
    svContent->setAccessibleName(platform::localizedString(QStringLiteral("accessible_setup_guide_page"))
                                     .arg(index + 1)
                                     .arg(arDot_.size()));
    lbIndex->setText(QString::number(index + 1));
    lbPage->setText(QStringLiteral("%1 / %2").arg(index + 1).arg(arDot_.size()));
    lbContent->setText(page.content());
    for (std::size_t k = 0; k < arDot_.size(); ++k) {
      arDot_[k]->setPixmap(platform::imageNamed(static_cast<std::int64_t>(k) == index ? kDotShown : kDotOther));
    }
  }
  if (currentIndex_ >= count - 1) {
    btnNext->hide();
    btnPrevious->show();
  } else {
    btnNext->show();
    btnPrevious->setVisible(currentIndex_ > 0);
  }
}

void SetupGuideViewController::onClickNext() { showPage(currentIndex_ + 1); }

void SetupGuideViewController::onClickPrevious() { showPage(currentIndex_ - 1); }

void SetupGuideViewController::onClickFinish() {
  // The main window's own close ends the application in its shutdown order.
  if (platform::WindowController* window = windowController()) window->close();
}

void SetupGuideViewController::onClickFirstView() {
  platform::replaceContent<IntroViewController>(*this, QStringLiteral("IntroViewController"));
}
