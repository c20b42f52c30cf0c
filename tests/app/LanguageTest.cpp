#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <QFileInfo>

#include <QSet>

#include <QRegularExpression>

#include <cstdio>
#include <vector>

#include "app/Language.h"
#include "platform/Bundle.h"
#include "platform/StringsFile.h"
#include "platform/UserDefaults.h"

#include "support/TestFiles.h"

namespace {

using testing_support::writeFile;

// A resource folder with English, Korean and Hong Kong Chinese tables; defaults in a temp INI.
class LanguageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(root_.isValid());
    originalMain_ = platform::Bundle::main().bundlePath();
    writeFile(path("en.lproj/Localizable.strings"), "\"next\" = \"Next\";");
    writeFile(path("ko.lproj/Localizable.strings"), "\"next\" = \"다음\";");
    writeFile(path("zh-HK.lproj/Localizable.strings"), "\"next\" = \"下一步\";");
    platform::Bundle::setMainPath(root_.path());
    platform::UserDefaults::setStoragePath(path("defaults.ini"));
    platform::UserDefaults::setSystemLanguages(QStringList{QStringLiteral("en-US")});
  }
  void TearDown() override {
    platform::Bundle::setMainPath(originalMain_);
    platform::UserDefaults::setStoragePath({});
    platform::UserDefaults::setSystemLanguages(std::nullopt);
  }

  QString path(const QString& relative) const { return QDir(root_.path()).filePath(relative); }
  static std::optional<QStringList> storedLanguages() {
    return platform::UserDefaults::standard().arrayForKey(QStringLiteral("AppleLanguages"));
  }
  static std::optional<QVariant> storedRightToLeft() {
    return platform::UserDefaults::standard().objectForKey(
        QStringLiteral("NSForceRightToLeftWritingDirection"));
  }
  static QString next() { return platform::localizedString(QStringLiteral("next")); }
  // setLanguage with its standard output captured.
  static std::string setLanguageCapturing(const Language& language) {
    std::fflush(stdout);
    ::testing::internal::CaptureStdout();
    setLanguage(language);
    return ::testing::internal::GetCapturedStdout();
  }

  QTemporaryDir root_;
  QString originalMain_;
};

TEST(LanguageValue, ComparesByCaseAndVariant) {
  EXPECT_EQ(Language::english(Language::English::us), Language::english(Language::English::us));
  EXPECT_NE(Language::english(Language::English::us), Language::english(Language::English::uk));
  EXPECT_NE(Language::chinese(Language::Chinese::hongKong), Language::chinese(Language::Chinese::traditional));
  EXPECT_NE(Language::korean(), Language::japanese());
}

TEST_F(LanguageTest, StoresCodeLeftToRightAndAttachesFolder) {
  using E = Language::English;
  using C = Language::Chinese;
  struct Case {
    Language language;
    QString code;
    QString next;  // empty: no such folder, lookups stay where they were
  };
  const std::vector<Case> cases = {
      {Language::english(E::us), "en", "Next"},
      {Language::english(E::uk), "en-GB", {}},
      {Language::english(E::australian), "en-AU", {}},
      {Language::english(E::canadian), "en-CA", {}},
      {Language::english(E::indian), "en-IN", {}},
      {Language::chinese(C::simplified), "zh-Hans", {}},
      {Language::chinese(C::traditional), "zh-Hant", {}},
      {Language::chinese(C::hongKong), "zh-HK", QStringLiteral("下一步")},
      {Language::korean(), "ko", QStringLiteral("다음")},
      {Language::japanese(), "ja", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code.toStdString());
    EXPECT_EQ(c.language.code(), c.code);
    const QString before = next();
    const std::string out = setLanguageCapturing(c.language);
    EXPECT_EQ(storedLanguages(), QStringList{c.code});
    ASSERT_TRUE(storedRightToLeft().has_value());
    EXPECT_FALSE(storedRightToLeft()->toBool());
    if (c.next.isEmpty()) {
      EXPECT_EQ(out, " Failed to get a bundle path.\n");
      EXPECT_EQ(next(), before);
    } else {
      EXPECT_EQ(out, "");
      EXPECT_EQ(next(), c.next);
    }
  }
}

TEST_F(LanguageTest, SecondChoiceReplacesTheFirst) {
  setLanguage(Language::korean());
  EXPECT_EQ(next(), QStringLiteral("다음"));
  setLanguage(Language::english(Language::English::us));
  EXPECT_EQ(next(), QStringLiteral("Next"));
  EXPECT_EQ(storedLanguages(), QStringList{QStringLiteral("en")});
  // Stored on disk, for the next start.
  platform::UserDefaults::setStoragePath(path("defaults.ini"));
  EXPECT_EQ(storedLanguages(), QStringList{QStringLiteral("en")});
}

