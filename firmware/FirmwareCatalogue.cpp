#include "firmware/FirmwareCatalogue.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QVariant>

#include <algorithm>
#include <cmath>

namespace firmware {
namespace {

int sign(qsizetype n) { return n < 0 ? -1 : (n > 0 ? 1 : 0); }

// The text's code points, a lone surrogate standing for its own value. Unlike toUcs4(), which
// turns every lone surrogate into U+FFFD, this tells all distinct texts apart.
QList<char32_t> codePoints(QStringView s) {
  QList<char32_t> out;
  out.reserve(s.size());
  for (qsizetype i = 0; i < s.size(); ++i) {
    const QChar c = s[i];
    if (c.isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
      out.append(QChar::surrogateToUcs4(c, s[i + 1]));
      ++i;
    } else {
      out.append(c.unicode());
    }
  }
  return out;
}

// Code-point order; QString's own compare is by UTF-16 units, which puts characters beyond
// the Basic Multilingual Plane before U+E000..U+FFFF.
int compareCodePoints(QStringView a, QStringView b) {
  const QList<char32_t> ua = codePoints(a);
  const QList<char32_t> ub = codePoints(b);
  const auto order = std::lexicographical_compare_three_way(ua.cbegin(), ua.cend(), ub.cbegin(), ub.cend());
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

bool isAsciiDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// Numeric order of two digit runs of any length: no conversion, so nothing overflows.
int compareDigitRuns(QStringView a, QStringView b) {
  auto strip = [](QStringView s) {
    qsizetype i = 0;
    while (i + 1 < s.size() && s[i] == u'0') ++i;
    return s.mid(i);
  };
  const QStringView x = strip(a);
  const QStringView y = strip(b);
  if (x.size() != y.size()) return sign(x.size() - y.size());
  return sign(x.compare(y));
}

// The run that starts at `from`: ASCII digits, or everything up to the next digit.
QStringView runAt(QStringView part, qsizetype from) {
  const bool digits = isAsciiDigit(part[from]);
  qsizetype end = from + 1;
  while (end < part.size() && isAsciiDigit(part[end]) == digits) ++end;
  return part.sliced(from, end - from);
}

// One part between the dots, run by run. Digit runs compare by value, other runs by code
// point, and a digit run is older than any other run ("1.x" > "1.10", "1.2a" < "1.9"); when
// the runs tie, more runs is newer. Every text maps to one run sequence and each rule only
// looks at the runs themselves, so this is a total preorder and the sort is well defined.
int compareParts(QStringView a, QStringView b) {
  qsizetype i = 0;
  qsizetype j = 0;
  while (i < a.size() && j < b.size()) {
    const QStringView x = runAt(a, i);
    const QStringView y = runAt(b, j);
    const bool xDigits = isAsciiDigit(x.front());
    const bool yDigits = isAsciiDigit(y.front());
    int c = 0;
    if (xDigits && yDigits) {
      c = compareDigitRuns(x, y);
    } else if (xDigits != yDigits) {
      c = xDigits ? -1 : 1;
    } else {
      c = compareCodePoints(x, y);
    }
    if (c != 0) return c;
    i += x.size();
    j += y.size();
  }
  return sign((a.size() - i) - (b.size() - j));
}

int compareNormalised(const QString& a, const QString& b) {
  const QList<QStringView> pa = QStringView(a).split(u'.');
  const QList<QStringView> pb = QStringView(b).split(u'.');
  const qsizetype common = std::min(pa.size(), pb.size());
  for (qsizetype i = 0; i < common; ++i) {
    if (const int c = compareParts(pa[i], pb[i]); c != 0) return c;
  }
  if (pa.size() != pb.size()) return sign(pa.size() - pb.size());
  return compareCodePoints(a, b);
}

std::int64_t integerFromDouble(double d) {
  if (!std::isfinite(d)) return 0;
  const double whole = std::trunc(d);
  // 2^63: the first value that no longer fits.
  constexpr double kLimit = 9223372036854775808.0;
  if (whole >= kLimit || whole < -kLimit) return 0;
  return static_cast<std::int64_t>(whole);
}

QJsonValue member(const QJsonValue& container, const QString& key) {
  return container.isObject() ? container.toObject().value(key) : QJsonValue(QJsonValue::Undefined);
}

}  // namespace

QUrl firmwareInfoUrl(const QString& serviceBase, const std::optional<QString>& productName,
                     const std::optional<QString>& firmwareVersion) {
  QUrl url(serviceBase.trimmed(), QUrl::StrictMode);
  const QString scheme = url.scheme().toLower();
  if (!url.isValid() || url.host().isEmpty() || (scheme != u"https" && scheme != u"http")) return {};
  QString path = url.path(QUrl::FullyEncoded);
  while (path.endsWith(u'/')) path.chop(1);
  url.setPath(path + QStringLiteral("/tavoinfo/downlink"), QUrl::StrictMode);
  const QByteArray model = productName ? productName->toUtf8().toBase64() : QByteArray();
  const QByteArray version = firmwareVersion ? QUrl::toPercentEncoding(*firmwareVersion) : QByteArray();
  url.setQuery(QStringLiteral("model=%1&os=mac&currentver=%2")
                   .arg(QString::fromLatin1(model), QString::fromLatin1(version)),
               QUrl::StrictMode);
  url.setFragment(QString());
  return url;
}

int compareFirmwareVersions(const QString& a, const QString& b) {
  const int c = compareNormalised(a.normalized(QString::NormalizationForm_C), b.normalized(QString::NormalizationForm_C));
  // Texts that differ only in their composition still get an order of their own.
  return c != 0 ? c : compareCodePoints(a, b);
}

QStringList sortVersionsDescending(QStringList keys) {
  std::sort(keys.begin(), keys.end(),
            [](const QString& a, const QString& b) { return compareFirmwareVersions(a, b) > 0; });
  return keys;
}

QString readText(const QJsonValue& value) {
  switch (value.type()) {
    case QJsonValue::String: return value.toString();
    case QJsonValue::Double: return value.toVariant().toString();
    case QJsonValue::Bool: return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    default: return {};
  }
}

std::int64_t readInteger(const QJsonValue& value) {
  switch (value.type()) {
    case QJsonValue::Double: {
      const QVariant number = value.toVariant();
      if (number.typeId() == QMetaType::LongLong) return number.toLongLong();
      return integerFromDouble(value.toDouble());
    }
    case QJsonValue::String: {
      static const QRegularExpression decimal(QStringLiteral("^([+-]?[0-9]+)(\\.[0-9]+)?$"));
      const QRegularExpressionMatch m = decimal.match(value.toString());
      if (!m.hasMatch()) return 0;
      bool ok = false;
      const qlonglong n = m.captured(1).toLongLong(&ok);
      return ok ? n : 0;
    }
    case QJsonValue::Bool: return value.toBool() ? 1 : 0;
    default: return 0;
  }
}

std::optional<QString> decodeBodyText(const QByteArray& body, const QByteArray& contentType) {
  std::optional<QStringConverter::Encoding> encoding;
  for (const QByteArray& parameter : contentType.split(';')) {
    const QByteArray p = parameter.trimmed();
    if (!p.toLower().startsWith("charset=")) continue;
    QByteArray name = p.mid(int(sizeof "charset=") - 1).trimmed();
    if (name.size() >= 2 && name.startsWith('"') && name.endsWith('"')) name = name.mid(1, name.size() - 2);
    encoding = QStringConverter::encodingForName(name.constData());
  }
  QStringDecoder decoder(encoding.value_or(QStringConverter::Utf8), QStringConverter::Flag::Stateless);
  QString text = decoder.decode(body);
  if (decoder.hasError()) return std::nullopt;
  return text;
}

CatalogueAnswer readCatalogueAnswer(const HttpOutcome& http, const std::optional<QString>& firmwareVersion) {
  CatalogueAnswer answer;
  if (!http.status || *http.status != 200) return answer;
  const std::optional<QString> text = decodeBodyText(http.body, http.contentType);
  if (!text) return answer;
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(text->toUtf8(), &error);
  if (error.error != QJsonParseError::NoError || document.isNull()) return answer;

  // A top level that is an array reads every key as missing.
  const QJsonObject top = document.isObject() ? document.object() : QJsonObject();
  const QString message = readText(top.value(QStringLiteral("error_msg")));
  if (message != u"ok") {
    answer.outcome = CatalogueAnswer::Outcome::ServiceError;
    answer.message = message;
    return answer;
  }
  answer.outcome = CatalogueAnswer::Outcome::Catalogue;

  const QJsonValue links = top.value(QStringLiteral("download_link_data"));
  const QJsonValue files = top.value(QStringLiteral("firmware_file_info"));
  const QJsonValue descriptions = top.value(QStringLiteral("firmware_description"));
  const QJsonValue sizes = top.value(QStringLiteral("firmware_file_name_info"));

  QStringList keys;
  if (links.isObject()) {
    keys = links.toObject().keys();
  } else if (links.isArray()) {
    // Positions stand in as keys; looked up in an array they are missing, so none is accepted.
    for (qsizetype i = 0; i < links.toArray().size(); ++i) keys.append(QString::number(i));
  }
  keys = sortVersionsDescending(keys);

  for (const QString& key : keys) {
    const QString link = readText(member(links, key));
    const QString fileName = readText(member(files, key));
    const QString description = readText(member(descriptions, key));
    const std::int64_t size = readInteger(member(sizes, fileName));
    if (link.isEmpty() || fileName.isEmpty() || description.isEmpty() || size < 1) continue;
    auto entry = std::make_shared<CameraFirmwareInfo>();
    entry->version = key;
    entry->description = description;
    entry->fileName = fileName;
    entry->fileSize = size;
    entry->downloadLink = link;
    answer.entries.append(entry);
    if (firmwareVersion && key == *firmwareVersion) break;  // nothing older than the camera's own
  }
  answer.hasVersions = !keys.isEmpty();
  answer.showWarning = answer.hasVersions && firmwareVersion && keys.first() == *firmwareVersion;
  return answer;
}

}  // namespace firmware
