#include "camera/CommandProcessor.h"

#include <QStringLiteral>

#include "camera/Command.h"
#include "platform/Clock.h"

CommandProcessor::CommandProcessor() : _commandQueue(QStringLiteral("commandQueue")) {}

CommandProcessor::~CommandProcessor() { stop(); }

void CommandProcessor::post(std::shared_ptr<Command> command) {
  if (!command) return;
  // A stopped queue cuts the pause short; the submission is then ignored.
  platform::sleepFor(kPostPause, &_commandQueue.cancellation());
  submit(std::move(command));
}

void CommandProcessor::stop() { _commandQueue.stop(); }

void CommandProcessor::submit(std::shared_ptr<Command> command) {
  // The queue is joined before the processor dies, so its tasks may hold `this`.
  _commandQueue.async([this, command = std::move(command)] { run(command); });
}

void CommandProcessor::run(const std::shared_ptr<Command>& command) {
  command->_cancellation = &_commandQueue.cancellation();
  if (command->execute()) {
    if (auto next = std::move(command->_followUp)) submit(std::move(next));
    return;
  }
  // Retries go to the end of the queue, so commands posted meanwhile run first.
  if (!platform::sleepFor(kRetryPause, &_commandQueue.cancellation())) return;
  submit(command);
}
