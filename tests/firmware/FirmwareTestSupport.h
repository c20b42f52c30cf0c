#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <functional>
#include <initializer_list>
#include <utility>

#include "firmware/CatalogueClient.h"
#include "platform/Bundle.h"
#include "support/TestFiles.h"
#include "tools/firmware-service/HttpServer.h"

namespace firmware_testing {

// The text of the strings files for `key`, in the language in force.
inline QString text(const char* key) { return platform::localizedString(QString::fromLatin1(key)); }

// A catalogue answer in which every entry is complete: version key -> package size. Files
// are "TavoQuill_<version>.dmg", descriptions "Notes for <version>".
inline QByteArray catalogueJson(std::initializer_list<std::pair<const char*, QJsonValue>> versions) {
  QJsonObject links, files, descriptions, sizes;
  for (const auto& [version, size] : versions) {
    const QString key = QString::fromUtf8(version);
    const QString file = QStringLiteral("TavoQuill_") + key + QStringLiteral(".dmg");
    links.insert(key, QStringLiteral("https://example.invalid/") + file);
    files.insert(key, file);
    descriptions.insert(key, QStringLiteral("Notes for ") + key);
    if (!size.isUndefined()) sizes.insert(file, size);
  }
  return QJsonDocument(QJsonObject{{QStringLiteral("error_msg"), QStringLiteral("ok")},
                                   {QStringLiteral("download_link_data"), links},
                                   {QStringLiteral("firmware_file_info"), files},
                                   {QStringLiteral("firmware_description"), descriptions},
                                   {QStringLiteral("firmware_file_name_info"), sizes}})
      .toJson();
}

// A stalled transfer gives up after this long in tests; everything else gets kSlack, which
// leaves room for sanitizer builds on a busy machine.
inline constexpr std::chrono::milliseconds kStallTimeout{250};
inline constexpr std::chrono::milliseconds kSlack{10000};

// A firmware service on the loopback interface that answers every request with `response`
// (or through `handler`, when one is set), and the application's resources with an Info.ini
// that points at it.
class LocalService {
 public:
  LocalService() {
    firmware::CatalogueClient::setTransferTimeout(kSlack);
    EXPECT_TRUE(server.listen());
    const QDir source(QStringLiteral(RAVLIO_SOURCE_RESOURCES));
    for (const char* name : {"en.lproj", "ko.lproj", "images", "cameraCrawling.ini"}) {
      const QString n = QString::fromLatin1(name);
      EXPECT_TRUE(QFile::link(source.filePath(n), QDir(bundle_.path()).filePath(n)));
    }
    testing_support::writeFile(QDir(bundle_.path()).filePath(QStringLiteral("Info.ini")),
                               "CFBundleName=Ravlio\nCFBundleIdentifier=com.ravlio.updater\nFirmwareServiceURL=" +
                                   server.baseUrl().toEncoded() + "\n");
    platform::Bundle::setMainPath(bundle_.path());
  }
  ~LocalService() {
    platform::Bundle::setMainPath(QString::fromUtf8(RAVLIO_SOURCE_RESOURCES));
    firmware::CatalogueClient::setTransferTimeout(std::chrono::seconds(15));
  }
  LocalService(const LocalService&) = delete;
  LocalService& operator=(const LocalService&) = delete;

  firmware_service::HttpResponse response =
      firmware_service::HttpResponse::text(200, catalogueJson({{"1.0", 1}}), "application/json; charset=utf-8");
  std::function<firmware_service::HttpResponse(const firmware_service::HttpRequest&)> handler;
  firmware_service::HttpServer server{
      [this](const firmware_service::HttpRequest& request) { return handler ? handler(request) : response; }};

  void answer(const QByteArray& json) {
    response = firmware_service::HttpResponse::text(200, json, "application/json; charset=utf-8");
  }

 private:
  QTemporaryDir bundle_;
};

}  // namespace firmware_testing
