#include "tools/firmware-service/HttpServer.h"

#include <QFile>
#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace firmware_service {
namespace {

constexpr qsizetype kMaxHeadSize = 64 * 1024;
constexpr qint64 kChunkSize = 256 * 1024;
constexpr qint64 kMaxQueued = 1024 * 1024;

QByteArray reasonPhrase(int status) {
  switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
  }
}

}  // namespace

QByteArray HttpRequest::path() const {
  const qsizetype q = target.indexOf('?');
  return q < 0 ? target : target.left(q);
}

QByteArray HttpRequest::query() const {
  const qsizetype q = target.indexOf('?');
  return q < 0 ? QByteArray() : target.mid(q + 1);
}

std::optional<QByteArray> HttpRequest::queryValue(const QByteArray& key) const {
  for (const QByteArray& pair : query().split('&')) {
    const qsizetype eq = pair.indexOf('=');
    const QByteArray name = eq < 0 ? pair : pair.left(eq);
    if (name == key) return eq < 0 ? QByteArray() : pair.mid(eq + 1);
  }
  return std::nullopt;
}

HttpResponse HttpResponse::text(int status, const QByteArray& body, const QByteArray& contentType) {
  HttpResponse r;
  r.status = status;
  r.body = body;
  r.contentType = contentType;
  return r;
}

HttpResponse HttpResponse::redirect(int status, const QByteArray& location) {
  HttpResponse r = text(status, "moved\n");
  r.headers.append({"Location", location});
  return r;
}

// Reads one request, answers it, and closes. Deletes itself when the socket goes.
class HttpServer::Connection : public QObject {
 public:
  Connection(HttpServer* server, QTcpSocket* socket) : QObject(server), server_(server), socket_(socket) {
    socket_->setParent(this);
    QObject::connect(socket_, &QTcpSocket::readyRead, this, [this] { read(); });
    QObject::connect(socket_, &QTcpSocket::bytesWritten, this, [this] { pump(false); });
    QObject::connect(socket_, &QTcpSocket::disconnected, this, [this] { deleteLater(); });
    read();
  }

 private:
  void read() {
    if (answered_) return;
    head_ += socket_->readAll();
    const qsizetype end = head_.indexOf("\r\n\r\n");
    if (end < 0) {
      if (head_.size() > kMaxHeadSize) fail(400);
      return;
    }
    answered_ = true;
    HttpRequest request;
    const QList<QByteArray> lines = head_.left(end).split('\n');
    request.requestLine = lines.value(0);
    if (request.requestLine.endsWith('\r')) request.requestLine.chop(1);
    const QList<QByteArray> parts = request.requestLine.split(' ');
    if (parts.size() != 3) {
      fail(400);
      return;
    }
    request.method = parts[0];
    request.target = parts[1];
    for (qsizetype i = 1; i < lines.size(); ++i) {
      QByteArray line = lines[i].trimmed();
      const qsizetype colon = line.indexOf(':');
      if (colon > 0) request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    {
      std::lock_guard lock(server_->mutex_);
      server_->requests_.append(request);
    }
    respond(server_->handler_ ? server_->handler_(request) : HttpResponse::text(404, "not found\n"));
  }

  void fail(int status) {
    answered_ = true;
    respond(HttpResponse::text(status, reasonPhrase(status) + '\n'));
  }

  void respond(HttpResponse response) {
    response_ = std::move(response);
    if (response_.stall) return;
    qint64 length = response_.body.size();
    if (!response_.filePath.isEmpty()) {
      file_ = std::make_unique<QFile>(response_.filePath);
      if (!file_->open(QIODevice::ReadOnly)) {
        file_.reset();
        response_ = HttpResponse::text(404, "not found\n");
        length = response_.body.size();
      } else {
        length = file_->size();
      }
    }
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response_.status) + ' ' + reasonPhrase(response_.status) + "\r\n";
    head += "Content-Type: " + response_.contentType + "\r\n";
    if (!response_.omitLength && !response_.endless) {
      head += "Content-Length: " + QByteArray::number(response_.declaredLength.value_or(length)) + "\r\n";
    }
    for (const auto& [name, value] : response_.headers) head += name + ": " + value + "\r\n";
    head += "Connection: close\r\n\r\n";
    socket_->write(head);
    if (response_.endless) {
      if (file_) response_.body = file_->readAll();
      file_.reset();
      if (response_.body.isEmpty()) response_.body = QByteArray(kChunkSize, '\0');
      length = HttpResponse::kEndlessLimit;
    }
    remaining_ = response_.cutAfter >= 0 ? std::min(response_.cutAfter, length) : length;
    if (response_.bytesPerSecond > 0) {
      throttle_ = new QTimer(this);
      QObject::connect(throttle_, &QTimer::timeout, this, [this] { pump(true); });
      throttle_->start(50);
    }
    pump(true);
  }

  // Queues the next part of the body while the socket's buffer is short; closes at the end.
  // A throttled body moves on the throttle's ticks only, not whenever earlier bytes went out.
  void pump(bool tick) {
    if (!answered_ || response_.stall || finished_) return;
    qint64 budget = response_.bytesPerSecond > 0 && !tick ? 0 : kMaxQueued - socket_->bytesToWrite();
    if (response_.bytesPerSecond > 0) budget = std::min(budget, std::max<qint64>(1, response_.bytesPerSecond / 20));
    while (remaining_ > 0 && budget > 0) {
      const qint64 n = std::min({remaining_, budget, kChunkSize});
      QByteArray chunk;
      if (file_) {
        chunk = file_->read(n);
        if (chunk.isEmpty()) break;
      } else if (response_.endless) {
        const qint64 at = sent_ % response_.body.size();
        chunk = response_.body.mid(at, std::min<qint64>(n, response_.body.size() - at));
      } else {
        chunk = response_.body.mid(sent_, n);
      }
      socket_->write(chunk);
      sent_ += chunk.size();
      remaining_ -= chunk.size();
      budget -= chunk.size();
      if (response_.bytesPerSecond > 0) break;
    }
    if (remaining_ <= 0 || (file_ && file_->atEnd() && remaining_ > 0)) {
      if (socket_->bytesToWrite() > 0) return;  // closes once the last bytes are out
      finished_ = true;
      if (throttle_) throttle_->stop();
      socket_->disconnectFromHost();
    }
  }

  QPointer<HttpServer> server_;
  QTcpSocket* socket_;
  QByteArray head_;
  bool answered_ = false;
  bool finished_ = false;
  HttpResponse response_;
  std::unique_ptr<QFile> file_;
  qint64 remaining_ = 0;
  qint64 sent_ = 0;
  QTimer* throttle_ = nullptr;
};

HttpServer::HttpServer(Handler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)), server_(std::make_unique<QTcpServer>()) {
  QObject::connect(server_.get(), &QTcpServer::newConnection, this, [this] { accept(); });
}

HttpServer::~HttpServer() {
  server_->close();
  // Connections are children; they go with the server.
}

bool HttpServer::listen(quint16 port) { return server_->listen(QHostAddress::LocalHost, port); }

quint16 HttpServer::port() const { return server_->serverPort(); }

QUrl HttpServer::baseUrl() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port())); }

QString HttpServer::errorString() const { return server_->errorString(); }

QList<HttpRequest> HttpServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void HttpServer::accept() {
  while (QTcpSocket* socket = server_->nextPendingConnection()) new Connection(this, socket);
}

}  // namespace firmware_service
