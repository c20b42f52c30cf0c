#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTcpServer>

#include <optional>

#include "FirmwareTestSupport.h"
#include "firmware/CatalogueClient.h"
#include "platform/Queues.h"
#include "tools/firmware-service/HttpServer.h"

namespace {

using firmware_service::HttpRequest;
using firmware_service::HttpResponse;
using firmware_service::HttpServer;

class CatalogueClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    firmware::CatalogueClient::setTransferTimeout(firmware_testing::kSlack);
    ASSERT_TRUE(server_.listen());
  }
  void TearDown() override { firmware::CatalogueClient::setTransferTimeout(std::chrono::seconds(15)); }

  // Sends one request and waits (in real time) for its outcome.
  std::optional<firmware::HttpOutcome> fetch(const QUrl& url) {
    firmware::CatalogueClient client;
    std::optional<firmware::HttpOutcome> outcome;
    client.get(url, [&](const firmware::HttpOutcome& o) { outcome = o; });
    EXPECT_FALSE(outcome.has_value()) << "answered inside get()";
    platform::processEventsUntil([&] { return outcome.has_value(); }, std::chrono::seconds(20));
    return outcome;
  }

  HttpResponse response_ = HttpResponse::text(200, "{}", "application/json");
  HttpServer server_{[this](const HttpRequest&) { return response_; }};
};

TEST_F(CatalogueClientTest, SendsTheRequestLineAsBuilt) {
  struct Case {
    std::optional<QString> name;
    std::optional<QString> version;
    QByteArray target;
  };
  const Case cases[] = {
      {QStringLiteral("Tavo ~Quill?"), QStringLiteral("1.0.2"),
       "/tavoinfo/downlink?model=VGF2byB+UXVpbGw/&os=mac&currentver=1.0.2"},
      {QStringLiteral("Tavo Quill ~>"), QStringLiteral("1.0.2"),
       "/tavoinfo/downlink?model=VGF2byBRdWlsbCB+Pg==&os=mac&currentver=1.0.2"},
      {QStringLiteral("Tavo 수동"), QStringLiteral("2.0 beta&os=x"),
       "/tavoinfo/downlink?model=VGF2byDsiJjrj5k=&os=mac&currentver=2.0%20beta%26os%3Dx"},
      {std::nullopt, std::nullopt, "/tavoinfo/downlink?model=&os=mac&currentver="},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target.toStdString());
    const qsizetype before = server_.requests().size();
    ASSERT_TRUE(fetch(firmware::firmwareInfoUrl(server_.baseUrl().toString(), c.name, c.version)).has_value());
    ASSERT_EQ(server_.requests().size(), before + 1);
    EXPECT_EQ(server_.requests().last().requestLine, "GET " + c.target + " HTTP/1.1");
  }
}

TEST_F(CatalogueClientTest, OutcomeTable) {
  HttpResponse cut = HttpResponse::text(200, QByteArray(1000, ' '));
  cut.cutAfter = 10;
  HttpResponse stall;
  stall.stall = true;
  // Longer than the time-out in all, but never that long without progress.
  const QByteArray steady = "{\"error_msg\":\"ok\",\"pad\":\"" + QByteArray(12, 'x') + "\"}";  // about 1 s
  HttpResponse slow = HttpResponse::text(200, steady, "application/json; charset=utf-8");
  slow.bytesPerSecond = 40;
  HttpResponse tooLarge = HttpResponse::text(200, QByteArray(10 * 1024 * 1024, ' '));
  HttpResponse unannounced = tooLarge;
  unannounced.omitLength = true;

  using std::chrono::milliseconds;
  struct Case {
    const char* name;
    HttpResponse response;
    std::optional<int> status;
    QByteArray body;
    milliseconds timeout = firmware_testing::kSlack;
    milliseconds atLeast = milliseconds(0);  // how long the answer must take to come
  };
  const Case cases[] = {
      {"answer", HttpResponse::text(200, "{}", "application/json; charset=utf-8"), 200, "{}"},
      {"error status", HttpResponse::text(404, "{\"error_msg\":\"ok\"}"), 404, {}},
      {"slow but steady", slow, 200, steady, milliseconds(500), milliseconds(800)},
      {"cut off", cut, std::nullopt, {}},
      {"stalled", stall, std::nullopt, {}, firmware_testing::kStallTimeout},
      {"10 MB", tooLarge, std::nullopt, {}},
      {"10 MB without a length", unannounced, std::nullopt, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    response_ = c.response;
    firmware::CatalogueClient::setTransferTimeout(c.timeout);
    QElapsedTimer timer;
    timer.start();
    const auto outcome = fetch(firmware::firmwareInfoUrl(server_.baseUrl().toString(), QStringLiteral("Tavo Quill"),
                                                         QStringLiteral("1.0")));
    EXPECT_GE(timer.elapsed(), c.atLeast.count());
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->status, c.status);
    EXPECT_EQ(outcome->body, c.body);
  }
  response_ = cases[0].response;
  firmware::CatalogueClient::setTransferTimeout(firmware_testing::kSlack);
  EXPECT_EQ(fetch(firmware::firmwareInfoUrl(server_.baseUrl().toString(), QStringLiteral("Tavo Quill"),
                                            QStringLiteral("1.0")))
                ->contentType,
            "application/json; charset=utf-8");

  // No server, and an address that is no address: no response either.
  QTcpServer closed;
  ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
  const QString gone = QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort());
  closed.close();
  response_ = cases[0].response;
  firmware::CatalogueClient::setTransferTimeout(firmware_testing::kSlack);
  EXPECT_EQ(fetch(firmware::firmwareInfoUrl(gone, {}, {}))->status, std::nullopt);
  EXPECT_EQ(fetch(QUrl())->status, std::nullopt);
}

TEST_F(CatalogueClientTest, DroppedRequestsAreNeverAnswered) {
  response_ = HttpResponse::text(200, QByteArray(100, ' '));
  response_.bytesPerSecond = 20;  // five seconds: pending while the client goes
  const QUrl url = firmware::firmwareInfoUrl(server_.baseUrl().toString(), QStringLiteral("Tavo Quill"), {});
  int answered = 0;
  {
    firmware::CatalogueClient client;
    client.get(url, [&](const firmware::HttpOutcome&) { ++answered; });
    platform::processEventsUntil([&] { return !server_.requests().isEmpty(); }, std::chrono::seconds(20));
  }
  // A newer request replaces a pending one; only the newer one is answered.
  firmware::CatalogueClient client;
  int second = 0;
  client.get(url, [&](const firmware::HttpOutcome&) { ++answered; });
  response_ = HttpResponse::text(200, "{}");
  client.get(url, [&](const firmware::HttpOutcome&) { ++second; });
  platform::processEventsUntil([&] { return second > 0; }, std::chrono::seconds(20));
  platform::processEventsUntil([] { return false; }, std::chrono::milliseconds(300));
  EXPECT_EQ(answered, 0);
  EXPECT_EQ(second, 1);
}

}  // namespace
