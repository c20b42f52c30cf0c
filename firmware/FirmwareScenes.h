#pragma once

namespace platform {
class Storyboard;
}

// Registers the scenes of the firmware road under their identifiers (their class names).
void registerFirmwareScenes(platform::Storyboard& storyboard);
