#include "app/Scenes.h"

#include "app/CheckDeviceViewController.h"
#include "app/CheckSupportDeviceViewController.h"
#include "app/GoFrimwareUpdateViewController.h"
#include "app/IntroViewController.h"
#include "app/SetupGuideViewController.h"
#include "platform/Storyboard.h"

void registerScenes(platform::Storyboard& storyboard) {
  storyboard.registerScene<IntroViewController>(QStringLiteral("IntroViewController"));
  storyboard.registerScene<CheckDeviceViewController>(QStringLiteral("CheckDeviceViewController"));
  storyboard.registerScene<CheckSupportDeviceViewController>(QStringLiteral("CheckSupportDeviceViewController"));
  storyboard.registerScene<GoFrimwareUpdateViewController>(QStringLiteral("GoFrimwareUpdateViewController"));
  storyboard.registerScene<SetupGuideViewController>(QStringLiteral("SetupGuideViewController"));
}
