#include "app/Scenes.h"

#include "app/CheckDeviceViewController.h"
#include "app/CheckSupportDeviceViewController.h"
#include "app/GoFrimwareUpdateViewController.h"
#include "app/IntroViewController.h"
#include "app/SetupGuideViewController.h"
#include "platform/Storyboard.h"

namespace {
template <typename Screen>
void add(platform::Storyboard& storyboard, const char* identifier) {
  storyboard.registerScene(QString::fromLatin1(identifier), [] { return std::make_unique<Screen>(); });
}
}  // namespace

void registerScenes(platform::Storyboard& storyboard) {
  add<IntroViewController>(storyboard, "IntroViewController");
  add<CheckDeviceViewController>(storyboard, "CheckDeviceViewController");
  add<CheckSupportDeviceViewController>(storyboard, "CheckSupportDeviceViewController");
  add<GoFrimwareUpdateViewController>(storyboard, "GoFrimwareUpdateViewController");
  add<SetupGuideViewController>(storyboard, "SetupGuideViewController");
}
