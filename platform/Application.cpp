#include "platform/Application.h"

#include <QApplication>

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
