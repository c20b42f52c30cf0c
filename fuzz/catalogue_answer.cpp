// Feeds the catalogue reader a 200 answer: the input's first line is the Content-Type, the
// rest the body (no line: all of it is the body). Besides not crashing, an answer read as a
// catalogue must keep what the list screen relies on.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "firmware/FirmwareCatalogue.h"

namespace {

void require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "catalogue answer: %s\n", what);
  std::abort();
}

void check(const firmware::CatalogueAnswer& answer, const std::optional<QString>& camera) {
  using Outcome = firmware::CatalogueAnswer::Outcome;
  if (answer.outcome != Outcome::Catalogue) {
    require(answer.entries.isEmpty(), "entries without a catalogue");
    return;
  }
  require(answer.hasVersions || answer.entries.isEmpty(), "entries without versions");
  require(!answer.showWarning || (answer.hasVersions && camera), "warning without versions or camera");
  for (qsizetype i = 0; i < answer.entries.size(); ++i) {
    const CameraFirmwareInfo& e = *answer.entries.at(i);
    require(e.version && e.description && !e.description->isEmpty() && e.fileName && !e.fileName->isEmpty() &&
                e.downloadLink && !e.downloadLink->isEmpty() && e.fileSize && *e.fileSize >= 1,
            "an incomplete entry");
    if (i > 0) {
      require(firmware::compareFirmwareVersions(*answer.entries.at(i - 1)->version, *e.version) > 0,
              "entries not newest first");
    }
    require(!camera || *e.version != *camera || i == answer.entries.size() - 1, "entries past the camera's version");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray input = QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const qsizetype newline = input.indexOf('\n');
  firmware::HttpOutcome http;
  http.status = 200;
  http.contentType = newline < 0 ? QByteArray() : input.left(newline);
  http.body = newline < 0 ? input : input.mid(newline + 1);
  for (const std::optional<QString>& camera : {std::optional<QString>(QStringLiteral("1.0")), std::optional<QString>()}) {
    check(firmware::readCatalogueAnswer(http, camera), camera);
  }
  return 0;
}
