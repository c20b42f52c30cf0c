#pragma once

#include <QObject>
#include <QPointer>

namespace platform {

// A delegate reference that goes empty when the delegate, a QObject, is destroyed (a screen
// that was replaced); a delegate that is no QObject is the caller's to keep alive.
template <typename Protocol>
class WeakDelegate {
 public:
  WeakDelegate& operator=(Protocol* delegate) {
    delegate_ = delegate;
    object_ = dynamic_cast<QObject*>(delegate);
    tracked_ = !object_.isNull();
    return *this;
  }
  [[nodiscard]] Protocol* get() const { return tracked_ && object_.isNull() ? nullptr : delegate_; }

 private:
  Protocol* delegate_ = nullptr;
  QPointer<QObject> object_;
  bool tracked_ = false;
};

}  // namespace platform
