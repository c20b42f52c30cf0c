#pragma once

namespace platform {
class Storyboard;
}

// Registers every scene of the application under its identifier (its controller's class name).
void registerScenes(platform::Storyboard& storyboard);
