#include "app/Application.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/AppDelegate.h"
#include "app/MainWindowController.h"
#include "app/Scenes.h"
#include "app/Typography.h"
#include "platform/Application.h"
#include "platform/Bundle.h"
#include "platform/CommandRunner.h"
#include "platform/Queues.h"
#include "platform/Storyboard.h"
#include "platform/ViewController.h"
#include "vok/Scenario.h"

int runApplication(int argc, char** argv, const std::function<void(platform::Storyboard&)>& registerMoreScenes) {
  // A scenario that was asked for but cannot be used ends the run before anything shows: going
  // on with another camera than the one asked for would only mislead.
  std::string error;
  if (!vok::sim::loadScenarioFromEnvironment(&error)) {
    std::fprintf(stderr, "ravlio: scenario: %s\n", error.c_str());
    return EXIT_FAILURE;
  }

  QApplication app(argc, argv);
  QApplication::setStyle(QStringLiteral("Fusion"));
  platform::MainQueue::install();
  QApplication::setApplicationName(QStringLiteral("Ravlio"));
  QApplication::setOrganizationName(QStringLiteral("Ravlio"));
  // The desktop entry is named after the bundle identifier; the window and alerts take the icon.
  QApplication::setDesktopFileName(
      platform::Bundle::main().infoValue(QStringLiteral("CFBundleIdentifier")).value_or(QString()));
  QApplication::setWindowIcon(platform::iconNamed(QStringLiteral("icon_app")));
  // The main window's close ends the application through its own shutdown sequence.
  QApplication::setQuitOnLastWindowClosed(false);
  // The stored language is known from the start; the font follows it before any screen exists.
  typography::applyApplicationFont();

  AppDelegate delegate;
  delegate.applicationDidFinishLaunching();
  platform::Storyboard storyboard;
  registerScenes(storyboard);
  if (registerMoreScenes) registerMoreScenes(storyboard);
  MainWindowController windowController(&storyboard);
  windowController.window()->resize(800, 560);
  windowController.window()->setMinimumSize(720, 520);
  platform::Application::onTerminationSignal([&windowController] { windowController.close(); });
  if (!platform::Application::isTerminating()) {
    windowController.setContentViewController(storyboard.instantiateController(QStringLiteral("IntroViewController")));
    windowController.showWindow();
  }
  const int status = platform::Application::exec();
  // A disk-image tool still running (an extraction when the user quits) is ended, not waited for.
  platform::endRunningCommands();
  delegate.applicationWillTerminate();
  // Workers that still wait (the intro's delay) end with the shutdown's cancellation.
  platform::GlobalQueue::shared().waitForIdle();
  return status;
}
