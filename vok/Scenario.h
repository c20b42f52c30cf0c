#pragma once

#include <string>

namespace vok::sim {

// Sets up the simulator for a run of the application from the JSON scenario file named by
// $RAVLIO_VOK_SCENARIO, or from the default scenario (one supported camera plugged in 1.5 s
// after start) when the variable is unset. Returns false (and keeps the default) when the
// file cannot be read; `error` then says why.
bool loadScenarioFromEnvironment(std::string* error = nullptr);
bool loadScenarioFile(const std::string& path, std::string* error = nullptr);
bool loadScenarioText(const std::string& json, std::string* error = nullptr);

}  // namespace vok::sim
