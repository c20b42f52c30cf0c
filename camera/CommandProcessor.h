#pragma once

#include <memory>

#include "platform/Queues.h"

class Command;

// Runs one camera's commands on a serial queue, one at a time and in order; a command that
// is not finished goes back to the end of the queue after a pause, for as long as the queue runs.
class CommandProcessor {
 public:
  static constexpr double kPostPause = 0.001;   // seconds, on the posting thread
  static constexpr double kRetryPause = 0.5;    // seconds, on the queue before a retry

  CommandProcessor();
  // Stops the queue; returns once no command is running.
  virtual ~CommandProcessor();
  CommandProcessor(const CommandProcessor&) = delete;
  CommandProcessor& operator=(const CommandProcessor&) = delete;

  // Pauses the calling thread briefly, then queues `command`. Ignored once stopped.
  virtual void post(std::shared_ptr<Command> command);
  // Ends the queue: queued commands and pending retries are dropped and nothing runs
  // afterwards. Waits for a running command unless called from the queue itself.
  void stop();
  [[nodiscard]] bool isStopped() const { return _commandQueue.isStopped(); }

 private:
  void submit(std::shared_ptr<Command> command);
  void run(const std::shared_ptr<Command>& command);

  platform::SerialQueue _commandQueue;
};
