#pragma once

#include <functional>

namespace platform {

class Cancellation;

// The application loop. A quit requested before the loop runs still ends it: exec() then
// returns at once.
class Application {
 public:
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
