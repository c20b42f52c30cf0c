#include "platform/SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

#include <cstdio>
#include <utility>

#include <unistd.h>

namespace platform {
namespace {
// What a later start sends; one line, so that more requests can follow in time.
constexpr char kActivate[] = "activate\n";
// A copy that holds the lock listens right after taking it; a later start that comes in
// between tries again for this long before it gives up.
constexpr int kConnectAttempts = 20;
constexpr useconds_t kConnectPause = 100'000;
}  // namespace

SingleInstance::SingleInstance(QString name, QString folder) : name_(std::move(name)), folder_(std::move(folder)) {
  if (folder_.isEmpty()) folder_ = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

SingleInstance::~SingleInstance() {
  // The socket goes before the lock, so that a start that takes the lock never finds a
  // listener of ours.
  server_.reset();
  lock_.reset();
}

QString SingleInstance::lockPath() const { return QDir(folder_).filePath(name_ + QStringLiteral(".lock")); }

QString SingleInstance::socketPath() const { return QDir(folder_).filePath(name_ + QStringLiteral(".socket")); }

SingleInstance::Outcome SingleInstance::start(std::function<void()> onActivation) {
  QDir().mkpath(folder_);
  auto lock = std::make_unique<QLockFile>(lockPath());
  // Only a lock whose holder has gone is stale, however long the first copy has been running.
  lock->setStaleLockTime(0);
  if (lock->tryLock(0)) {
    lock_ = std::move(lock);
    onActivation_ = std::move(onActivation);
    listen();
    return Outcome::First;
  }
  if (lock->error() == QLockFile::LockFailedError) {
    return askRunningCopy() ? Outcome::HandedOver : Outcome::NoAnswer;
  }
  // A runtime folder that takes no lock must not keep the program from starting.
  std::printf("Cannot lock %s; a second copy would not be noticed.\n", qPrintable(lockPath()));
  std::fflush(stdout);
  onActivation_ = std::move(onActivation);
  return Outcome::First;
}

void SingleInstance::listen() {
  // We hold the lock, so a socket file left there belongs to a copy that was killed.
  QLocalServer::removeServer(socketPath());
  server_ = std::make_unique<QLocalServer>();
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_->listen(socketPath())) {
    std::printf("Cannot listen at %s: %s\n", qPrintable(socketPath()), qPrintable(server_->errorString()));
    std::fflush(stdout);
    return;
  }
  QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(), [this] {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
      QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
        while (socket->canReadLine()) {
          if (socket->readLine() == kActivate && onActivation_) onActivation_();
        }
      });
    }
  });
}

bool SingleInstance::askRunningCopy() const {
  for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
    if (attempt > 0) ::usleep(kConnectPause);
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(1000)) continue;
    socket.write(kActivate);
    const bool sent = socket.waitForBytesWritten(1000);
    socket.disconnectFromServer();
    if (sent) return true;
  }
  return false;
}

}  // namespace platform
