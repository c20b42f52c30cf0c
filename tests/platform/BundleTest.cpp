#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/Bundle.h"
#include "platform/ToolkitTexts.h"
#include "platform/UserDefaults.h"

#include "support/TestFiles.h"

namespace {

using testing_support::storeLanguages;
using testing_support::writeFile;

// A resource folder of its own with English and Korean tables, and defaults in a temp INI.
class BundleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(root_.isValid());
    originalMain_ = platform::Bundle::main().bundlePath();
    writeFile(path("en.lproj/Localizable.strings"),
              "\"greeting\" = \"Hello\";\n\"only_en\" = \"English only\";");
    writeFile(path("ko.lproj/Localizable.strings"), "\"greeting\" = \"안녕하세요\";");
    writeFile(path("ko.lproj/Other.strings"), "\"greeting\" = \"다른 표\";");
    platform::Bundle::setMainPath(root_.path());
    platform::UserDefaults::setStoragePath(path("defaults.ini"));
    platform::UserDefaults::setSystemLanguages(QStringList{QStringLiteral("fr-FR")});
  }
  void TearDown() override {
    platform::Bundle::setMainPath(originalMain_);
    platform::UserDefaults::setStoragePath({});
    platform::UserDefaults::setSystemLanguages(std::nullopt);
  }

  QString path(const QString& relative) const { return QDir(root_.path()).filePath(relative); }
  static QString greeting() { return platform::localizedString(QStringLiteral("greeting")); }

  QTemporaryDir root_;
  QString originalMain_;
};

TEST_F(BundleTest, FollowsPreferredLanguagesInOrder) {
  struct Case {
    const char* name;
    std::optional<QStringList> stored;
    QStringList system;
    QString expected;
  };
  const QString en = QStringLiteral("Hello");
  const QString ko = QStringLiteral("안녕하세요");
  const std::vector<Case> cases = {
      {"stored ko", QStringList{"ko"}, {"en"}, ko},
      {"region falls back to the language", QStringList{"ko-KR"}, {"en"}, ko},
      {"first language with a folder wins", QStringList{"fr", "ko", "en"}, {"en"}, ko},
      {"stored order, not folder order", QStringList{"en", "ko"}, {"ko"}, en},
      {"system languages when none stored", std::nullopt, {"ko-KR", "en"}, ko},
      {"English when no list at all", std::nullopt, {}, en},
      {"English when no preferred language has a folder", QStringList{"fr", "de"}, {}, en},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    storeLanguages(c.stored);
    platform::UserDefaults::setSystemLanguages(c.system);
    EXPECT_EQ(greeting(), c.expected);
    EXPECT_EQ(platform::Bundle::main().localizationInUse(),
              c.expected == ko ? QStringLiteral("ko") : QStringLiteral("en"));
  }
}

TEST_F(BundleTest, MissingKeyGivesValueOrKey) {
  storeLanguages(QStringList{"ko"});
  auto& bundle = platform::Bundle::main();
  // The chosen folder answers alone: another language's table is not searched.
  EXPECT_EQ(bundle.localizedString(QStringLiteral("only_en")), QStringLiteral("only_en"));
  EXPECT_EQ(bundle.localizedString(QStringLiteral("missing"), QStringLiteral("fallback")),
            QStringLiteral("fallback"));
  EXPECT_EQ(bundle.localizedString(QStringLiteral("greeting"), {}, QStringLiteral("Other")),
            QStringLiteral("다른 표"));
  EXPECT_EQ(bundle.localizedString(QStringLiteral("greeting"), {}, QStringLiteral("NoSuchTable")),
            QStringLiteral("greeting"));
}

TEST_F(BundleTest, LanguageBundleAnswersFirst) {
  storeLanguages(QStringList{"en"});
  auto& bundle = platform::Bundle::main();
  bundle.setLanguageBundle(std::make_shared<const platform::Bundle>(path("ko.lproj")));
  EXPECT_EQ(greeting(), QStringLiteral("안녕하세요"));
  EXPECT_EQ(bundle.localizationInUse(), QStringLiteral("ko"));
  // Keys the language bundle lacks are not taken from elsewhere.
  EXPECT_EQ(platform::localizedString(QStringLiteral("only_en")), QStringLiteral("only_en"));
  bundle.setLanguageBundle(nullptr);
  EXPECT_EQ(greeting(), QStringLiteral("Hello"));
}

