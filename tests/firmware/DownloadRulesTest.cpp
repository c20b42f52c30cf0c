#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "firmware/DownloadRules.h"

namespace {

using namespace download_rules;

TEST(DownloadRules, DownloadLinkTable) {
  const QPair<QString, bool> cases[] = {
      {QStringLiteral("https://firmware.example.com/TavoQuill_FW120.dmg"), true},
      {QStringLiteral("HTTPS://firmware.example.com/a.dmg"), true},
      {QStringLiteral("http://127.0.0.1:8471/firmware/a.dmg"), true},
      {QStringLiteral("http://127.1.2.3/a.dmg"), true},
      {QStringLiteral("http://localhost:8471/a.dmg"), true},
      {QStringLiteral("http://[::1]:8471/a.dmg"), true},
      {QStringLiteral("http://firmware.example.com/a.dmg"), false},
      {QStringLiteral("http://127.0.0.1.example.com/a.dmg"), false},
      {QStringLiteral("http://10.0.0.1/a.dmg"), false},
      {QStringLiteral("ftp://firmware.example.com/a.dmg"), false},
      {QStringLiteral("file:///etc/passwd"), false},
      {QStringLiteral("/firmware/a.dmg"), false},
      {QStringLiteral("not a url"), false},
      {QString(), false},
  };
  for (const auto& [link, allowed] : cases) {
    SCOPED_TRACE(link.toStdString());
    EXPECT_EQ(downloadUrl(link).has_value(), allowed);
  }
}

TEST(DownloadRules, PercentTable) {
  const QPair<double, int> cases[] = {
      {0.0, 0},         {0.005, 0},     {0.5, 50},    {0.995, 99},    {0.999999, 99},
      {1.0, 100},       {1.03, 103},    {-0.2, 0},    {1e300, INT_MAX},
      {std::numeric_limits<double>::quiet_NaN(), 0},  {std::numeric_limits<double>::infinity(), 0},
      {-std::numeric_limits<double>::infinity(), 0},
  };
  for (const auto& [fraction, percent] : cases) {
    SCOPED_TRACE(fraction);
    EXPECT_EQ(percentFromFraction(fraction), percent);
  }
}

TEST(DownloadRules, WorkingFolderTable) {
  const QString caches = QStringLiteral("/home/u/.cache");
  const QString fallback = QStringLiteral("com.ravlio.updater");
  EXPECT_EQ(workingFolder(caches, QStringLiteral("org.example.app"), fallback), QStringLiteral("/home/u/.cache/org.example.app"));
  EXPECT_EQ(workingFolder(caches, QString(), fallback), QStringLiteral("/home/u/.cache/com.ravlio.updater"));
  EXPECT_EQ(workingFolder(caches, std::nullopt, fallback), workingFolder(caches, QString(), fallback));
  EXPECT_EQ(workingFolder(QString(), QStringLiteral("org.example.app"), fallback), std::nullopt);
}

TEST(DownloadRules, PathExtensionTable) {
  struct Case {
    QString name, withoutExtension, extension;
  };
  const Case cases[] = {
      {QStringLiteral("TavoQuill_FW120.dmg"), QStringLiteral("TavoQuill_FW120"), QStringLiteral("dmg")},
      {QStringLiteral("pkg.tar.dmg"), QStringLiteral("pkg.tar"), QStringLiteral("dmg")},
      {QStringLiteral("noext"), QStringLiteral("noext"), QString()},
      {QStringLiteral(".dmg"), QStringLiteral(".dmg"), QString()},
      {QStringLiteral("trailing."), QStringLiteral("trailing."), QString()},
      {QStringLiteral("/vol/a.b/TAVO.FIR"), QStringLiteral("/vol/a.b/TAVO"), QStringLiteral("FIR")},
      {QStringLiteral("/vol/a.b/noext"), QStringLiteral("/vol/a.b/noext"), QString()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name.toStdString());
    EXPECT_EQ(deletingPathExtension(c.name), c.withoutExtension);
    EXPECT_EQ(pathExtension(c.name), c.extension);
  }
}

}  // namespace
