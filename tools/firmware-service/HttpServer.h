#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class QTcpServer;
class QTcpSocket;

namespace firmware_service {

// One request as it came over the wire.
struct HttpRequest {
  QByteArray requestLine;  // "GET /path?query HTTP/1.1", exactly as received
  QByteArray method;
  QByteArray target;  // the raw request target, undecoded
  QList<QPair<QByteArray, QByteArray>> headers;

  [[nodiscard]] QByteArray path() const;   // the target up to '?'
  [[nodiscard]] QByteArray query() const;  // after '?', raw
  // The raw value of the first `key=value` pair of the query, undecoded; nullopt when absent.
  [[nodiscard]] std::optional<QByteArray> queryValue(const QByteArray& key) const;
};

// What to answer. A body comes from `body`, or is streamed from `filePath` in chunks; the
// knobs let tests stand in for a broken or slow service.
struct HttpResponse {
  int status = 200;
  QByteArray contentType = "application/octet-stream";
  QByteArray body;
  QString filePath;
  std::optional<qint64> declaredLength;  // Content-Length to announce instead of the real one
  bool omitLength = false;               // no Content-Length: the body ends when the connection does
  qint64 cutAfter = -1;                  // close the connection after this many body bytes
  bool stall = false;                    // send nothing at all and keep the connection open
  qint64 bytesPerSecond = 0;             // throttle the body (0: as fast as the socket takes it)
  bool endless = false;  // no Content-Length, and the body repeated until the client goes (or kEndlessLimit)
  QList<QPair<QByteArray, QByteArray>> headers;  // further header lines, such as Location

  // An endless body still ends here, so a client that never stops reading cannot keep it going.
  static constexpr qint64 kEndlessLimit = 1024LL * 1024 * 1024;

  [[nodiscard]] static HttpResponse text(int status, const QByteArray& body,
                                         const QByteArray& contentType = "text/plain; charset=utf-8");
  // A redirect to `location` (as it goes on the wire, relative or absolute).
  [[nodiscard]] static HttpResponse redirect(int status, const QByteArray& location);
};

// A small HTTP/1.1 server on the loopback interface, for the local firmware service and for
// tests. It answers one request per connection and lives on the thread that made it.
class HttpServer : public QObject {
  Q_OBJECT

 public:
  using Handler = std::function<HttpResponse(const HttpRequest&)>;

  explicit HttpServer(Handler handler, QObject* parent = nullptr);
  ~HttpServer() override;

  // Listens on 127.0.0.1; port 0 picks a free one. False when the port is taken.
  bool listen(quint16 port = 0);
  [[nodiscard]] quint16 port() const;
  // "http://127.0.0.1:<port>"
  [[nodiscard]] QUrl baseUrl() const;
  [[nodiscard]] QString errorString() const;

  // Every request received so far (thread-safe).
  [[nodiscard]] QList<HttpRequest> requests() const;

 private:
  class Connection;
  void accept();

  Handler handler_;
  std::unique_ptr<QTcpServer> server_;
  mutable std::mutex mutex_;
  QList<HttpRequest> requests_;
};

}  // namespace firmware_service
