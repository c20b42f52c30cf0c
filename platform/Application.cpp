#include "platform/Application.h"

#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
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
