#include "firmware/FirmwareScenes.h"

#include "firmware/FirmwareFileDownloadViewController.h"
#include "firmware/FirmwareSelectViewController.h"
#include "firmware/SelectLocationViewController.h"
#include "platform/Storyboard.h"

void registerFirmwareScenes(platform::Storyboard& storyboard) {
  storyboard.registerScene<FirmwareSelectViewController>(QStringLiteral("FirmwareSelectViewController"));
  storyboard.registerScene<FirmwareFileDownloadViewController>(QStringLiteral("FirmwareFileDownloadViewController"));
  storyboard.registerScene<SelectLocationViewController>(QStringLiteral("SelectLocationViewController"));
}
