#pragma once

#include <QString>

#include <functional>
#include <memory>

class QLocalServer;
class QLockFile;

namespace platform {

// One running copy of a program per user. The first start holds a lock file in the user's
// runtime folder for as long as it runs and listens on a local socket beside it; a later start
// finds the lock held, asks the running copy through the socket to come forward, and should
// then end. A lock left by a copy that was killed is taken over at once.
class SingleInstance {
 public:
  enum class Outcome {
    First,       // this is the running copy now; activation requests reach `onActivation`
    HandedOver,  // another copy runs and was asked to come forward
    NoAnswer,    // another copy holds the lock but does not take the request
  };

  // `name` is the base of the lock's and the socket's file names; `folder` is where they lie
  // (empty: the user's runtime folder, $XDG_RUNTIME_DIR).
  explicit SingleInstance(QString name, QString folder = {});
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // Takes the lock, or hands over to the copy that holds it. For the first copy,
  // `onActivation` runs on the main thread each time a later start asks; it needs the
  // application object, which must exist by then.
  [[nodiscard]] Outcome start(std::function<void()> onActivation);

  [[nodiscard]] QString lockPath() const;
  [[nodiscard]] QString socketPath() const;

 private:
  void listen();
  [[nodiscard]] bool askRunningCopy() const;

  QString name_;
  QString folder_;
  std::function<void()> onActivation_;
  std::unique_ptr<QLockFile> lock_;
  std::unique_ptr<QLocalServer> server_;
};

}  // namespace platform
