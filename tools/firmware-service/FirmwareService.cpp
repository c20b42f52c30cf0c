#include "tools/firmware-service/FirmwareService.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include "platform/FileNames.h"

namespace firmware_service {

FirmwareService::FirmwareService(QJsonObject catalogue, QString packagesFolder)
    : catalogue_(std::move(catalogue)), packagesFolder_(std::move(packagesFolder)) {}

bool FirmwareService::load(const QString& cataloguePath, const QString& packagesFolder, FirmwareService* service,
                           QString* error) {
  QFile file(cataloguePath);
  if (!file.open(QIODevice::ReadOnly)) {
    *error = cataloguePath + QStringLiteral(": ") + file.errorString();
    return false;
  }
  QJsonParseError parseError{};
  const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parseError);
  if (!doc.isObject()) {
    *error = cataloguePath + QStringLiteral(": ") +
             (parseError.error != QJsonParseError::NoError ? parseError.errorString() : QStringLiteral("not an object"));
    return false;
  }
  *service = FirmwareService(doc.object(), packagesFolder);
  return true;
}

QJsonObject FirmwareService::answerFor(const QString& model, const QUrl& base) const {
  const QJsonObject models = catalogue_.value(QStringLiteral("models")).toObject();
  if (!models.contains(model)) {
    return {{QStringLiteral("error_msg"), QStringLiteral("No firmware is published for this model.")}};
  }
  const QJsonObject entry = models.value(model).toObject();
  if (entry.contains(QStringLiteral("answer"))) return entry.value(QStringLiteral("answer")).toObject();

  QJsonObject links;
  QJsonObject files;
  QJsonObject descriptions;
  QJsonObject sizes;
  for (const QJsonValue& v : entry.value(QStringLiteral("versions")).toArray()) {
    const QJsonObject version = v.toObject();
    const QString key = version.value(QStringLiteral("version")).toString();
    const QString fileName = version.value(QStringLiteral("file")).toString();
    if (key.isEmpty() || !platform::isPlainFileName(fileName)) continue;
    QUrl link = base;
    link.setPath(QStringLiteral("/firmware/") + fileName);
    links.insert(key, link.toString());
    files.insert(key, fileName);
    descriptions.insert(key, version.value(QStringLiteral("description")).toString());
    const QFileInfo package(QDir(packagesFolder_).filePath(fileName));
    if (package.isFile()) sizes.insert(fileName, static_cast<double>(package.size()));
  }
  return {
      {QStringLiteral("error_msg"), entry.value(QStringLiteral("error_msg")).toString(QStringLiteral("ok"))},
      {QStringLiteral("download_link_data"), links},
      {QStringLiteral("firmware_file_info"), files},
      {QStringLiteral("firmware_description"), descriptions},
      {QStringLiteral("firmware_file_name_info"), sizes},
  };
}

HttpResponse FirmwareService::handle(const HttpRequest& request, const QUrl& base) const {
  if (request.method != "GET") return HttpResponse::text(405, "method not allowed\n");
  const QByteArray path = request.path();
  if (path == "/tavoinfo/downlink") {
    // The model comes as Base64 text, not percent-encoded, so it is decoded as it stands.
    const auto encoded = QByteArray::fromBase64Encoding(request.queryValue("model").value_or(QByteArray()),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    if (!encoded) return HttpResponse::text(400, "bad model\n");
    const QJsonObject answer = answerFor(QString::fromUtf8(*encoded), base);
    return HttpResponse::text(200, QJsonDocument(answer).toJson(QJsonDocument::Indented),
                              "application/json; charset=utf-8");
  }
  if (path.startsWith("/firmware/")) {
    const QString name = QUrl::fromPercentEncoding(path.mid(int(sizeof "/firmware/") - 1));
    const QString file = QDir(packagesFolder_).filePath(name);
    if (!platform::isPlainFileName(name) || !QFileInfo(file).isFile()) return HttpResponse::text(404, "not found\n");
    HttpResponse response;
    response.filePath = file;
    return response;
  }
  return HttpResponse::text(404, "not found\n");
}

}  // namespace firmware_service
