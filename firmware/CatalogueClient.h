#pragma once

#include <QObject>
#include <QPointer>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>

#include "firmware/FirmwareCatalogue.h"

class QNetworkAccessManager;
class QNetworkReply;

namespace firmware {

// Sends the catalogue request and hands back what came: one GET at a time, answered on the
// thread that owns the client. A request that makes no progress for the transfer time-out, or
// whose answer grows past kMaxAnswerSize, ends as "no response". Destroying the client (or
// sending anew) drops a pending request without answering it.
class CatalogueClient : public QObject {
  Q_OBJECT

 public:
  using Completion = std::function<void(const HttpOutcome&)>;

  // A catalogue is a few kilobytes; this bounds what a broken service can make us hold.
  static constexpr qint64 kMaxAnswerSize = 4 * 1024 * 1024;

  explicit CatalogueClient(QObject* parent = nullptr);
  ~CatalogueClient() override;

  // Sends GET `url` with the library's default headers; `done` runs later from the event
  // loop, never inside this call. An invalid URL gives no response.
  void get(const QUrl& url, Completion done);
  // From get() until the outcome is handed over (or the request is dropped).
  [[nodiscard]] bool isPending() const { return pending_; }

  // How long a transfer may go without progress (default 15 s); tests shorten it.
  [[nodiscard]] static std::chrono::milliseconds transferTimeout();
  static void setTransferTimeout(std::chrono::milliseconds timeout);

 private:
  void finish(QNetworkReply* reply);
  void deliver(HttpOutcome outcome);
  void drop();

  std::unique_ptr<QNetworkAccessManager> manager_;
  QPointer<QNetworkReply> reply_;
  Completion done_;
  bool tooLarge_ = false;
  bool pending_ = false;
  // Counts requests, so that an outcome queued for a dropped request is not handed over.
  quint64 generation_ = 0;
};

}  // namespace firmware
