#pragma once

#include "vok/VokSdk.h"

// What the live-view commands share: the properties they use and their limits.
namespace live_view {

inline constexpr VokPropertyID kOutputDevice = kVokPropID_Evf_OutputDevice;
inline constexpr VokUInt32 kComputerBit = kVokEvfOutputDevice_PC;  // the bit these commands own
inline constexpr VokPropertyID kMode = 0x00000501;
inline constexpr VokPropertyID kDepthOfFieldPreview = 0x00000504;
inline constexpr VokPropertyID kRollPitch = 0x01000544;  // a UInt32 in the store, a camera position on a frame
// A frame's own values.
inline constexpr VokPropertyID kZoom = 0x00000507;
inline constexpr VokPropertyID kZoomRect = 0x00000541;
inline constexpr VokPropertyID kImagePosition = 0x0000050B;
inline constexpr VokPropertyID kSizeJpegLarge = 0x00000540;
inline constexpr VokPropertyID kVisibleRect = 0x01000546;

inline constexpr VokUInt64 kMemoryStreamSize = 0x200000;  // one frame

// The program's own status (beside those of CardFiles.h) for a live-view click given up on
// because live view never came on.
inline constexpr VokError kStatusLiveViewOff = 0x0000F004;

}  // namespace live_view
