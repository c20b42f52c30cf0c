#include "platform/Application.h"

#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <vector>

#include "platform/Clock.h"

namespace platform {
namespace {
std::atomic<bool> gTerminating{false};
std::atomic<int> gStatus{0};

// Never destroyed: workers may look at it late. Tests that reset get a fresh one.
std::atomic<Cancellation*> gShutdown{new Cancellation};

Cancellation& shutdown() { return *gShutdown.load(); }
}  // namespace

const Cancellation& Application::shutdownCancellation() { return shutdown(); }

namespace {
// While the application object is made: the platform plugins' complaints, held back, and the
// previous handler they go to once it stands.
struct StartMessages {
  const char* program = "";
  QtMessageHandler previous = nullptr;
  struct Held {
    QtMsgType type;
    const char* category;  // the logging category's name: a static string
    QString message;
  };
  std::vector<Held> held;
};
StartMessages* gStart = nullptr;

// To the handler that was installed before ours, else where Qt sends messages by default.
void passOn(QtMessageHandler previous, QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (previous) {
    previous(type, context, message);
  } else {
    qt_message_output(type, context, message);
  }
}

void startHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtFatalMsg) {
    // The platform could not be started: the plugins' lines and the toolkit's advice to
    // reinstall would only hide the one thing to say.
    const QByteArray display = qgetenv("DISPLAY").isEmpty() ? qgetenv("WAYLAND_DISPLAY") : qgetenv("DISPLAY");
    if (display.isEmpty()) {
      std::fprintf(stderr, "%s: no display to open a window on (neither DISPLAY nor WAYLAND_DISPLAY is set)\n",
                   gStart->program);
    } else {
      std::fprintf(stderr, "%s: cannot open the display \"%s\"\n", gStart->program, display.constData());
    }
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(EXIT_FAILURE);
  }
  if (context.category && std::strncmp(context.category, "qt.qpa", 6) == 0) {
    gStart->held.push_back({type, context.category, message});
    return;
  }
  passOn(gStart->previous, type, context, message);
}
}  // namespace

std::unique_ptr<QApplication> Application::create(int& argc, char** argv, const char* program) {
  StartMessages start{program, nullptr, {}};
  gStart = &start;
  start.previous = qInstallMessageHandler(startHandler);
  auto app = std::make_unique<QApplication>(argc, argv);
  qInstallMessageHandler(start.previous);
  gStart = nullptr;
  // The platform started after all: what its plugins said may still matter.
  for (const auto& held : start.held) {
    const QMessageLogContext context(nullptr, 0, nullptr, held.category);
    passOn(start.previous, held.type, context, held.message);
  }
  return app;
}

int Application::exec() {
  // Qt ignores quit() before the loop runs; a quit asked for during start-up ends here.
  if (gTerminating.load()) return gStatus.load();
  const int status = QApplication::exec();
  return gTerminating.load() ? gStatus.load() : status;
}

void Application::terminate(int status) {
  gStatus.store(status);
  gTerminating.store(true);
  shutdown().cancel();
  QCoreApplication::exit(status);
}

bool Application::isTerminating() { return gTerminating.load(); }

void Application::resetForTests() {
  gTerminating.store(false);
  gStatus.store(0);
  static auto* retired = new std::vector<Cancellation*>;  // kept reachable, never freed
  retired->push_back(gShutdown.exchange(new Cancellation));
}

}  // namespace platform

namespace platform {
namespace {
int gSignalPipe[2] = {-1, -1};

void onSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(gSignalPipe[1], &byte, 1);
}
}  // namespace

void Application::onTerminationSignal(std::function<void()> handler) {
  if (gSignalPipe[0] < 0) {
    if (::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  }
  auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, notifier, [handler = std::move(handler)] {
    char buffer[16];
    while (::read(gSignalPipe[0], buffer, sizeof buffer) > 0) {
    }
    handler();
  });
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &action, nullptr);
}

}  // namespace platform
