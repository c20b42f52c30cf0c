#pragma once

#include <functional>

namespace platform {
class Storyboard;
}

// Runs the whole application: the main window with the intro screen, the camera SDK (the
// simulated one, set up from $RAVLIO_VOK_SCENARIO), until the window closes. The shell's own
// scenes are registered here; `registerMoreScenes` adds those of the layers above it.
int runApplication(int argc, char** argv,
                   const std::function<void(platform::Storyboard&)>& registerMoreScenes = {});
