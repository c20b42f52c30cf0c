#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "app/Language.h"
#include "app/MainWindowController.h"
#include "app/Scenes.h"
#include "camera/ViewEvent.h"
#include "platform/Alert.h"
#include "platform/Application.h"
#include "platform/Bundle.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "platform/RunningApplications.h"
#include "platform/Storyboard.h"
#include "platform/UserDefaults.h"
#include "platform/ViewController.h"
#include "platform/WindowController.h"
#include "support/FakeTime.h"
#include "vok/Simulation.h"

inline vok::sim::CameraSpec cameraSpec(std::string productName, std::string firmwareVersion = "1.0.2") {
  vok::sim::CameraSpec spec;
  spec.productName = std::move(productName);
  spec.firmwareVersion = std::move(firmwareVersion);
  return spec;
}

// No companion utility running, so that the intro's Next is enabled at once.
class NoProcesses final : public platform::ProcessSource {
 public:
  std::vector<platform::RunningApplication> runningApplications() override { return {}; }
  bool terminate(const platform::RunningApplication&) override { return true; }
  bool forceTerminate(const platform::RunningApplication&) override { return true; }
};

// The window's minimum, default and a large size.
inline constexpr std::array<QSize, 3> kWindowSizes = {QSize(720, 520), QSize(800, 560), QSize(1400, 900)};

// Each display language, with the font family its texts are set in.
struct LanguageCase {
  const char* name;
  Language language;
  const char* family;
};
inline const std::array<LanguageCase, 2>& displayLanguages() {
  static const std::array<LanguageCase, 2> languages = {
      {{"English", Language::english(Language::English::us), "Noto Sans"},
       {"Korean", Language::korean(), "Noto Sans CJK KR"}}};
  return languages;
}

// Screens in a plain window, with the shipped resources, no companion utility running and the
// display language kept in a temporary defaults file.
class ScreenFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    topLevelsBefore_ = QApplication::topLevelWidgets().size();
    platform::UserDefaults::setStoragePath(QDir(temp_.path()).filePath(QStringLiteral("defaults.ini")));
    platform::setProcessSource(&processes_);
    registerScenes(board_);
  }
  void TearDown() override {
    window_.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    platform::setProcessSource(nullptr);
    platform::UserDefaults::setStoragePath({});
    platform::Bundle::setMainPath(QString::fromUtf8(RAVLIO_SOURCE_RESOURCES));  // drops the language
    EXPECT_EQ(QApplication::topLevelWidgets().size(), topLevelsBefore_);
  }

  // A fresh window of `size` showing the scene `identifier`, prepared by `prepare` before it
  // loads.
  template <typename Screen>
  Screen* show(const char* identifier, QSize size, const std::function<void(Screen&)>& prepare = {}) {
    window_ = std::make_unique<platform::WindowController>(&board_);
    auto controller = board_.instantiateController(QString::fromLatin1(identifier));
    auto* screen = dynamic_cast<Screen*>(controller.get());
    if (!screen) return nullptr;
    if (prepare) prepare(*screen);
    window_->setContentViewController(std::move(controller));
    window_->window()->resize(size);
    window_->showWindow();
    return screen;
  }
  QWidget* window() { return window_->window(); }

  // Every display language and window size, with a trace that names them.
  void forEachLanguageAndSize(const std::function<void(const LanguageCase&, QSize)>& body) {
    for (const LanguageCase& language : displayLanguages()) {
      setLanguage(language.language);
      for (const QSize size : kWindowSizes) {
        SCOPED_TRACE(testing::Message() << language.name << " " << size.width() << "x" << size.height());
        body(language, size);
      }
    }
  }

  QTemporaryDir temp_;
  qsizetype topLevelsBefore_ = 0;
  NoProcesses processes_;
  platform::Storyboard board_;
  std::unique_ptr<platform::WindowController> window_;
};

// A screen with nothing on it, to start the window on something other than the intro.
class BlankViewController final : public platform::ViewController {};

