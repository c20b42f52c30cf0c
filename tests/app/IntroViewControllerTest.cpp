#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <chrono>
#include <set>
#include <thread>
#include <vector>

#include "app/DarkLook.h"
#include "app/IntroViewController.h"
#include "camera/ViewEvent.h"
#include "platform/Bundle.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "platform/Queues.h"
#include "platform/RunningApplications.h"
#include "platform/Storyboard.h"
#include "platform/UserDefaults.h"
#include "platform/WindowController.h"

#include "support/ChildProcess.h"
#include "support/ScopedStyleSheet.h"
#include "support/TestFiles.h"

namespace {

const QColor kEnabledTitle(251, 205, 81);
const QColor kDisabledTitle(96, 96, 96);

class FakeProcesses final : public platform::ProcessSource {
 public:
  std::vector<platform::RunningApplication> apps;
  std::set<qint64> refuseTerminate;
  std::vector<qint64> terminated;
  std::vector<qint64> forced;

  std::vector<platform::RunningApplication> runningApplications() override { return apps; }
  bool terminate(const platform::RunningApplication& app) override {
    terminated.push_back(app.pid);
    return !refuseTerminate.count(app.pid);
  }
  bool forceTerminate(const platform::RunningApplication& app) override {
    forced.push_back(app.pid);
    return true;
  }
};

using testing_support::storeLanguages;
using testing_support::writeFile;

// The intro screen in a window of its own, with its own resources, defaults, processes and
// fake time.
class IntroTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.isValid());
    topLevelsBefore_ = QApplication::topLevelWidgets().size();
    originalMain_ = platform::Bundle::main().bundlePath();
    useBundle("CompanionUtilityIdentifier=orvell-camera-utility\n");
    platform::UserDefaults::setStoragePath(QDir(temp_.path()).filePath(QStringLiteral("defaults.ini")));
    platform::UserDefaults::setSystemLanguages(QStringList{});
    platform::setProcessSource(&processes_);
    board_.registerScene(QStringLiteral("IntroViewController"),
                         [] { return std::make_unique<IntroViewController>(); });
    window_ = std::make_unique<platform::WindowController>(&board_);
  }

  void TearDown() override {
    // Let every pending wait run out before its clock and screens go.
    fake_->advance(60.0);
    platform::GlobalQueue::shared().waitForIdle();
    QCoreApplication::sendPostedEvents();
    window_.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    platform::setProcessSource(nullptr);
    platform::Bundle::setMainPath(originalMain_);
    platform::UserDefaults::setStoragePath({});
    platform::UserDefaults::setSystemLanguages(std::nullopt);
    EXPECT_EQ(QApplication::topLevelWidgets().size(), topLevelsBefore_);
  }

  // A fresh resource folder each time: Info.ini with `info`, English and Korean tables.
  void useBundle(const QByteArray& info) {
    const QString root = QDir(temp_.path()).filePath(QStringLiteral("bundle%1").arg(++bundles_));
    writeFile(root + QStringLiteral("/Info.ini"), info);
    writeFile(root + QStringLiteral("/en.lproj/Localizable.strings"),
              "\"next\" = \"Next\";\n\"intro_title\" = \"Update your camera's firmware\";");
    writeFile(root + QStringLiteral("/ko.lproj/Localizable.strings"),
              "\"next\" = \"다음\";\n\"intro_title\" = \"카메라 펌웨어 업데이트\";");
    platform::Bundle::setMainPath(root);
  }

  static std::optional<QVariant> storedLanguages() {
    return platform::UserDefaults::standard().objectForKey(QStringLiteral("AppleLanguages"));
  }

  IntroViewController* show() {
    window_->setContentViewController(board_.instantiateController(QStringLiteral("IntroViewController")));
    return current();
  }
  IntroViewController* current() const {
    return dynamic_cast<IntroViewController*>(window_->contentViewController());
  }
  static void choose(IntroViewController* screen, int item) {
    screen->pbtnLanguage->setCurrentIndex(item);
    Q_EMIT screen->pbtnLanguage->activated(item);
  }
  static void expectNext(IntroViewController* screen, bool enabled) {
    EXPECT_EQ(screen->btnNext->isEnabled(), enabled);
    EXPECT_EQ(screen->btnNext->palette().color(QPalette::Disabled, QPalette::ButtonText),
              enabled ? kEnabledTitle : kDisabledTitle);
  }
  static void drainMainQueue() {
    for (int i = 0; i < 5; ++i) QCoreApplication::sendPostedEvents();
  }
  // Next stays off until the worker's one wait has run its 4 s, and comes on then.
  void expectNextAfterFourSeconds(IntroViewController* screen) {
    expectNext(screen, false);
    ASSERT_TRUE(fake_->waitForSleepers(1));
    fake_->advance(3.99);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    drainMainQueue();
    expectNext(screen, false);
    fake_->advance(0.01);
    EXPECT_TRUE(platform::processEventsUntil([&] { return screen->btnNext->isEnabled(); }));
    expectNext(screen, true);
  }

  platform::ScopedFakeClock fake_;
  QTemporaryDir temp_;
  qsizetype topLevelsBefore_ = 0;
  QString originalMain_;
  int bundles_ = 0;
  FakeProcesses processes_;
  platform::Storyboard board_;
  std::unique_ptr<platform::WindowController> window_;
};

