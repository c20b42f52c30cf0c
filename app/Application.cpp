#include "app/Application.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "app/AppDelegate.h"
#include "app/MainWindowController.h"
#include "app/Scenes.h"
#include "app/Typography.h"
#include "platform/Application.h"
#include "platform/Bundle.h"
#include "platform/CommandRunner.h"
#include "platform/Queues.h"
#include "platform/SingleInstance.h"
#include "platform/Storyboard.h"
#include "platform/ViewController.h"
#include "platform/WindowActivation.h"
#include "vok/Scenario.h"

namespace {

// The options a Qt program takes from its command line ("-platform offscreen", "-style ..."),
// accepted here so that they reach the application object; only --help-all lists them.
void addToolkitOptions(QCommandLineParser& parser, bool listed) {
  struct Option {
    const char* name;
    const char* value;  // nullptr: a switch
    const char* description;
  };
  constexpr Option options[] = {
      {"platform", "name", "The windowing platform plugin (xcb, wayland, offscreen)."},
      {"platformpluginpath", "path", "Where to look for platform plugins."},
      {"platformtheme", "name", "The platform theme."},
      {"plugin", "name", "An extra input plugin to load."},
      {"display", "name", "The X display to use."},
      {"style", "style", "The widget style."},
      {"stylesheet", "file", "A style sheet for every widget."},
      {"qwindowgeometry", "geometry", "The main window's geometry (X11)."},
      {"geometry", "geometry", "The same as -qwindowgeometry."},
      {"qwindowtitle", "title", "The main window's title."},
      {"qwindowicon", "icon", "The main window's icon."},
      {"session", "id", "The session to restore."},
      {"reverse", nullptr, "Lay the screens out right to left."},
      {"widgetcount", nullptr, "Print the number of widgets left at the end."},
      {"nograb", nullptr, "Never grab the mouse or the keyboard."},
      {"dograb", nullptr, "Grab the mouse and the keyboard even when debugging."},
      {"sync", nullptr, "Talk to the X server synchronously."},
  };
  for (const Option& o : options) {
    QCommandLineOption option(QString::fromLatin1(o.name), QString::fromLatin1(o.description));
    if (o.value) option.setValueName(QString::fromLatin1(o.value));
    if (!listed) option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  }
}

// --help and --version, and a command line that cannot be used: the status to end with, before
// anything else runs; nothing when the program goes on.
std::optional<int> handleCommandLine(int argc, char** argv, const QString& program) {
  QCommandLineParser parser;
  QCommandLineParser listingAll;
  for (QCommandLineParser* p : {&parser, &listingAll}) {
    p->setApplicationDescription(QStringLiteral("Guided firmware updater for Tavo cameras."));
    p->setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    p->addHelpOption();
    p->addVersionOption();
    addToolkitOptions(*p, p == &listingAll);
  }
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  const bool parsed = parser.parse(arguments);
  // The parser knows the program's name only from an application object, which must not exist
  // yet: the usage line is ours.
  const auto usageOf = [&program](const QCommandLineParser& p) {
    const QString text = p.helpText();
    return QStringLiteral("Usage: %1 [options]").arg(program) + text.mid(text.indexOf(u'\n'));
  };
  const QString usage = usageOf(parser);
  if (!parsed || !parser.positionalArguments().isEmpty()) {
    const QString error = parsed ? QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().first())
                                 : parser.errorText();
    std::fprintf(stderr, "%s: %s\n\n%s", qPrintable(program), qPrintable(error), qPrintable(usage));
    return EXIT_FAILURE;
  }
  if (parser.isSet(QStringLiteral("help-all"))) {
    std::fputs(qPrintable(usageOf(listingAll)), stdout);
    return EXIT_SUCCESS;
  }
  if (parser.isSet(QStringLiteral("help"))) {
    std::fputs(qPrintable(usage), stdout);
    return EXIT_SUCCESS;
  }
  if (parser.isSet(QStringLiteral("version"))) {
    std::printf("%s %s\n", qPrintable(program), RAVLIO_VERSION);
    return EXIT_SUCCESS;
  }
  return std::nullopt;
}

}  // namespace

int runApplication(int argc, char** argv, const std::function<void(platform::Storyboard&)>& registerMoreScenes) {
  const QString program = argc > 0 ? QFileInfo(QString::fromLocal8Bit(argv[0])).fileName() : QStringLiteral("ravlio");
  if (const auto status = handleCommandLine(argc, argv, program)) return *status;

  // A scenario that was asked for but cannot be used ends the run before anything shows: going
  // on with another camera than the one asked for would only mislead.
  std::string error;
  if (!vok::sim::loadScenarioFromEnvironment(&error)) {
    std::fprintf(stderr, "ravlio: scenario: %s\n", error.c_str());
    return EXIT_FAILURE;
  }

  const std::unique_ptr<QApplication> app = platform::Application::create(argc, argv, qPrintable(program));
  QApplication::setApplicationVersion(QStringLiteral(RAVLIO_VERSION));
  QApplication::setStyle(QStringLiteral("Fusion"));
  platform::MainQueue::install();
  QApplication::setApplicationName(QStringLiteral("Ravlio"));
  QApplication::setOrganizationName(QStringLiteral("Ravlio"));
  // The desktop entry is named after the bundle identifier; the window and alerts take the icon.
  const QString identifier = platform::Bundle::main().infoValue(QStringLiteral("CFBundleIdentifier")).value_or(QString());
  QApplication::setDesktopFileName(identifier);

  // One copy per user: a second start brings the first one's window forward and ends, so that
  // two copies never work in one working folder.
  MainWindowController* mainWindow = nullptr;
  platform::SingleInstance instance(identifier.isEmpty() ? QStringLiteral("ravlio") : identifier);
  switch (instance.start([&mainWindow] {
    if (mainWindow && !mainWindow->isClosed()) platform::bringToFront(mainWindow->window());
  })) {
    case platform::SingleInstance::Outcome::First:
      break;
    case platform::SingleInstance::Outcome::HandedOver:
      return EXIT_SUCCESS;
    case platform::SingleInstance::Outcome::NoAnswer:
      std::fprintf(stderr, "%s: another copy is running but does not answer\n", qPrintable(program));
      return EXIT_FAILURE;
  }
  // The font list is read while the window is built; gone before the application object. Not
  // before the names above (the stored language is read from the settings file they place), nor
  // before a second start has ended.
  const typography::FontPreload fontPreload(typography::fontFamilyFor(platform::Bundle::main().localizationInUse()));
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
  mainWindow = &windowController;
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