TEST_F(BundleTest, SetMainPathDropsLanguageBundle) {
  storeLanguages(QStringList{"en"});
  platform::Bundle::main().setLanguageBundle(std::make_shared<const platform::Bundle>(path("ko.lproj")));
  platform::Bundle::setMainPath(root_.path());
  EXPECT_EQ(platform::Bundle::main().languageBundle(), nullptr);
  EXPECT_EQ(greeting(), QStringLiteral("Hello"));
}

TEST_F(BundleTest, ConcurrentLookupsWhileLanguageChanges) {
  storeLanguages(QStringList{"en"});
  auto& bundle = platform::Bundle::main();
  const auto korean = std::make_shared<const platform::Bundle>(path("ko.lproj"));
  std::atomic<bool> bad{false};
  std::vector<std::thread> readers;
  for (int t = 0; t < 4; ++t) {
    readers.emplace_back([&] {
      for (int i = 0; i < 300; ++i) {
        const QString text = platform::localizedString(QStringLiteral("greeting"));
        if (text != QStringLiteral("Hello") && text != QStringLiteral("안녕하세요")) bad = true;
      }
    });
  }
  for (int i = 0; i < 300; ++i) bundle.setLanguageBundle(i % 2 ? nullptr : korean);
  for (auto& r : readers) r.join();
  EXPECT_FALSE(bad);
}

TEST_F(BundleTest, InfoDictionaryAndResources) {
  auto& bundle = platform::Bundle::main();
  EXPECT_FALSE(bundle.hasInfoDictionary());
  EXPECT_EQ(bundle.infoValue(QStringLiteral("CFBundleName")), std::nullopt);

  writeFile(path("Info.ini"),
            "CFBundleName=Ravlio\nFirmwareServiceURL=http://127.0.0.1:8471\nEmpty=\n"
            "Listed=one, two\n[Other]\nCFBundleIdentifier=not.top.level\n");
  EXPECT_TRUE(bundle.hasInfoDictionary());
  EXPECT_EQ(bundle.infoValue(QStringLiteral("CFBundleName")), QStringLiteral("Ravlio"));
  EXPECT_EQ(bundle.infoValue(QStringLiteral("FirmwareServiceURL")),
            QStringLiteral("http://127.0.0.1:8471"));
  EXPECT_EQ(bundle.infoValue(QStringLiteral("Empty")), QString());
  EXPECT_EQ(bundle.infoValue(QStringLiteral("Listed")), QStringLiteral("one, two"));
  EXPECT_EQ(bundle.infoValue(QStringLiteral("CFBundleIdentifier")), std::nullopt);

  EXPECT_EQ(bundle.pathForResource(QStringLiteral("ko"), QStringLiteral("lproj")),
            QFileInfo(path("ko.lproj")).absoluteFilePath());
  EXPECT_EQ(bundle.pathForResource(QStringLiteral("ja"), QStringLiteral("lproj")), QString());
  EXPECT_EQ(bundle.pathForResource(QStringLiteral("Info.ini"), {}), QFileInfo(path("Info.ini")).absoluteFilePath());
  EXPECT_EQ(bundle.localizations(), (QStringList{"en", "ko"}));
}