// The pop-up names the language the screen's texts are in, whichever way the stored or the
// desktop's languages lead to it.
TEST_F(IntroTest, PresetShowsTheLanguageOfTheTextsWithoutRebuilding) {
  struct Case {
    const char* name;
    std::optional<QStringList> stored;
    QStringList system;
    int item;
  };
  const QStringList koreanDesktop = QLocale(QLocale::Korean, QLocale::SouthKorea).uiLanguages();
  const std::vector<Case> cases = {
      {"ko selects Korean", QStringList{"ko"}, {}, 0},
      {"regional Korean has Korean texts", QStringList{"ko-KR"}, {}, 0},
      {"en", QStringList{"en"}, {}, 1},
      {"ja has no texts of its own: English", QStringList{"ja"}, {}, 1},
      {"the first code with texts counts", QStringList{"ja", "ko"}, {}, 0},
      {"the first code with texts counts, English", QStringList{"en", "ko"}, {}, 1},
      {"system list when none stored", std::nullopt, {"ko"}, 0},
      {"first start on a Korean desktop", std::nullopt, koreanDesktop, 0},
      {"system list when none stored, not Korean", std::nullopt, {"en-US", "ko"}, 1},
      {"nothing anywhere: English texts", std::nullopt, {}, 1},
      {"stored empty: English texts", QStringList{}, {"ko"}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    storeLanguages(c.stored);
    platform::UserDefaults::setSystemLanguages(c.system);
    const auto before = storedLanguages();
    IntroViewController* screen = show();
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(screen->pbtnLanguage->currentIndex(), c.item);
    auto* title = screen->view()->findChild<QLabel*>(QStringLiteral("lbTitle"));
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->text(), c.item == 0 ? QStringLiteral("카메라 펌웨어 업데이트")
                                         : QStringLiteral("Update your camera's firmware"));
    drainMainQueue();
    // The preset is no language change: nothing stored, no new screen.
    EXPECT_EQ(current(), screen);
    EXPECT_EQ(storedLanguages(), before);
  }
}

