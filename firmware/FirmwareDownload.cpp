#include "firmware/FirmwareDownload.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/FileOperations.h"

namespace {

// The reply keeps at most this much unread; the body goes to disk as it comes.
constexpr qint64 kReadBufferSize = 4 * 1024 * 1024;

bool isSuccess(int status) { return status >= 200 && status <= 299; }

bool isRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

QString statusText(int status) { return QStringLiteral("the server answered with HTTP status %1").arg(status); }

// The body is written to ".download-" and six letters, as QTemporaryFile fills in "XXXXXX".
constexpr std::string_view kTemporaryPrefix = ".download-";
constexpr std::size_t kTemporaryRandom = 6;

bool isTemporaryName(std::string_view name) {
  return name.size() == kTemporaryPrefix.size() + kTemporaryRandom && name.starts_with(kTemporaryPrefix) &&
         std::all_of(name.begin() + kTemporaryPrefix.size(), name.end(),
                     [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); });
}

}  // namespace

FirmwareDownload::FirmwareDownload(QNetworkAccessManager* manager, QUrl source, QString destination,
                                   std::chrono::milliseconds stallTimeout, qint64 byteLimit, QObject* parent)
    : QObject(parent),
      manager_(manager),
      source_(std::move(source)),
      destination_(std::move(destination)),
      stallTimeout_(stallTimeout),
      byteLimit_(std::max<qint64>(0, byteLimit)) {}

FirmwareDownload::~FirmwareDownload() {
  done_ = true;
  dropReply();
  file_.reset();  // removes the temporary file
}

void FirmwareDownload::start(Progress progress, Completion completion,
                             std::function<bool(const QUrl&)> allowRedirect) {
  progress_ = std::move(progress);
  completion_ = std::move(completion);
  allowRedirect_ = std::move(allowRedirect);
  // A failure to begin is still reported after start() has returned, like any other.
  const auto failLater = [this](const QString& description) {
    QMetaObject::invokeMethod(this, [this, description] { fail(description); }, Qt::QueuedConnection);
  };
  if (!QDir().mkpath(QFileInfo(destination_).absolutePath())) {
    failLater(QStringLiteral("Cannot create the folder of ") + destination_);
    return;
  }
  // Hidden, and removed unless it replaces the destination. Its name does not repeat the
  // destination's, which may already be as long as a name can be. No flush to disk at the
  // end: that would hold the GUI thread for the whole file, and the size check reads it back.
  // A download cut short (the program killed) leaves its file; the next one clears it, but
  // never the file a running download holds locked.
  const QString folder = QFileInfo(destination_).absolutePath();
  platform::removeAbandonedFiles(folder, isTemporaryName);
  file_ = std::make_unique<QTemporaryFile>(folder + u'/' + QLatin1StringView(kTemporaryPrefix) + QStringLiteral("XXXXXX"));
  if (!file_->open() || !file_->setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                 QFileDevice::ReadGroup | QFileDevice::ReadOther)) {
    failLater(destination_ + QStringLiteral(": ") + file_->errorString());
    return;
  }
  platform::holdAsInUse(file_->handle());
  request(source_);
}

void FirmwareDownload::request(const QUrl& url) {
  visited_.append(url);
  status_.reset();
  QNetworkRequest request(url);
  // Redirects are followed here, not by Qt, so that each hop is checked and counted and only
  // the final answer's body reaches the file.
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
  request.setTransferTimeout(static_cast<int>(stallTimeout_.count()));
  reply_ = manager_->get(request);
  reply_->setReadBufferSize(kReadBufferSize);
  connect(reply_, &QNetworkReply::metaDataChanged, this, &FirmwareDownload::readHead);
  connect(reply_, &QNetworkReply::readyRead, this, &FirmwareDownload::readBody);
  connect(reply_, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64 total) {
    readHead();
    if (done_ || !status_ || !isSuccess(*status_) || !progress_) return;
    progress_(total > 0 ? static_cast<double>(received) / static_cast<double>(total) : 0.0);
  });
  connect(reply_, &QNetworkReply::finished, this, &FirmwareDownload::finish);
}

// Decides on the answer once its final status is in: keep the body, follow, or fail.
void FirmwareDownload::readHead() {
  if (done_ || !reply_ || status_) return;
  const QVariant attribute = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute);
  if (!attribute.isValid()) return;
  const int status = attribute.toInt();
  if (status >= 100 && status <= 199) return;  // an interim answer; the final one follows
  status_ = status;
  if (isSuccess(status)) return;
  const QByteArray location = reply_->rawHeader("Location");
  if (isRedirect(status) && !location.isEmpty()) {
    follow(location);
  } else {
    reject(statusText(status));
  }
}

void FirmwareDownload::follow(const QByteArray& location) {
  const QUrl target = reply_->url().resolved(QUrl::fromEncoded(location));
  if (visited_.size() > kMaxRedirects) {
    fail(QStringLiteral("more than %1 redirects").arg(kMaxRedirects));
  } else if (visited_.contains(target)) {
    fail(QStringLiteral("redirect loop at ") + target.toString());
  } else if (!allowRedirect_ || !allowRedirect_(target)) {
    fail(QStringLiteral("refused redirect to ") + target.toString());
  } else {
    dropReply();
    request(target);
  }
}

void FirmwareDownload::readBody() {
  readHead();
  if (done_ || !reply_ || !reply_->isOpen() || writeError_) return;
  const QByteArray chunk = reply_->readAll();
  if (!status_ || !isSuccess(*status_)) return;  // a page that is not the file
  if (received_ + chunk.size() > byteLimit_) {
    reject(QStringLiteral("more than the announced %1 bytes").arg(byteLimit_));
    return;
  }
  received_ += chunk.size();
  if (file_->write(chunk) != chunk.size()) {
    writeError_ = destination_ + QStringLiteral(": ") + file_->errorString();
    reply_->abort();
  }
}

void FirmwareDownload::finish() {
  if (done_ || !reply_) return;
  const QNetworkReply* answering = reply_;
  readBody();  // the last bytes, and the head if it came with them
  if (done_ || reply_ != answering) return;
  const QNetworkReply::NetworkError error = reply_->error();
  const QString errorString = reply_->errorString();
  dropReply();
  if (writeError_) {
    fail(*writeError_);
  } else if (status_ && !isSuccess(*status_)) {
    reject(statusText(*status_));
  } else if (!status_) {
    fail(error != QNetworkReply::NoError ? errorString : QStringLiteral("no answer"));
  } else if (error != QNetworkReply::NoError) {
    fail(errorString);
  } else if (!file_->flush() ||
             std::rename(QFile::encodeName(file_->fileName()).constData(), QFile::encodeName(destination_).constData()) != 0) {
    fail(destination_ + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno)));
  } else {
    file_->setAutoRemove(false);
    end({.fileURL = QUrl::fromLocalFile(destination_)});
  }
}

// Lets go of the current reply; nothing of it reaches this object afterwards.
void FirmwareDownload::dropReply() {
  if (!reply_) return;
  QNetworkReply* reply = reply_;
  reply_.clear();
  reply->disconnect(this);
  reply->abort();
  reply->deleteLater();
}

void FirmwareDownload::fail(const QString& description) { end({.error = description}); }

void FirmwareDownload::reject(const QString& description) { end({.rejected = description}); }

// Reports once, after letting go of the reply and of the temporary file (removed unless it
// became the destination).
void FirmwareDownload::end(const DownloadResponse& response) {
  dropReply();
  file_.reset();
  if (done_) return;
  done_ = true;
  // The completion may delete this object: it runs last, from a copy.
  const Completion completion = completion_;
  if (completion) completion(response);
}
