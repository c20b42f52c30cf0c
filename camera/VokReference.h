#pragma once

#include <utility>

#include "vok/VokSdk.h"

// Owns one SDK reference and releases it exactly once: on reset(), on reassignment or when it
// goes out of scope.
class VokReference {
 public:
  VokReference() = default;
  // Takes ownership of `ref` (may be null).
  explicit VokReference(VokBaseRef ref) : _ref(ref) {}
  ~VokReference() { reset(); }
  VokReference(VokReference&& other) noexcept : _ref(std::exchange(other._ref, nullptr)) {}
  VokReference& operator=(VokReference&& other) noexcept {
    if (this != &other) {
      reset();
      _ref = std::exchange(other._ref, nullptr);
    }
    return *this;
  }
  VokReference(const VokReference&) = delete;
  VokReference& operator=(const VokReference&) = delete;

  [[nodiscard]] VokBaseRef get() const { return _ref; }
  explicit operator bool() const { return _ref != nullptr; }
  void reset() {
    if (_ref) (void)VokRelease(std::exchange(_ref, nullptr));
  }

  // Runs an SDK call that hands out a reference and keeps it only on success (an out value
  // counts only after status 0). Returns the call's status.
  template <typename Call>
  VokError obtain(Call&& call) {
    reset();
    VokBaseRef raw = nullptr;
    const VokError status = std::forward<Call>(call)(&raw);
    if (status == VOK_ERR_OK) _ref = raw;
    return status;
  }

 private:
  VokBaseRef _ref = nullptr;
};
