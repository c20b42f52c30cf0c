#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include <array>

#include "AppFixture.h"
#include "app/CheckDeviceViewController.h"
#include "app/CheckSupportDeviceViewController.h"
#include "app/GoFrimwareUpdateViewController.h"
#include "app/IntroViewController.h"
#include "app/Language.h"
#include "app/SetupGuideViewController.h"
#include "platform/RunningApplications.h"
#include "platform/UserDefaults.h"
#include "platform/WindowController.h"
#include "support/TestFiles.h"

namespace {

using Type = ViewEvent::ViewEventType;

template <typename W>
W* child(platform::ViewController& screen, const char* name) {
  return screen.view()->findChild<W*>(QString::fromLatin1(name));
}

QImage picture(const QLabel* label) { return label->pixmap().toImage(); }
QImage image(const QString& name) { return platform::imageNamed(name).toImage(); }

// The guide and the hand-over screen in a plain window, with the shipped resources and the
// display language kept in a temporary defaults file.
class GuideTest : public ScreenFixture {
 protected:
  void SetUp() override {
    ScreenFixture::SetUp();
    window_ = std::make_unique<platform::WindowController>(&board_);
  }

  template <typename Screen>
  Screen* show(const char* identifier) {
    window_->setContentViewController(board_.instantiateController(QString::fromLatin1(identifier)));
    return content<Screen>();
  }
  template <typename Screen>
  Screen* content() const {
    return dynamic_cast<Screen*>(window_->contentViewController());
  }

  // Everything page `i` shows; `code` names the language of the pictures of pages 3 and 4.
  static void expectPage(SetupGuideViewController& guide, int i, const char* code) {
    SCOPED_TRACE(i + 1);
    const auto& spec = SetupGuideViewController::pageTable()[static_cast<std::size_t>(i)];
    EXPECT_EQ(guide.currentIndex(), i);
    EXPECT_EQ(guide.lbIndex->text(), QString::number(i + 1));
    EXPECT_EQ(guide.lbPage->text(), QStringLiteral("%1 / 9").arg(i + 1));
    EXPECT_EQ(guide.lbContent->text(), platform::localizedString(spec.textKey));
    EXPECT_NE(guide.lbContent->text(), spec.textKey) << "no text in the table";
    const QString name = QStringLiteral("img_update_guide_%1").arg(i + 1, 2, 10, QLatin1Char('0')) +
                         (i == 2 || i == 3 ? QStringLiteral("_") + QLatin1StringView(code) : QString());
    EXPECT_FALSE(picture(guide.ivContent).isNull());
    EXPECT_EQ(picture(guide.ivContent), image(name)) << name.toStdString();
    const std::array<QLabel*, 9> dots = {guide.ivDot1, guide.ivDot2, guide.ivDot3, guide.ivDot4, guide.ivDot5,
                                         guide.ivDot6, guide.ivDot7, guide.ivDot8, guide.ivDot9};
    for (int k = 0; k < 9; ++k) {
      EXPECT_EQ(picture(dots[static_cast<std::size_t>(k)]),
                image(k == i ? QStringLiteral("img_update_guid_dot_white") : QStringLiteral("img_update_guid_dot_gray")))
          << "dot " << k + 1;
    }
    EXPECT_EQ(guide.btnPrevious->isHidden(), i == 0);
    EXPECT_EQ(guide.btnNext->isHidden(), i == 8);
  }

};

TEST_F(GuideTest, WalksAllPagesBothWaysInEachLanguage) {
  struct Case {
    Language language;
    const char* code;
  };
  const Case cases[] = {{Language::english(Language::English::us), "en"}, {Language::korean(), "ko"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    setLanguage(c.language);
    auto* guide = show<SetupGuideViewController>("SetupGuideViewController");
    ASSERT_NE(guide, nullptr);
    ASSERT_EQ(guide->arContent().size(), 9u);
    expectPage(*guide, 0, c.code);
    guide->btnPrevious->click();  // hidden, but a request before page 1 changes nothing
    expectPage(*guide, 0, c.code);
    for (int i = 1; i < 9; ++i) {
      guide->btnNext->click();
      expectPage(*guide, i, c.code);
    }
    guide->btnNext->click();
    expectPage(*guide, 8, c.code);
    for (int i = 7; i >= 0; --i) {
      guide->btnPrevious->click();
      expectPage(*guide, i, c.code);
    }
  }
}

TEST_F(GuideTest, TextsStayInTheLanguageTheGuideOpenedIn) {
  setLanguage(Language::english(Language::English::us));
  auto* guide = show<SetupGuideViewController>("SetupGuideViewController");
  ASSERT_NE(guide, nullptr);
  const QString englishStep2 = platform::localizedString(QStringLiteral("setup_guide_count_step2"));
  setLanguage(Language::korean());
  guide->btnNext->click();
  EXPECT_EQ(guide->lbContent->text(), englishStep2);
}

TEST_F(GuideTest, RequestOutsideThePagesOnlySetsTheButtonsAgain) {
  auto* guide = show<SetupGuideViewController>("SetupGuideViewController");
  ASSERT_NE(guide, nullptr);
  guide->showPage(4);
  const QString text = guide->lbContent->text();
  for (const std::int64_t wanted : {std::int64_t{-1}, std::int64_t{9}, std::int64_t{1} << 40}) {
    SCOPED_TRACE(wanted);
    guide->btnNext->hide();
    guide->btnPrevious->hide();
    guide->showPage(wanted);
    EXPECT_EQ(guide->currentIndex(), 4);
    EXPECT_EQ(guide->lbPage->text(), QStringLiteral("5 / 9"));
    EXPECT_EQ(guide->lbContent->text(), text);
    EXPECT_FALSE(guide->btnNext->isHidden());
    EXPECT_FALSE(guide->btnPrevious->isHidden());
  }
}

// Resources without the guide's images and texts: empty pictures, dots without an image, keys
// for texts, and the page counter still counts the dots.
TEST_F(GuideTest, MissingImagesAndTextsGiveEmptyPages) {
  testing_support::writeFile(QDir(temp_.path()).filePath(QStringLiteral("bundle/en.lproj/Localizable.strings")),
                             "\"setup_guide_count_step3_image\" = \"img_nowhere\";\n");
  platform::Bundle::setMainPath(QDir(temp_.path()).filePath(QStringLiteral("bundle")));
  auto* guide = show<SetupGuideViewController>("SetupGuideViewController");
  ASSERT_NE(guide, nullptr);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i + 1);
    EXPECT_TRUE(guide->ivContent->pixmap().isNull());
    EXPECT_TRUE(guide->ivDot1->pixmap().isNull());
    EXPECT_EQ(guide->lbPage->text(), QStringLiteral("%1 / 9").arg(i + 1));
    EXPECT_EQ(guide->lbContent->text(), QStringLiteral("setup_guide_count_step%1").arg(i + 1));
    guide->btnNext->click();
  }
}

