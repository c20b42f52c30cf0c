#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QUrl>

#include "tools/firmware-service/HttpServer.h"

namespace firmware_service {

// The local stand-in for the maker's firmware-information service. It answers
//   GET /tavoinfo/downlink?model=<Base64 of the model name>&os=...&currentver=...
// with the catalogue of that model, and GET /firmware/<file name> with the package.
//
// The catalogue file (JSON) names the models:
//   { "models": { "Tavo Quill": { "error_msg": "ok",
//       "versions": [ { "version": "1.1.0", "file": "TavoQuill_110.dmg", "description": "..." } ] } } }
// Download links point back at this service; sizes are those of the files in the packages
// folder (a version whose file is missing gets no size). A model entry may instead hold
// "answer": the exact JSON object to send. A model that is not listed gets an error message.
class FirmwareService {
 public:
  FirmwareService(QJsonObject catalogue, QString packagesFolder);

  // Reads the catalogue from a file; false (with `error`) when it is not a JSON object.
  static bool load(const QString& cataloguePath, const QString& packagesFolder, FirmwareService* service,
                   QString* error);

  // `base` is the address the service is reached at (for the download links).
  [[nodiscard]] HttpResponse handle(const HttpRequest& request, const QUrl& base) const;

  // The catalogue answer for one model, as the service sends it.
  [[nodiscard]] QJsonObject answerFor(const QString& model, const QUrl& base) const;

 private:
  QJsonObject catalogue_;
  QString packagesFolder_;
};

}  // namespace firmware_service
