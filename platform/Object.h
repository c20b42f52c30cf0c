#pragma once

#include <memory>

namespace platform {

// Base of every object that rides in a notification. Observers find the concrete type with
// std::dynamic_pointer_cast; an object of another type is simply not theirs.
class Object {
 public:
  virtual ~Object() = default;
};

using ObjectPtr = std::shared_ptr<const Object>;

}  // namespace platform