TEST_F(IntroTest, CompanionUtilityScan) {
  struct Case {
    const char* name;
    QByteArray info;
    std::vector<platform::RunningApplication> apps;
    std::set<qint64> refuse;
    std::vector<qint64> terminated;
    std::vector<qint64> forced;
  };
  const QByteArray configured = "CompanionUtilityIdentifier=orvell-camera-utility\n";
  const std::vector<Case> cases = {
      {"none running", configured, {{1, "bash"}, {2, "orvell-camera"}}, {}, {}, {}},
      {"one running", configured, {{1, "bash"}, {10, "orvell-camera-utility"}}, {}, {10}, {}},
      {"two, one extending the identifier", configured,
       {{10, "orvell-camera-utility"}, {11, "orvell-camera-utility-helper"}, {1, "bash"}}, {}, {10, 11}, {}},
      {"refused terminate is forced", configured,
       {{10, "orvell-camera-utility"}, {11, "orvell-camera-utility-helper"}}, {10}, {10, 11}, {10}},
      {"empty identifier matches nothing", "CompanionUtilityIdentifier=\n",
       {{10, "orvell-camera-utility"}, {1, "bash"}}, {}, {}, {}},
      {"no identifier configured", "CFBundleName=Ravlio\n", {{10, "orvell-camera-utility"}}, {}, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    useBundle(c.info);
    processes_.apps = c.apps;
    processes_.refuseTerminate = c.refuse;
    processes_.terminated.clear();
    processes_.forced.clear();

    IntroViewController* screen = show();
    ASSERT_NE(screen, nullptr);
    if (c.terminated.empty()) {
      EXPECT_EQ(fake_->sleepers(), 0);
      EXPECT_TRUE(processes_.terminated.empty());
      expectNext(screen, true);
      continue;
    }
    // The worker ends the utilities, then waits once however many matched, in fake time.
    expectNext(screen, false);
    ASSERT_TRUE(fake_->waitForSleepers(1));
    EXPECT_EQ(fake_->sleepers(), 1);
    EXPECT_EQ(processes_.terminated, c.terminated);
    EXPECT_EQ(processes_.forced, c.forced);
    expectNextAfterFourSeconds(screen);
  }
}

// Real utilities, several of them, some ignoring the request to quit: Next comes exactly 4 s
// after the scan, every one was asked, and none that got the request was killed.
TEST_F(IntroTest, NextComesFourSecondsAfterTheScanHoweverManyUtilitiesRun) {
  // A copy of sleep under a name no other process has, so that only our children match.
  const QString name = QStringLiteral("ravlio-test-utility-%1").arg(::getpid());
  const QString program = QDir(temp_.path()).filePath(name);
  ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), program));
  const std::string exec = "exec " + testing_support::quoted(program) + " 30";
  platform::setProcessSource(nullptr);
  std::vector<std::unique_ptr<testing_support::ChildProcess>> ignoring;
  std::vector<std::unique_ptr<testing_support::ChildProcess>> ordinary;
  for (int i = 0; i < 3; ++i) ignoring.push_back(std::make_unique<testing_support::ChildProcess>("trap '' TERM; " + exec));
  for (int i = 0; i < 2; ++i) ordinary.push_back(std::make_unique<testing_support::ChildProcess>(exec));
  for (const auto* group : {&ignoring, &ordinary}) {
    for (const auto& child : *group) ASSERT_TRUE(testing_support::findProcess(child->pid(), name));
  }
  useBundle("CompanionUtilityIdentifier=" + name.toUtf8() + "\n");

  const platform::TimePoint scanned = fake_->now();
  IntroViewController* screen = show();
  ASSERT_NE(screen, nullptr);
  expectNextAfterFourSeconds(screen);
  EXPECT_DOUBLE_EQ((fake_->now() - scanned).count(), 4.0);

  for (const auto& child : ordinary) EXPECT_EQ(child->reap(), SIGTERM);
  for (const auto& child : ignoring) EXPECT_TRUE(child->isRunning());
}

TEST_F(IntroTest, LanguageChangeRebuildsTheScreenInThatLanguage) {
  storeLanguages(QStringList{"en"});
  IntroViewController* first = show();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->btnNext->text(), QStringLiteral("Next"));
  QPointer<IntroViewController> firstGuard(first);

  choose(first, 0);
  EXPECT_EQ(storedLanguages()->toStringList(), QStringList{"ko"});
  IntroViewController* korean = current();
  ASSERT_NE(korean, nullptr);
  EXPECT_NE(korean, first);
  EXPECT_EQ(korean->pbtnLanguage->currentIndex(), 0);
  EXPECT_EQ(korean->btnNext->text(), QStringLiteral("다음"));
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(firstGuard.isNull());

  choose(korean, 1);
  EXPECT_EQ(storedLanguages()->toStringList(), QStringList{"en"});
  ASSERT_NE(current(), nullptr);
  EXPECT_EQ(current()->pbtnLanguage->currentIndex(), 1);
  EXPECT_EQ(current()->btnNext->text(), QStringLiteral("Next"));
}

