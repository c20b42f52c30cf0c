#pragma once

namespace timings {

// Camera search and device-information read, in seconds.
inline constexpr double kSearchInterval = 1.0;
inline constexpr double kRestartDelay = 4.0;
inline constexpr double kReadRetryInterval = 3.0;
inline constexpr double kHandOverDelay = 0.3;
// After a (re)start of the search, passes 1 to 4 are discarded.
inline constexpr long long kRestartThreshold = 5;

}  // namespace timings
