#pragma once

// The application's delegate: it has nothing of its own to do at launch or termination.
class AppDelegate {
 public:
  void applicationDidFinishLaunching() {}
  void applicationWillTerminate() {}
  [[nodiscard]] bool applicationSupportsSecureRestorableState() const { return true; }
};