TEST_F(GuideTest, HandOverOpensANewGuideAtPageOne) {
  auto* handOver = show<GoFrimwareUpdateViewController>("GoFrimwareUpdateViewController");
  ASSERT_NE(handOver, nullptr);
  QPointer<GoFrimwareUpdateViewController> handOverGuard(handOver);
  child<QPushButton>(*handOver, "btnFrimwareUpdate")->click();
  auto* guide = content<SetupGuideViewController>();
  ASSERT_NE(guide, nullptr);
  EXPECT_EQ(guide->currentIndex(), 0);
  EXPECT_EQ(guide->lbPage->text(), QStringLiteral("1 / 9"));
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(handOverGuard.isNull());
}

// Every way the switch can fail leaves the hand-over screen where it is.
TEST_F(GuideTest, FailedSwitchKeepsTheCurrentScreen) {
  class OtherScreen final : public platform::ViewController {};
  platform::Storyboard withoutGuide;
  withoutGuide.registerScene(QStringLiteral("GoFrimwareUpdateViewController"),
                             [] { return std::make_unique<GoFrimwareUpdateViewController>(); });
  platform::Storyboard wrongClass;
  wrongClass.registerScene(QStringLiteral("GoFrimwareUpdateViewController"),
                           [] { return std::make_unique<GoFrimwareUpdateViewController>(); });
  wrongClass.registerScene(QStringLiteral("SetupGuideViewController"), [] { return std::make_unique<OtherScreen>(); });
  struct Case {
    const char* name;
    platform::Storyboard* board;  // nullptr: a screen made without a storyboard
    bool inWindow;
  };
  const Case cases[] = {{"no storyboard", nullptr, true},
                        {"identifier unknown", &withoutGuide, true},
                        {"controller of another class", &wrongClass, true},
                        {"not in a window", &board_, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<platform::ViewController> made =
        c.board ? c.board->instantiateController(QStringLiteral("GoFrimwareUpdateViewController"))
                : std::make_unique<GoFrimwareUpdateViewController>();
    auto* handOver = dynamic_cast<GoFrimwareUpdateViewController*>(made.get());
    ASSERT_NE(handOver, nullptr);
    if (c.inWindow) window_->setContentViewController(std::move(made));
    child<QPushButton>(*handOver, "btnFrimwareUpdate")->click();
    if (c.inWindow) {
      EXPECT_EQ(window_->contentViewController(), handOver);
    }
    EXPECT_EQ(content<SetupGuideViewController>(), nullptr);
  }
}

// The end of the walk, through the main window with the simulated camera.
class UpdateGuideEnd : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    platform::setProcessSource(&processes_);
  }
  void TearDown() override {
    AppFixture::TearDown();
    platform::setProcessSource(nullptr);
  }

  // Device check, camera found, Next, device information read: the support check shows.
  CheckSupportDeviceViewController* walkToSupportCheck() {
    const int connected = count(Type::DEVICE_CONNECTED);
    if (!runUntil([&] { return content<CheckDeviceViewController>() != nullptr; }, 1)) return nullptr;
    if (!runUntil([&] { return count(Type::DEVICE_CONNECTED) > connected; }, 10)) return nullptr;
    auto* next = child<QPushButton>(*content<CheckDeviceViewController>(), "btnConnectNext");
    if (!next->isEnabled()) return nullptr;
    next->click();
    runUntil([&] { return content<CheckSupportDeviceViewController>() != nullptr; }, 10);
    return content<CheckSupportDeviceViewController>();
  }
  // Where the copy hands over once the firmware is on the card; then on to the guide.
  SetupGuideViewController* openGuide() {
    window_->setContentViewController(storyboard_.instantiateController(QStringLiteral("GoFrimwareUpdateViewController")));
    auto* handOver = content<GoFrimwareUpdateViewController>();
    if (!handOver) return nullptr;
    child<QPushButton>(*handOver, "btnFrimwareUpdate")->click();
    return content<SetupGuideViewController>();
  }

  NoProcesses processes_;
};