// The chosen folder answers even when the stored or system languages say otherwise.
TEST_F(LanguageTest, LanguageBundleBeatsOtherPreferences) {
  setLanguage(Language::korean());
  platform::UserDefaults::standard().setObject(QStringLiteral("AppleLanguages"), QStringList{"en"});
  EXPECT_EQ(next(), QStringLiteral("다음"));
}

TEST_F(LanguageTest, MissingFolderKeepsEarlierLanguageBundle) {
  setLanguage(Language::korean());
  const std::string out = setLanguageCapturing(Language::japanese());
  EXPECT_EQ(out, " Failed to get a bundle path.\n");
  EXPECT_EQ(storedLanguages(), QStringList{QStringLiteral("ja")});
  EXPECT_EQ(next(), QStringLiteral("다음"));
}

TEST_F(LanguageTest, FolderThatIsNotABundleDetaches) {
  setLanguage(Language::korean());
  writeFile(path("ja.lproj"), "a file, not a folder");
  const std::string out = setLanguageCapturing(Language::japanese());
  EXPECT_EQ(out, "");
  EXPECT_EQ(platform::Bundle::main().languageBundle(), nullptr);
  // Back to the normal lookup: "ja" has no folder, so English answers.
  EXPECT_EQ(next(), QStringLiteral("Next"));
}

// The tables the program ships: both parse, and both languages know the same keys.
TEST(ShippedTables, ParseAndAgree) {
  auto load = [](const char* code) {
    QFile f(QDir(QStringLiteral(RAVLIO_SOURCE_RESOURCES))
                .filePath(QStringLiteral("%1.lproj/Localizable.strings").arg(QLatin1StringView(code))));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << code;
    return platform::parseStringsFile(f.readAll());
  };
  const auto en = load("en");
  const auto ko = load("ko");
  ASSERT_TRUE(en.has_value());
  ASSERT_TRUE(ko.has_value());
  // Every key the scenes and the code look up: the scenes' translatable texts, and the literals
  // inside each localizedString( ... ) call of the application's sources.
  QSet<QString> used;
  const QDir root(QStringLiteral(RAVLIO_SOURCE_RESOURCES));
  const QRegularExpression sceneText(QStringLiteral("<string>([a-z0-9_]+)</string>"));
  for (const QFileInfo& ui : QDir(root.filePath(QStringLiteral("ui"))).entryInfoList({QStringLiteral("*.ui")})) {
    QFile f(ui.filePath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    for (const auto& m : sceneText.globalMatch(text)) used.insert(m.captured(1));
  }
  const QRegularExpression literal(QStringLiteral("QStringLiteral\\(\"([a-z0-9_]+)\"\\)"));
  QFileInfoList cppFiles;
  for (const char* folder : {"../app", "../firmware"}) {
    QDir sources(root);
    ASSERT_TRUE(sources.cd(QString::fromLatin1(folder)));
    cppFiles += sources.entryInfoList({QStringLiteral("*.cpp")});
  }
  for (const QFileInfo& cpp : cppFiles) {
    QFile f(cpp.filePath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    for (qsizetype at = text.indexOf(QStringLiteral("localizedString(")); at >= 0;
         at = text.indexOf(QStringLiteral("localizedString("), at + 1)) {
      const QString call = text.mid(at, text.indexOf(QLatin1Char(';'), at) - at);
      for (const auto& m : literal.globalMatch(call)) used.insert(m.captured(1));
    }
  }
  EXPECT_TRUE(used.contains(QStringLiteral("program_initialization_failed")));  // the scan finds keys at all
  for (const QString& key : used) {
    EXPECT_TRUE(en->contains(key)) << "en lacks " << key.toStdString();
    EXPECT_TRUE(ko->contains(key)) << "ko lacks " << key.toStdString();
  }
  for (auto it = en->constBegin(); it != en->constEnd(); ++it) {
    EXPECT_TRUE(ko->contains(it.key())) << "ko lacks " << it.key().toStdString();
    EXPECT_FALSE(it.value().isEmpty()) << it.key().toStdString();
  }
  for (auto it = ko->constBegin(); it != ko->constEnd(); ++it) {
    EXPECT_TRUE(en->contains(it.key())) << "en lacks " << it.key().toStdString();
    EXPECT_FALSE(it.value().isEmpty()) << it.key().toStdString();
  }
}

}  // namespace
