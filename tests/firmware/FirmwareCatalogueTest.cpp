#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <limits>
#include <random>

#include "FirmwareTestSupport.h"
#include "VersionOrderLaws.h"
#include "firmware/FirmwareCatalogue.h"

namespace {

using firmware::CatalogueAnswer;
using Outcome = CatalogueAnswer::Outcome;
using firmware_testing::catalogueJson;

TEST(FirmwareVersionOrder, ComparesDigitRunsByValueAndTheRestByCodePoint) {
  struct Case {
    QString newer;
    QString older;
  };
  const Case cases[] = {
      {QStringLiteral("1.10"), QStringLiteral("1.9")},
      {QStringLiteral("2.0"), QStringLiteral("1.10")},
      {QStringLiteral("1.0.1"), QStringLiteral("1.0")},
      {QStringLiteral("10.0"), QStringLiteral("9.99.99")},
      {QStringLiteral("100000000000000000000.0"), QStringLiteral("99999999999999999999.0")},  // beyond 64 bits
      {QStringLiteral("1.0b"), QStringLiteral("1.0a")},
      {QStringLiteral("1.x"), QStringLiteral("1.10")},  // a letter run is newer than a digit run
      {QStringLiteral("1.10"), QStringLiteral("1.2a")},  // runs in turn: 10 > 2
      {QStringLiteral("1.9"), QStringLiteral("1.2a")},
      {QStringLiteral("2"), QStringLiteral("1a")},
      {QStringLiteral("1a"), QStringLiteral("1")},  // more runs is newer
      {QStringLiteral("1.0a"), QStringLiteral("1.0")},
      {QStringLiteral("1.00"), QStringLiteral("1.0")},  // equal in value, still ordered
      {QStringLiteral("1.02"), QStringLiteral("1.1")},  // "02" is 2
      {QStringLiteral("1.0"), QString()},
      // Code points, not UTF-16 units: U+1F600 comes after U+FF10.
      {QStringLiteral("1.") + QString::fromUcs4(U"\U0001F600"), QStringLiteral("1.") + QChar(0xFF10)},
      // Precomposed and decomposed forms are the same after NFC; the texts still differ.
      {QStringLiteral("1.\u00E9"), QStringLiteral("1.e\u0301")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE((c.newer + QStringLiteral(" > ") + c.older).toStdString());
    EXPECT_GT(firmware::compareFirmwareVersions(c.newer, c.older), 0);
    EXPECT_LT(firmware::compareFirmwareVersions(c.older, c.newer), 0);
    EXPECT_EQ(firmware::compareFirmwareVersions(c.newer, c.newer), 0);
  }
  EXPECT_EQ(firmware::sortVersionsDescending({QStringLiteral("1.9"), QStringLiteral("1.10"), QStringLiteral("2.0"),
                                              QStringLiteral("1.0.2")}),
            (QStringList{QStringLiteral("2.0"), QStringLiteral("1.10"), QStringLiteral("1.9"), QStringLiteral("1.0.2")}));
}

// Digit parts used to compare by number and any other pair by code point, so 2 < 10, 10 < 1a
// and 1a < 2: a cycle, under which std::sort may put any key first.
TEST(FirmwareVersionOrder, DigitAndLetterPartsFormNoCycle) {
  EXPECT_EQ(firmware_testing::brokenVersionOrderLaw(QStringLiteral("2"), QStringLiteral("10"), QStringLiteral("1a")),
            std::nullopt);
  EXPECT_EQ(firmware::sortVersionsDescending({QStringLiteral("1.10"), QStringLiteral("1.2a"), QStringLiteral("1.9")}),
            (QStringList{QStringLiteral("1.10"), QStringLiteral("1.9"), QStringLiteral("1.2a")}));
}

// Texts from a small alphabet that meets every rule: digits with leading zeros, letters, dots,
// composed and decomposed accents, a full-width digit, a character beyond the BMP and lone
// surrogates of both kinds.
TEST(FirmwareVersionOrder, KeepsTheOrderingLawsOnGeneratedTriples) {
  const QString alphabet[] = {
      QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("9"), QStringLiteral("10"),
      QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("."), QStringLiteral("\u00E9"), QStringLiteral("e\u0301"),
      QStringLiteral("\u0301"), QString(QChar(0xFF10)), QString::fromUcs4(U"\U0001F600"), QString(QChar(0xD800)),
      QString(QChar(0xDC00)), QString(QChar(0xDBFF))};
  std::mt19937 random(17);
  auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
  // A small pool, so that triples often share texts and prefixes.
  std::vector<QString> pool;
  for (int i = 0; i < 300; ++i) {
    QString text;
    for (std::size_t n = pick(7); n > 0; --n) text += alphabet[pick(std::size(alphabet))];
    pool.push_back(text);
  }
  for (int i = 0; i < 30000; ++i) {
    const QString& a = pool[pick(pool.size())];
    const QString& b = pool[pick(pool.size())];
    const QString& c = pool[pick(pool.size())];
    const std::optional<std::string> broken = firmware_testing::brokenVersionOrderLaw(a, b, c);
    ASSERT_EQ(broken, std::nullopt) << "\"" << a.toStdString() << "\" \"" << b.toStdString() << "\" \""
                                    << c.toStdString() << "\"";
  }
}

TEST(AnswerReadingRules, TextAndIntegerTable) {
  struct Case {
    QJsonValue value;
    QString text;
    std::int64_t integer;
  };
  const Case cases[] = {
      {QStringLiteral("abc"), QStringLiteral("abc"), 0},
      {QStringLiteral("1024"), QStringLiteral("1024"), 1024},
      {QStringLiteral("-7"), QStringLiteral("-7"), -7},
      {QStringLiteral("1024.9"), QStringLiteral("1024.9"), 1024},
      {QStringLiteral(" 1024"), QStringLiteral(" 1024"), 0},
      {QStringLiteral("12abc"), QStringLiteral("12abc"), 0},
      {QStringLiteral("99999999999999999999"), QStringLiteral("99999999999999999999"), 0},
      {1024, QStringLiteral("1024"), 1024},
      {1.5, QStringLiteral("1.5"), 1},
      {-3.9, QStringLiteral("-3.9"), -3},
      {qint64(9007199254740993), QStringLiteral("9007199254740993"), 9007199254740993},  // beyond a double's precision
      {1e30, QStringLiteral("1e+30"), 0},
      {true, QStringLiteral("true"), 1},
      {false, QStringLiteral("false"), 0},
      {QJsonValue(), QString(), 0},
      {QJsonValue(QJsonValue::Undefined), QString(), 0},
      {QJsonArray{1}, QString(), 0},
      {QJsonObject{{QStringLiteral("a"), 1}}, QString(), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.toStdString() + " / type " + std::to_string(c.value.type()));
    EXPECT_EQ(firmware::readText(c.value), c.text);
    EXPECT_EQ(firmware::readInteger(c.value), c.integer);
  }
}

QStringList versions(const CatalogueAnswer& answer) {
  QStringList out;
  for (const CameraFirmwareInfoPtr& e : answer.entries) out.append(e->version.value_or(QStringLiteral("<none>")));
  return out;
}

TEST(CatalogueAnswer, OrderAcceptanceStopAndWarning) {
  const QJsonValue missing(QJsonValue::Undefined);
  const QByteArray worked = catalogueJson({{"1.0.1", 10}, {"1.1.0", 10}, {"1.0.2", 10}});
  struct Case {
    const char* name;
    QByteArray body;
    std::optional<QString> camera;
    QStringList listed;
    bool warning;
  };
  const Case cases[] = {
      {"camera in the middle", worked, QStringLiteral("1.0.2"), {QStringLiteral("1.1.0"), QStringLiteral("1.0.2")}, false},
      {"camera at the newest", worked, QStringLiteral("1.1.0"), {QStringLiteral("1.1.0")}, true},
      {"camera older than all", worked, QStringLiteral("0.9.0"),
       {QStringLiteral("1.1.0"), QStringLiteral("1.0.2"), QStringLiteral("1.0.1")}, false},
      {"no camera version", worked, std::nullopt,
       {QStringLiteral("1.1.0"), QStringLiteral("1.0.2"), QStringLiteral("1.0.1")}, false},
      {"numeric order", catalogueJson({{"1.9", 1}, {"1.10", 1}, {"2.0", 1}}), QStringLiteral("1.9"),
       {QStringLiteral("2.0"), QStringLiteral("1.10"), QStringLiteral("1.9")}, false},
      {"digit runs before letter runs", catalogueJson({{"1.9", 1}, {"1.10", 1}, {"1.2a", missing}}),
       QStringLiteral("1.9"), {QStringLiteral("1.10"), QStringLiteral("1.9")}, false},
      {"rejected own version does not stop the list",
       catalogueJson({{"1.2", 5}, {"1.1", 0}, {"1.0", 5}}), QStringLiteral("1.1"),
       {QStringLiteral("1.2"), QStringLiteral("1.0")}, false},
      {"warning for a rejected newest version", catalogueJson({{"1.2", missing}, {"1.1", 5}}), QStringLiteral("1.2"),
       {QStringLiteral("1.1")}, true},
      {"sizes: text, negative, not a number, fraction",
       catalogueJson({{"1.4", QStringLiteral("1024")}, {"1.3", -1}, {"1.2", QStringLiteral("big")}, {"1.1", 0.5},
                  {"1.0", true}}),
       std::nullopt, {QStringLiteral("1.4"), QStringLiteral("1.0")}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CatalogueAnswer answer =
        firmware::readCatalogueAnswer({200, c.body, "application/json; charset=utf-8"}, c.camera);
    ASSERT_EQ(answer.outcome, Outcome::Catalogue);
    EXPECT_EQ(versions(answer), c.listed);
    EXPECT_TRUE(answer.hasVersions);
    EXPECT_EQ(answer.showWarning, c.warning);
  }

  // An entry carries all five fields, its size looked up by file name.
  const CatalogueAnswer one =
      firmware::readCatalogueAnswer({200, catalogueJson({{"1.4", QStringLiteral("1024")}}), {}}, std::nullopt);
  ASSERT_EQ(one.entries.size(), 1);
  const CameraFirmwareInfo& e = *one.entries.first();
  EXPECT_EQ(e.fileName, QStringLiteral("TavoQuill_1.4.dmg"));
  EXPECT_EQ(e.fileSize, 1024);
  EXPECT_EQ(e.downloadLink, QStringLiteral("https://example.invalid/TavoQuill_1.4.dmg"));
  EXPECT_EQ(e.description, QStringLiteral("Notes for 1.4"));
}

TEST(CatalogueAnswer, MalformedAnswersTable) {
  struct Case {
    const char* name;
    std::optional<int> status;
    QByteArray body;
    QByteArray contentType;
    Outcome outcome;
    QString message;
  };
  const QByteArray good = catalogueJson({{"1.0", 1}});
  const Case cases[] = {
      {"no response", std::nullopt, good, {}, Outcome::NoInternet, {}},
      {"404 with a catalogue", 404, good, {}, Outcome::NoInternet, {}},
      {"500 with a catalogue", 500, good, {}, Outcome::NoInternet, {}},
      {"empty body", 200, {}, {}, Outcome::NoInternet, {}},
      {"not JSON", 200, "<html>busy</html>", {}, Outcome::NoInternet, {}},
      {"truncated JSON", 200, good.left(good.size() / 2), {}, Outcome::NoInternet, {}},
      {"top-level scalar", 200, "\"ok\"", {}, Outcome::NoInternet, {}},
      {"deeply nested", 200, QByteArray(100000, '['), {}, Outcome::NoInternet, {}},
      {"not UTF-8", 200, "{\"error_msg\":\"ok\xff\"}", {}, Outcome::NoInternet, {}},
      {"not UTF-8 as declared", 200, "{\"error_msg\":\"\xc3\"}", "application/json; charset=utf-8", Outcome::NoInternet,
       {}},
      {"declared Latin-1", 200, "{\"error_msg\":\"caf\xe9\"}", "application/json; charset=\"ISO-8859-1\"",
       Outcome::ServiceError, QStringLiteral("caf\u00e9")},
      {"top-level array", 200, "[{\"error_msg\":\"ok\"}]", {}, Outcome::ServiceError, {}},
      {"empty object", 200, "{}", {}, Outcome::ServiceError, {}},
      {"service message", 200, "{\"error_msg\":\"No firmware for <b>this</b> model\"}", {}, Outcome::ServiceError,
       QStringLiteral("No firmware for <b>this</b> model")},
      {"message of another type", 200, "{\"error_msg\":404}", {}, Outcome::ServiceError, QStringLiteral("404")},
      {"ok in other case", 200, "{\"error_msg\":\"OK\"}", {}, Outcome::ServiceError, QStringLiteral("OK")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CatalogueAnswer answer = firmware::readCatalogueAnswer({c.status, c.body, c.contentType}, QStringLiteral("1.0"));
    EXPECT_EQ(answer.outcome, c.outcome);
    EXPECT_EQ(answer.message, c.message);
    EXPECT_TRUE(answer.entries.isEmpty() || c.outcome == Outcome::Catalogue);
  }
}

TEST(CatalogueAnswer, ListsOfTheWrongShapeGiveNoEntries) {
  struct Case {
    const char* name;
    const char* body;
    bool hasVersions;
    bool warning;  // the camera runs "1"
  };
  const Case cases[] = {
      {"links missing", R"({"error_msg":"ok"})", false, false},
      {"links a text", R"({"error_msg":"ok","download_link_data":"1"})", false, false},
      {"links a number", R"({"error_msg":"ok","download_link_data":1})", false, false},
      {"links empty", R"({"error_msg":"ok","download_link_data":{}})", false, false},
      // Positions "1" and "0" stand in as keys; looked up in an array they are missing.
      {"links an array", R"({"error_msg":"ok","download_link_data":["a","b"],"firmware_file_info":["f","g"]})", true,
       true},
      {"other maps arrays",
       R"({"error_msg":"ok","download_link_data":{"1.0":"l"},"firmware_file_info":["f"],"firmware_description":{"1.0":"d"},"firmware_file_name_info":{"f":5}})",
       true, false},
      {"size keyed by version",
       R"({"error_msg":"ok","download_link_data":{"1.0":"l"},"firmware_file_info":{"1.0":"f"},"firmware_description":{"1.0":"d"},"firmware_file_name_info":{"1.0":5}})",
       true, false},
      {"empty description",
       R"({"error_msg":"ok","download_link_data":{"1.0":"l"},"firmware_file_info":{"1.0":"f"},"firmware_description":{"1.0":""},"firmware_file_name_info":{"f":5}})",
       true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CatalogueAnswer answer = firmware::readCatalogueAnswer({200, QByteArray(c.body), {}}, QStringLiteral("1"));
    EXPECT_EQ(answer.outcome, Outcome::Catalogue);
    EXPECT_TRUE(answer.entries.isEmpty());
    EXPECT_EQ(answer.hasVersions, c.hasVersions);
    EXPECT_EQ(answer.showWarning, c.warning);
  }
}

TEST(FirmwareInfoUrl, BuildsTheAddressFromItsParts) {
  struct Case {
    QString base;
    std::optional<QString> name;
    std::optional<QString> version;
    QByteArray url;  // empty: invalid
  };
  const Case cases[] = {
      {QStringLiteral("https://fw.example.com"), QStringLiteral("Tavo ~Quill?"), QStringLiteral("1.0.2"),
       "https://fw.example.com/tavoinfo/downlink?model=VGF2byB+UXVpbGw/&os=mac&currentver=1.0.2"},
      {QStringLiteral("https://fw.example.com/api/"), QStringLiteral("Tavo Quill"), QStringLiteral("1.0 beta&x=y#z+"),
       "https://fw.example.com/api/tavoinfo/downlink?model=VGF2byBRdWlsbA==&os=mac&currentver=1.0%20beta%26x%3Dy%23z%2B"},
      {QStringLiteral("http://127.0.0.1:8471"), std::nullopt, std::nullopt,
       "http://127.0.0.1:8471/tavoinfo/downlink?model=&os=mac&currentver="},
      {QString(), QStringLiteral("Tavo Quill"), QStringLiteral("1.0"), {}},
      {QStringLiteral("fw.example.com"), QStringLiteral("Tavo Quill"), QStringLiteral("1.0"), {}},
      {QStringLiteral("file:///etc"), QStringLiteral("Tavo Quill"), QStringLiteral("1.0"), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.base.toStdString());
    const QUrl url = firmware::firmwareInfoUrl(c.base, c.name, c.version);
    EXPECT_EQ(url.isValid(), !c.url.isEmpty());
    if (url.isValid()) {
      EXPECT_EQ(url.toEncoded(), c.url);
    }
  }
}

}  // namespace
