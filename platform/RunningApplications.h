#pragma once

#include <QString>

#include <vector>

namespace platform {

struct RunningApplication {
  qint64 pid = 0;
  QString identifier;  // the executable's file name
};

// The current user's running processes, never our own, and their termination.
class ProcessSource {
 public:
  virtual ~ProcessSource() = default;
  [[nodiscard]] virtual std::vector<RunningApplication> runningApplications() = 0;
  // Asks the process to end (SIGTERM) and returns at once; false only when the request could
  // not be delivered. A process that got it and keeps running is left alone.
  virtual bool terminate(const RunningApplication& app) = 0;
  // Ends it (SIGKILL); false when the signal could not be sent.
  virtual bool forceTerminate(const RunningApplication& app) = 0;
};

// The source in force: /proc unless a test installed another (nullptr restores it).
ProcessSource& processes();
void setProcessSource(ProcessSource* source);

}  // namespace platform
