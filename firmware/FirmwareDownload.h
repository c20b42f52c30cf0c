#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class QTemporaryFile;

// What a finished transfer gives: the file it stored; or no file, because the answer was not
// the file; or the transport error.
struct DownloadResponse {
  std::optional<QUrl> fileURL = std::nullopt;
  std::optional<QString> error = std::nullopt;     // the transport error's description
  std::optional<QString> rejected = std::nullopt;  // why a complete answer was not stored
};

// One GET of a file into `destination`. The body goes to a temporary file beside it, which
// replaces the destination only when the transfer ends well, so a broken transfer never
// leaves a partial file under the final name.
//
// Only a 2xx answer's body is the file. Any other final status, and a body longer than
// `byteLimit` (stopped as soon as it exceeds it), end the transfer as a rejected answer: no
// file, and neither that page nor a redirect's body is stored or counted as progress.
// Redirects are followed up to kMaxRedirects times, each only to an address that
// `allowRedirect` accepts and never back to one already visited; a refused redirect, a loop,
// one redirect too many and a transfer that receives nothing for `stallTimeout` fail as
// transport errors.
// Destroying the object cancels the transfer; no callback comes after that.
class FirmwareDownload : public QObject {
  Q_OBJECT

 public:
  using Progress = std::function<void(double fraction)>;
  using Completion = std::function<void(const DownloadResponse&)>;

  static constexpr int kMaxRedirects = 5;

  FirmwareDownload(QNetworkAccessManager* manager, QUrl source, QString destination,
                   std::chrono::milliseconds stallTimeout, qint64 byteLimit, QObject* parent = nullptr);
  ~FirmwareDownload() override;

  // Starts the transfer; `progress` and `completion` are called on this object's thread.
  // The fraction is 0 while the total size is unknown.
  void start(Progress progress, Completion completion, std::function<bool(const QUrl&)> allowRedirect);

 private:
  void request(const QUrl& url);
  void readHead();
  void follow(const QByteArray& location);
  void readBody();
  void finish();
  void dropReply();
  void fail(const QString& description);
  void reject(const QString& description);
  void end(const DownloadResponse& response);

  QNetworkAccessManager* manager_;
  QUrl source_;
  QString destination_;
  std::chrono::milliseconds stallTimeout_;
  qint64 byteLimit_;
  std::function<bool(const QUrl&)> allowRedirect_;
  QList<QUrl> visited_;  // every address asked so far, the source first
  QPointer<QNetworkReply> reply_;
  std::optional<int> status_;  // the current answer's final HTTP status, once its head is in
  qint64 received_ = 0;        // bytes of the accepted body
  std::unique_ptr<QTemporaryFile> file_;  // beside the destination until it replaces it
  Progress progress_;
  Completion completion_;
  std::optional<QString> writeError_;
  bool done_ = false;
};