TEST_F(UpdateGuideEnd, FinishClosesTheWindowThroughTheShutdown) {
  sim().addCamera(cameraSpec("Orvell Tavo Quill"));
  MainWindowController& window = open();
  post(Type::MAIN_WINDOW_SHOW_CHECK_DEVICE);
  ASSERT_NE(walkToSupportCheck(), nullptr);
  const VokCameraRef camera = window.camera();
  SetupGuideViewController* guide = openGuide();
  ASSERT_NE(guide, nullptr);
  guide->showPage(8);
  child<QPushButton>(*guide, "btnFinish")->click();
  expectShutdownInOrder(camera);
}

// Starting over gives a fresh intro, and a whole new walk from there finds the camera and
// reads its information again: the same camera still plugged in, or another one.
TEST_F(UpdateGuideEnd, StartOverRunsAWholeNewWalk) {
  for (const bool swapCamera : {false, true}) {
    SCOPED_TRACE(swapCamera ? "another camera" : "the same camera");
    sim().reset();
    platform::Application::resetForTests();
    viewEvents.clear();
    const auto first = sim().addCamera(cameraSpec("Orvell Tavo Quill", "1.0.2"));
    MainWindowController& window = open();
    post(Type::MAIN_WINDOW_SHOW_CHECK_DEVICE);
    ASSERT_NE(walkToSupportCheck(), nullptr);

    SetupGuideViewController* guide = openGuide();
    ASSERT_NE(guide, nullptr);
    guide->showPage(3);
    QPointer<SetupGuideViewController> oldGuide(guide);
    child<QPushButton>(*guide, "btnFirstView")->click();
    auto* intro = content<IntroViewController>();
    ASSERT_NE(intro, nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(oldGuide.isNull()) << "the guide outlived the start over";

    if (swapCamera) {
      sim().unplug(first);
      sim().addCamera(cameraSpec("Orvell Tavo Wren", "3.0.1"));
    }
    runFor(2);  // a while on the intro
    ASSERT_TRUE(intro->btnNext->isEnabled());
    intro->btnNext->click();
    CheckSupportDeviceViewController* check = walkToSupportCheck();
    ASSERT_NE(check, nullptr);
    EXPECT_EQ(check->productName, swapCamera ? QStringLiteral("Tavo Wren") : QStringLiteral("Tavo Quill"));
    EXPECT_EQ(check->firmwareVersion, swapCamera ? QStringLiteral("3.0.1") : QStringLiteral("1.0.2"));
    EXPECT_EQ(sim().cameraOf(window.camera()), swapCamera ? first + 1 : first);
    const auto stats = sim().stats();
    EXPECT_EQ(stats.live, 1);  // the camera in use, nothing left over from the first walk
    EXPECT_EQ(stats.useAfterRelease, 0);
    EXPECT_EQ(stats.doubleReleases, 0);

    // The guide opens at page 1 again, and Finish ends it all cleanly.
    guide = openGuide();
    ASSERT_NE(guide, nullptr);
    EXPECT_EQ(guide->currentIndex(), 0);
    child<QPushButton>(*guide, "btnFinish")->click();
    EXPECT_TRUE(window.isClosed());
    EXPECT_EQ(sim().stats().leakedAtTerminate, 0);
    EXPECT_EQ(sim().terminateCount(), 1);
    window_.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}

}  // namespace