// The main window over the simulated SDK, in fake time, with alerts answered at once.
class AppFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    topLevelsBefore_ = QApplication::topLevelWidgets().size();
    sim().reset();
    sim().setTimeSource([] { return platform::now().time_since_epoch().count(); });
    platform::setClock(&clock_);
    platform::Application::resetForTests();
    platform::setAlertPresenter([this](const platform::AlertSpec& spec, QWidget*) {
      alerts.push_back(spec);
      return 0;
    });
    storyboard_.registerScene(QStringLiteral("BlankViewController"), [] { return std::make_unique<BlankViewController>(); });
    registerScenes(storyboard_);
    platform::NotificationCenter::defaultCenter().addObserver(this, QString::fromLatin1(kViewEvent),
                                                              [this](const platform::Notification& n) {
                                                                if (auto e = std::dynamic_pointer_cast<const ViewEvent>(n.object))
                                                                  viewEvents.push_back(e->type());
                                                              });
  }

  void TearDown() override {
    platform::NotificationCenter::defaultCenter().removeObserver(this);
    if (window_ && !window_->isClosed()) window_->close();
    window_.reset();
    testing_support::settle(clock_);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    platform::setAlertPresenter(nullptr);
    sim().reset();
    platform::setClock(nullptr);
    platform::Application::resetForTests();
    EXPECT_EQ(QApplication::topLevelWidgets().size(), topLevelsBefore_) << "a window outlived its test";
  }

  static vok::sim::Simulator& sim() { return vok::sim::Simulator::instance(); }

  MainWindowController& open() {
    window_ = std::make_unique<MainWindowController>(&storyboard_);
    window_->window()->resize(800, 560);
    if (!window_->isClosed()) {
      window_->setContentViewController(storyboard_.instantiateController(QStringLiteral("BlankViewController")));
      window_->showWindow();
    }
    return *window_;
  }

  void post(ViewEvent::ViewEventType type) { ViewEvent::post(type); }

  bool runUntil(const std::function<bool()>& done, double maxSeconds) {
    return testing_support::runUntil(clock_, done, maxSeconds);
  }
  void runFor(double seconds) { testing_support::runFor(clock_, seconds); }
  double now() const { return testing_support::seconds(clock_); }

  int count(ViewEvent::ViewEventType type) const {
    return static_cast<int>(std::count(viewEvents.begin(), viewEvents.end(), type));
  }

  template <typename Screen>
  Screen* content() const {
    return window_ ? dynamic_cast<Screen*>(window_->contentViewController()) : nullptr;
  }

  // The main window has closed through the shutdown: `camera` released, then the SDK
  // terminated, last of all; nothing reaches the SDK afterwards, however long workers wait.
  void expectShutdownInOrder(VokCameraRef camera) {
    EXPECT_TRUE(window_ && window_->isClosed());
    EXPECT_TRUE(platform::Application::isTerminating());
    const auto calls = sim().calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2].name, "VokRelease");
    EXPECT_EQ(calls[calls.size() - 2].ref, camera);
    EXPECT_EQ(calls.back().name, "VokTerminateSDK");
    EXPECT_EQ(sim().terminateCount(), 1);
    runFor(10);
    const auto stats = sim().stats();
    EXPECT_EQ(stats.leakedAtTerminate, 0);
    EXPECT_EQ(stats.callsAfterTerminate, 0);
    EXPECT_EQ(stats.useAfterRelease, 0);
    EXPECT_EQ(stats.doubleReleases, 0);
  }

  // Accepts a camera: starts the search and runs until DEVICE_CONNECTED (5th pass).
  void connectCamera() {
    post(ViewEvent::ViewEventType::CHECK_DEVICE_CONNECT);
    ASSERT_TRUE(runUntil([&] { return count(ViewEvent::ViewEventType::DEVICE_CONNECTED) > 0; }, 10));
  }

  qsizetype topLevelsBefore_ = 0;
  platform::FakeClock clock_;
  platform::Storyboard storyboard_;
  std::unique_ptr<MainWindowController> window_;
  std::vector<platform::AlertSpec> alerts;
  std::vector<ViewEvent::ViewEventType> viewEvents;
};
