#include "firmware/FirmwareDownload.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// The reply keeps at most this much unread; the body goes to disk as it comes.
constexpr qint64 kReadBufferSize = 4 * 1024 * 1024;

// Errors that only report the HTTP status of an answer that did arrive.
bool isHttpStatusError(QNetworkReply::NetworkError error) {
  const int code = static_cast<int>(error);
  return (code >= 201 && code <= 299) || (code >= 401 && code <= 499) ||
         error == QNetworkReply::ProtocolInvalidOperationError;
}

}  // namespace

FirmwareDownload::FirmwareDownload(QNetworkAccessManager* manager, QUrl source, QString destination,
                                   std::chrono::milliseconds stallTimeout, QObject* parent)
    : QObject(parent),
      manager_(manager),
      source_(std::move(source)),
      destination_(std::move(destination)),
      stallTimeout_(stallTimeout) {}

FirmwareDownload::~FirmwareDownload() {
  done_ = true;
  if (reply_) {
    reply_->disconnect(this);
    reply_->abort();
    reply_->deleteLater();
  }
  file_.reset();  // removes the temporary file
}

void FirmwareDownload::start(Progress progress, Completion completion,
                             std::function<bool(const QUrl&)> allowRedirect) {
  progress_ = std::move(progress);
  completion_ = std::move(completion);
  // A failure to begin is still reported after start() has returned, like any other.
  const auto failLater = [this](const QString& description) {
    QMetaObject::invokeMethod(this, [this, description] { fail(description); }, Qt::QueuedConnection);
  };
  if (!QDir().mkpath(QFileInfo(destination_).absolutePath())) {
    failLater(QStringLiteral("Cannot create the folder of ") + destination_);
    return;
  }
  // Hidden, and removed unless it replaces the destination. No flush to disk at the end: that
  // would hold the GUI thread for the whole file, and the size check reads it back anyway.
  const QFileInfo target(destination_);
  file_ = std::make_unique<QTemporaryFile>(target.absolutePath() + QStringLiteral("/.") + target.fileName() +
                                           QStringLiteral(".XXXXXX"));
  if (!file_->open() || !file_->setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                 QFileDevice::ReadGroup | QFileDevice::ReadOther)) {
    failLater(destination_ + QStringLiteral(": ") + file_->errorString());
    return;
  }
  QNetworkRequest request(source_);
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
  request.setTransferTimeout(static_cast<int>(stallTimeout_.count()));
  reply_ = manager_->get(request);
  reply_->setReadBufferSize(kReadBufferSize);
  connect(reply_, &QNetworkReply::readyRead, this, &FirmwareDownload::readBody);
  connect(reply_, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64 total) {
    if (progress_ && !done_) progress_(total > 0 ? static_cast<double>(received) / static_cast<double>(total) : 0.0);
  });
  connect(reply_, &QNetworkReply::redirected, this, [this, allow = std::move(allowRedirect)](const QUrl& target) {
    if (allow && allow(target)) {
      Q_EMIT reply_->redirectAllowed();
    } else {
      reply_->abort();
    }
  });
  connect(reply_, &QNetworkReply::finished, this, &FirmwareDownload::finish);
}

void FirmwareDownload::readBody() {
  if (!reply_ || !reply_->isOpen() || writeError_) return;
  const QByteArray chunk = reply_->readAll();
  if (file_->write(chunk) != chunk.size()) {
    writeError_ = destination_ + QStringLiteral(": ") + file_->errorString();
    reply_->abort();
  }
}

void FirmwareDownload::finish() {
  if (done_ || !reply_) return;
  readBody();
  QNetworkReply* reply = reply_;
  reply->deleteLater();
  reply_.clear();
  const QNetworkReply::NetworkError error = reply->error();
  const bool answered = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
  if (writeError_) {
    fail(*writeError_);
  } else if (error != QNetworkReply::NoError && !(answered && isHttpStatusError(error))) {
    fail(reply->errorString());
  } else if (!file_->flush() ||
             std::rename(QFile::encodeName(file_->fileName()).constData(), QFile::encodeName(destination_).constData()) != 0) {
    fail(destination_ + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno)));
  } else {
    file_->setAutoRemove(false);
    file_.reset();
    done_ = true;
    // The completion may delete this object: it runs last, from a copy.
    const Completion completion = completion_;
    if (completion) completion(DownloadResponse{QUrl::fromLocalFile(destination_), std::nullopt});
  }
}

void FirmwareDownload::fail(const QString& description) {
  file_.reset();
  if (done_) return;
  done_ = true;
  const Completion completion = completion_;
  if (completion) completion(DownloadResponse{std::nullopt, description});
}
