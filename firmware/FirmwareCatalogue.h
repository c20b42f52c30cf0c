#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <cstdint>
#include <optional>

#include "firmware/CameraFirmwareInfo.h"

// The firmware catalogue: the request address, the order of versions and the reading of the
// service's answer. Pure functions; the list screen only shows what they return.
namespace firmware {

// The catalogue address under `serviceBase` (Info.ini's FirmwareServiceURL):
//   <base>/tavoinfo/downlink?model=<Base64 of the UTF-8 name>&os=mac&currentver=<version>
// The Base64 text goes as it is ('+', '/' and '=' are legal in a query); the version is
// percent-encoded as a query value, so '&', '#', '+' or spaces in it cannot change the query.
// An absent name or version gives an empty value. An unusable base gives an invalid URL.
[[nodiscard]] QUrl firmwareInfoUrl(const QString& serviceBase, const std::optional<QString>& productName,
                                   const std::optional<QString>& firmwareVersion);

// Orders two version keys: negative when `a` is older than `b`, positive when newer, zero only
// for equal texts. Both are NFC-normalised and split at '.'; each part is read as runs of ASCII
// digits and runs of other characters. Digit runs compare by numeric value ("1.10" is newer
// than "1.9", "02" equals "2"), other runs by Unicode code points, and a digit run is older
// than any other run ("1.x" is newer than "1.10", "1.2a" older than "1.9"); when all runs
// tie, more runs is newer, and when all parts tie, more parts is newer ("1.0.1" > "1.0").
// Keys that still tie ("1.0" and "1.00") fall back to code-point order of the whole text, so
// distinct keys never compare equal. A strict weak order over all texts, so sorting is sound.
[[nodiscard]] int compareFirmwareVersions(const QString& a, const QString& b);

// The keys, newest first.
[[nodiscard]] QStringList sortVersionsDescending(QStringList keys);

// The reading rules for values of the answer.
// As text: a text unchanged, a number or boolean as its text form, anything else empty.
[[nodiscard]] QString readText(const QJsonValue& value);
// As an integer: a number as its 64-bit value (fractions cut off), a text holding a decimal
// number as that number, true 1 and false 0; anything else, and numbers out of range, 0.
[[nodiscard]] std::int64_t readInteger(const QJsonValue& value);

// What came back for a request.
struct HttpOutcome {
  std::optional<int> status;  // nothing: no HTTP response (no connection, time-out, cut off)
  QByteArray body;
  QByteArray contentType;  // the Content-Type header as sent
};

// The body as text in the character set the answer declares (UTF-8 when it declares none or
// one we do not know); nothing when the bytes are not valid in that set.
[[nodiscard]] std::optional<QString> decodeBodyText(const QByteArray& body, const QByteArray& contentType);

// What the list screen does with an answer.
struct CatalogueAnswer {
  enum class Outcome {
    NoInternet,    // no response, a status other than 200, or a body that is not JSON
    ServiceError,  // "error_msg" is not "ok": `message` goes to the user
    Catalogue,     // `entries`, newest first, ending at the camera's own version
  };
  Outcome outcome = Outcome::NoInternet;
  QString message;
  QList<CameraFirmwareInfoPtr> entries;
  // Whether the answer listed any version at all; only then does `showWarning` apply.
  bool hasVersions = false;
  // The camera already runs the newest listed version (even when that entry was rejected).
  bool showWarning = false;
};

// Reads an answer for a camera running `firmwareVersion`.
[[nodiscard]] CatalogueAnswer readCatalogueAnswer(const HttpOutcome& http,
                                                  const std::optional<QString>& firmwareVersion);

}  // namespace firmware
