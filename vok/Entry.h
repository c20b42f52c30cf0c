#pragma once

// One SDK call of the simulated SDK in progress, and the checks every call makes first. Only
// vok/*.cpp include this.

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "vok/SimulatorImpl.h"

namespace vok::sim {

using Kind = VokObject::Kind;

inline constexpr KindMask kCamera = kindBit(Kind::Camera);
inline constexpr KindMask kStream = kindBit(Kind::Stream);
inline constexpr KindMask kItem = kindBit(Kind::Item);
inline constexpr KindMask kVolume = kindBit(Kind::Volume);
inline constexpr KindMask kEvfImage = kindBit(Kind::EvfImage);

struct RefArg {
  VokBaseRef ref;
  KindMask kinds;
  VokObject** out;
};

// Holds the lock and logs the call when it answers.
class Entry {
 public:
  Entry(const char* name, bool hasRef, VokBaseRef ref, std::vector<Arg> args)
      : s(Simulator::Impl::get()), lock(s.mutex), name_(name), hasRef_(hasRef), ref_(ref), args_(std::move(args)) {}

  // The checks that come before a call's work: the SDK is started, every reference is a live
  // one of the right kind, the parameters are valid, and no status is scripted. Returns the
  // status that ends the call, if any.
  std::optional<VokError> enter(std::initializer_list<RefArg> refs, bool parametersValid = true,
                                std::optional<VokPropertyID> id = std::nullopt, bool releasing = false) {
    if (!s.initialized) {
      if (s.everTerminated) {
        ++s.stats.callsAfterTerminate;
      }
      return VOK_ERR_NOT_INITIALIZED;
    }
    const VokObject* first = nullptr;
    for (const RefArg& arg : refs) {
      if (!arg.ref) {
        return VOK_ERR_INVALID_PARAMETER;
      }
      VokObject* object = s.find(arg.ref);
      if (!object) {
        ++s.stats.unknownReferences;
        return VOK_ERR_INVALID_HANDLE;
      }
      if (object->count <= 0) {
        ++(releasing ? s.stats.doubleReleases : s.stats.useAfterRelease);
        return VOK_ERR_INVALID_HANDLE;
      }
      if ((kindBit(object->kind) & arg.kinds) == 0) {
        return VOK_ERR_INVALID_HANDLE;
      }
      *arg.out = object;
      if (!first) {
        first = object;
      }
    }
    if (!parametersValid) {
      return VOK_ERR_INVALID_PARAMETER;
    }
    return s.scripted(name_, id, first);
  }

  VokError done(VokError status) {
    s.record(name_, hasRef_, ref_, args_, status);
    return status;
  }
  // For a call whose log line carries a value known only after its work.
  void addArg(Arg arg) { args_.push_back(arg); }

  Simulator::Impl& s;
  std::unique_lock<std::mutex> lock;

 private:
  std::string name_;
  bool hasRef_;
  VokBaseRef ref_;
  std::vector<Arg> args_;
};

inline void copyText(std::int8_t* out, std::size_t capacity, const std::string& text) {
  const std::size_t n = std::min(text.size(), capacity - 1);
  std::memcpy(out, text.data(), n);
  out[n] = 0;
}

// The camera behind a camera-bound reference, if it is still plugged and its session is open;
// otherwise the status that says why not.
inline VokError sessionCamera(Simulator::Impl& s, const VokObject* object, CameraState*& out) {
  out = s.pluggedCamera(object);
  if (!out) {
    return VOK_ERR_DEVICE_NOT_FOUND;
  }
  return out->sessionOpen ? VOK_ERR_OK : VOK_ERR_SESSION_NOT_OPEN;
}

// The work shared by calls that need the camera's open session.
template <typename Work>
VokError onOpenSession(Entry& e, VokObject* camera, Work work) {
  CameraState* cam = nullptr;
  if (const VokError status = sessionCamera(e.s, camera, cam)) {
    return status;
  }
  return work(*cam);
}

}  // namespace vok::sim
