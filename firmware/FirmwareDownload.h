#pragma once

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

// What a finished transfer gives: the file it stored, or the transport error.
struct DownloadResponse {
  std::optional<QUrl> fileURL;
  std::optional<QString> error;  // the error's description; absent on success
};

// One GET of a file into `destination`. The body goes to a temporary file beside it, which
// replaces the destination only when the transfer ends well, so a broken transfer never
// leaves a partial file under the final name. An HTTP error status is no transport error:
// its page is stored like any body. A transfer that receives nothing for `stallTimeout`
// fails. Redirects are followed only to addresses that `allowRedirect` accepts.
// Destroying the object cancels the transfer; no callback comes after that.
class FirmwareDownload : public QObject {
  Q_OBJECT

 public:
  using Progress = std::function<void(double fraction)>;
  using Completion = std::function<void(const DownloadResponse&)>;

  FirmwareDownload(QNetworkAccessManager* manager, QUrl source, QString destination,
                   std::chrono::milliseconds stallTimeout, QObject* parent = nullptr);
  ~FirmwareDownload() override;

  // Starts the transfer; `progress` and `completion` are called on this object's thread.
  // The fraction is 0 while the total size is unknown.
  void start(Progress progress, Completion completion, std::function<bool(const QUrl&)> allowRedirect);

 private:
  void readBody();
  void finish();
  void fail(const QString& description);

  QNetworkAccessManager* manager_;
  QUrl source_;
  QString destination_;
  std::chrono::milliseconds stallTimeout_;
  QPointer<QNetworkReply> reply_;
  std::unique_ptr<QTemporaryFile> file_;  // beside the destination until it replaces it
  Progress progress_;
  Completion completion_;
  std::optional<QString> writeError_;
  bool done_ = false;
};