TEST_F(IntroTest, LanguageChangeOutsideAWindowOnlyStoresTheChoice) {
  IntroViewController* screen = show();
  ASSERT_NE(screen, nullptr);
  auto loose = board_.instantiateController(QStringLiteral("IntroViewController"));
  auto* looseIntro = dynamic_cast<IntroViewController*>(loose.get());
  ASSERT_NE(looseIntro, nullptr);
  looseIntro->view();
  choose(looseIntro, 1);
  EXPECT_EQ(storedLanguages()->toStringList(), QStringList{"en"});
  EXPECT_EQ(current(), screen);
}

// The wait of a screen that a language change replaced must not reach it; the new screen
// finds the utility again and waits on its own.
TEST_F(IntroTest, ReplacedScreenIsNotReachedByItsWait) {
  processes_.apps = {{10, "orvell-camera-utility"}};
  processes_.refuseTerminate = {10};  // still quitting
  IntroViewController* first = show();
  ASSERT_NE(first, nullptr);
  ASSERT_TRUE(fake_->waitForSleepers(1));
  QPointer<IntroViewController> firstGuard(first);

  choose(first, 1);
  IntroViewController* second = current();
  ASSERT_NE(second, first);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  ASSERT_TRUE(firstGuard.isNull());
  ASSERT_TRUE(fake_->waitForSleepers(2));
  EXPECT_EQ(processes_.terminated, (std::vector<qint64>{10, 10}));
  EXPECT_EQ(processes_.forced, (std::vector<qint64>{10, 10}));
  expectNext(second, false);

  fake_->advance(4.0);
  EXPECT_TRUE(platform::processEventsUntil([&] { return second->btnNext->isEnabled(); }));
  platform::GlobalQueue::shared().waitForIdle();
  drainMainQueue();
  expectNext(second, true);
}

TEST_F(IntroTest, NextPostsShowCheckDevice) {
  std::vector<ViewEvent::ViewEventType> posted;
  auto& center = platform::NotificationCenter::defaultCenter();
  center.addObserver(this, QString::fromLatin1(kViewEvent), [&](const platform::Notification& n) {
    if (auto event = std::dynamic_pointer_cast<const ViewEvent>(n.object)) posted.push_back(event->type());
  });
  IntroViewController* screen = show();
  ASSERT_NE(screen, nullptr);
  ASSERT_TRUE(screen->btnNext->isEnabled());
  screen->btnNext->click();
  center.removeObserver(this);
  EXPECT_EQ(posted, (std::vector{ViewEvent::ViewEventType::MAIN_WINDOW_SHOW_CHECK_DEVICE}));
  EXPECT_EQ(current(), screen);
}

// In the open pop-up the row the arrow keys are on stands out in the accent colour, so a
// keyboard user sees which language Return will pick.
TEST_F(IntroTest, PopUpShowsTheRowTheArrowKeysAreOn) {
  const testing_support::ScopedStyleSheet sheet;
  darkLook::applyToApplication();
  storeLanguages(QStringList{"en"});
  IntroViewController* screen = show();
  ASSERT_NE(screen, nullptr);
  window_->showWindow();
  QComboBox* box = screen->pbtnLanguage;
  box->showPopup();
  QAbstractItemView* list = box->view();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(list->window()));
  const auto accentShare = [list](int row) {
    const QImage picture = list->viewport()->grab().toImage();
    const QRect rect = list->visualRect(list->model()->index(row, 0)) & picture.rect();
    int accent = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
      for (int x = rect.left(); x <= rect.right(); ++x) accent += picture.pixelColor(x, y) == darkLook::accentColor();
    }
    return rect.isEmpty() ? 0.0 : double(accent) / (rect.width() * rect.height());
  };
  for (const int row : {1, 0}) {
    SCOPED_TRACE(row);
    if (row == 0) QTest::keyClick(list, Qt::Key_Up);
    ASSERT_EQ(list->currentIndex().row(), row);
    EXPECT_GT(accentShare(row), 0.5);
    EXPECT_EQ(accentShare(1 - row), 0.0);
  }
  box->hidePopup();
}

}  // namespace
