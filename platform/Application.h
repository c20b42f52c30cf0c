#pragma once

#include <functional>
#include <memory>

class QApplication;

namespace platform {

class Cancellation;

// The application loop. A quit requested before the loop runs still ends it: exec() then
// returns at once.
class Application {
 public:
  // Makes the application object. Where no display can be opened (no windowing system, or a
  // platform plugin that does not start), it says so in one line on standard error, prefixed
  // with `program`, and ends the process with status 1 in place of the toolkit's abort.
  [[nodiscard]] static std::unique_ptr<QApplication> create(int& argc, char** argv, const char* program);
  static int exec();
  static void terminate(int status = 0);
  [[nodiscard]] static bool isTerminating();
  static void resetForTests();
  // Fires when the application terminates; waits that have no cancellation of their own use
  // it, so that no worker keeps the process alive after the loop has ended.
  [[nodiscard]] static const Cancellation& shutdownCancellation();
  // Runs `handler` on the main thread when the process receives SIGTERM, SIGINT or SIGHUP, so
  // that a session's logout or a Ctrl+C ends the program through its own shutdown.
  static void onTerminationSignal(std::function<void()> handler);
};

}  // namespace platform
