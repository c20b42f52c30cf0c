#pragma once

#include <memory>

#include "vok/VokSdk.h"

class CameraModel;
class CommandProcessor;

namespace platform {
class Cancellation;
}

// One operation on the camera, run on its controller's command queue.
class Command {
 public:
  // A command that waits for the camera, or for a state it has to reach, gives up after this
  // many attempts (about 10 s at the queue's retry pause).
  static constexpr int kMaxAttempts = 20;

  explicit Command(std::shared_ptr<CameraModel> model);
  virtual ~Command();
  Command(const Command&) = delete;
  Command& operator=(const Command&) = delete;

  [[nodiscard]] const std::shared_ptr<CameraModel>& model() const { return _model; }

  // True when the command is finished (successfully or not); false to have it run again after
  // the queue's retry pause. The base does nothing.
  [[nodiscard]] virtual bool execute();

  // A command that the processor queues once this one has finished, whatever the outcome, so
  // that it never overtakes this one's retries.
  void setFollowUp(std::shared_ptr<Command> next) { _followUp = std::move(next); }
  [[nodiscard]] const std::shared_ptr<Command>& followUp() const { return _followUp; }

 protected:
  // Pauses the queue running this command through the clock; false when the queue was
  // stopped meanwhile (the command should then end without touching the camera).
  bool pause(double seconds) const;
  // For commands whose retries must end: passes `finished` on, but turns a "run it again"
  // into "finished" once `limit` attempts have been made.
  [[nodiscard]] bool limitRetries(bool finished, int limit);
  // For a command that waits for something to change: asks to be run again, silently, until
  // kMaxAttempts attempts were made; then reports `status` once (device_BUSY for 0x81, error
  // otherwise) and is finished.
  [[nodiscard]] bool waitOrGiveUp(VokError status);

  std::shared_ptr<CameraModel> _model;

 private:
  friend class CommandProcessor;
  std::shared_ptr<Command> _followUp;
  int _attempts = 0;
  // The running queue's cancellation; set by the processor before each execute().
  const platform::Cancellation* _cancellation = nullptr;
};
