#include "firmware/CatalogueClient.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <atomic>
#include <utility>

namespace firmware {
namespace {

std::atomic<std::chrono::milliseconds::rep> gTransferTimeout{15000};

}  // namespace

CatalogueClient::CatalogueClient(QObject* parent)
    : QObject(parent), manager_(std::make_unique<QNetworkAccessManager>()) {}

CatalogueClient::~CatalogueClient() { drop(); }

std::chrono::milliseconds CatalogueClient::transferTimeout() {
  return std::chrono::milliseconds(gTransferTimeout.load());
}

void CatalogueClient::setTransferTimeout(std::chrono::milliseconds timeout) { gTransferTimeout.store(timeout.count()); }

void CatalogueClient::get(const QUrl& url, Completion done) {
  drop();
  done_ = std::move(done);
  tooLarge_ = false;
  pending_ = true;
  if (!url.isValid() || url.isRelative()) {
    deliver({});
    return;
  }
  QNetworkRequest request(url);
  request.setTransferTimeout(static_cast<int>(transferTimeout().count()));
  QNetworkReply* reply = manager_->get(request);
  reply_ = reply;
  connect(reply, &QNetworkReply::downloadProgress, this, [this, reply](qint64 received, qint64 total) {
    if (received <= kMaxAnswerSize && total <= kMaxAnswerSize) return;
    tooLarge_ = true;
    reply->abort();  // finishes the reply at once
  });
  connect(reply, &QNetworkReply::finished, this, [this, reply] { finish(reply); });
}

void CatalogueClient::finish(QNetworkReply* reply) {
  if (reply != reply_) return;
  reply_.clear();
  reply->deleteLater();
  HttpOutcome outcome;
  const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
  if (!tooLarge_ && status.isValid()) {
    if (reply->error() == QNetworkReply::NoError) {
      outcome.status = status.toInt();
      outcome.body = reply->readAll();
      outcome.contentType = reply->rawHeader("Content-Type");
    } else if (status.toInt() != 200) {
      // An error status; its body is not looked at. A 200 that broke off has no answer.
      outcome.status = status.toInt();
    }
  }
  deliver(std::move(outcome));
}

// Hands the outcome over from the event loop, so the receiver may show a modal alert or
// destroy this client without doing so inside the network reply's own signal.
void CatalogueClient::deliver(HttpOutcome outcome) {
  Completion done = std::exchange(done_, nullptr);
  if (!done) return;
  QMetaObject::invokeMethod(
      this, [this, generation = generation_, done = std::move(done), outcome = std::move(outcome)] {
        if (generation != generation_) return;
        pending_ = false;
        done(outcome);
      },
      Qt::QueuedConnection);
}

void CatalogueClient::drop() {
  ++generation_;
  pending_ = false;
  done_ = nullptr;
  if (QNetworkReply* reply = reply_.data()) {
    reply_.clear();
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
  }
}

}  // namespace firmware
