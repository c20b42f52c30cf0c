#include "firmware/FirmwareScenes.h"

#include "firmware/FirmwareFileDownloadViewController.h"
#include "firmware/SelectLocationViewController.h"
#include "platform/Storyboard.h"

namespace {
template <typename Screen>
void add(platform::Storyboard& storyboard, const char* identifier) {
  storyboard.registerScene(QString::fromLatin1(identifier), [] { return std::make_unique<Screen>(); });
}
}  // namespace

void registerFirmwareScenes(platform::Storyboard& storyboard) {
  add<FirmwareFileDownloadViewController>(storyboard, "FirmwareFileDownloadViewController");
  add<SelectLocationViewController>(storyboard, "SelectLocationViewController");
}
