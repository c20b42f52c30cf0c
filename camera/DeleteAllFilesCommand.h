#pragma once

#include "camera/FileCounterCommand.h"

// Deletes every image item of the selected card volume, one by one while the store's delete
// flag holds. Always finished after one attempt.
class DeleteAllFilesCommand final : public FileCounterCommand {
 public:
  using FileCounterCommand::FileCounterCommand;
  [[nodiscard]] bool execute() override;
};