TEST_F(BundleTest, ImagesByName) {
  writeFile(path("images/icon_square.svg"),
            R"(<svg xmlns="http://www.w3.org/2000/svg" width="40" height="20">)"
            R"(<rect width="40" height="20" fill="#ff0000"/></svg>)");
  QImage png(8, 6, QImage::Format_ARGB32);
  png.fill(Qt::green);
  QDir().mkpath(path("images"));
  ASSERT_TRUE(png.save(path("images/img_only_png.png")));
  writeFile(path("images/img_both.png"), "not an image");
  writeFile(path("images/img_both.svg"),
            R"(<svg xmlns="http://www.w3.org/2000/svg" width="10" height="10"/>)");

  const qreal ratio = qGuiApp->devicePixelRatio();
  const QPixmap own = platform::imageNamed(QStringLiteral("icon_square"));
  ASSERT_FALSE(own.isNull());
  EXPECT_EQ(own.deviceIndependentSize().toSize(), QSize(40, 20));
  EXPECT_EQ(own.size(), QSize(40, 20) * ratio);
  EXPECT_EQ(own.toImage().pixelColor(own.width() / 2, own.height() / 2), QColor(Qt::red));

  const QPixmap scaled = platform::imageNamed(QStringLiteral("icon_square"), QSize(80, 40));
  EXPECT_EQ(scaled.deviceIndependentSize().toSize(), QSize(80, 40));

  EXPECT_EQ(platform::imageNamed(QStringLiteral("img_only_png")).size(), QSize(8, 6));
  EXPECT_EQ(platform::imageNamed(QStringLiteral("img_both")).deviceIndependentSize().toSize(), QSize(10, 10));
  EXPECT_TRUE(platform::imageNamed(QStringLiteral("img_missing")).isNull());
}

// Defaults read back from the file, as the next start sees them.
TEST_F(BundleTest, UserDefaultsRoundTrip) {
  auto& defaults = platform::UserDefaults::standard();
  const QString key = QStringLiteral("AppleLanguages");
  platform::UserDefaults::setSystemLanguages(QStringList{"de-DE", "de"});
  EXPECT_EQ(defaults.arrayForKey(key), (QStringList{"de-DE", "de"}));
  EXPECT_EQ(defaults.arrayForKey(QStringLiteral("OtherList")), std::nullopt);

  struct Case {
    const char* name;
    QStringList stored;
  };
  for (const Case& c : {Case{"one code", {"ko"}}, Case{"two codes", {"ko", "en"}}, Case{"empty", {}}}) {
    SCOPED_TRACE(c.name);
    defaults.setObject(key, c.stored);
    defaults.setBool(QStringLiteral("Flag"), true);
    defaults.synchronize();
    platform::UserDefaults::setStoragePath(path("defaults.ini"));  // reopen from disk
    EXPECT_EQ(defaults.arrayForKey(key), c.stored);
    EXPECT_TRUE(defaults.boolForKey(QStringLiteral("Flag")));
  }
  defaults.setBool(QStringLiteral("Flag"), false);
  defaults.synchronize();
  platform::UserDefaults::setStoragePath(path("defaults.ini"));
  EXPECT_FALSE(defaults.boolForKey(QStringLiteral("Flag")));
  EXPECT_TRUE(defaults.objectForKey(QStringLiteral("Flag")).has_value());
  defaults.removeObject(key);
  EXPECT_EQ(defaults.arrayForKey(key), (QStringList{"de-DE", "de"}));
  EXPECT_FALSE(defaults.boolForKey(QStringLiteral("NeverStored")));
}

// Qt's own dialogs (the folder panel) speak the display language too; English is their own.
TEST(ToolkitTexts, FollowTheDisplayLanguage) {
  const auto lookIn = [] { return QCoreApplication::translate("QFileDialog", "Look in:"); };
  // The folder list's type, which Qt's translations lack, comes from our own table.
  const auto folder = [] { return QCoreApplication::translate("QAbstractFileIconProvider", "Folder"); };
  platform::useToolkitTexts(QStringLiteral("ko"));
  const QString korean = lookIn();
  EXPECT_NE(korean, QStringLiteral("Look in:"));
  EXPECT_EQ(folder(), QStringLiteral("폴더"));
  platform::useToolkitTexts(QStringLiteral("en"));
  EXPECT_EQ(lookIn(), QStringLiteral("Look in:"));
  EXPECT_EQ(folder(), QStringLiteral("Folder"));
  platform::useToolkitTexts(QStringLiteral("ko-KR"));
  EXPECT_EQ(lookIn(), korean);
  EXPECT_EQ(folder(), QStringLiteral("폴더"));
  platform::useToolkitTexts(QStringLiteral("xx"));  // no translation: English
  EXPECT_EQ(lookIn(), QStringLiteral("Look in:"));
  EXPECT_EQ(folder(), QStringLiteral("Folder"));
}

}  // namespace
