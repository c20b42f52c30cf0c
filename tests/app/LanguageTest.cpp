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
#include "app/SetupGuideViewController.h"
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

// The tables the program ships: both parse, both languages know the same keys, every key the
// program looks up is in both, and every image it names is in the images folder.
TEST(ShippedTables, ParseAndAgree) {
  const QDir root(QStringLiteral(RAVLIO_SOURCE_RESOURCES));
  auto load = [&](const char* code) {
    QFile f(root.filePath(QStringLiteral("%1.lproj/Localizable.strings").arg(QLatin1StringView(code))));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << code;
    return platform::parseStringsFile(f.readAll());
  };
  const auto en = load("en");
  const auto ko = load("ko");
  ASSERT_TRUE(en.has_value());
  ASSERT_TRUE(ko.has_value());

  // Keys: the scenes' translatable texts, and every literal in the application's sources that is
  // written like a key (lower case words joined by "_"), wherever it stands: inside the lookup
  // call, in a table of looks or pages, in a constant. Images: every literal that begins with
  // "img_" or "icon_". The firmware catalogue's sources are left out: their literals are the
  // service answer's field names.
  QSet<QString> used;
  QSet<QString> images;
  const QRegularExpression sceneText(QStringLiteral("<string>([a-z0-9_]+)</string>"));
  for (const QFileInfo& ui : QDir(root.filePath(QStringLiteral("ui"))).entryInfoList({QStringLiteral("*.ui")})) {
    QFile f(ui.filePath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    for (const auto& m : sceneText.globalMatch(text)) used.insert(m.captured(1));
  }
  const QRegularExpression lineComment(QStringLiteral("(^|\\s)//[^\\n]*"));
  const QRegularExpression literal(QStringLiteral("\"(?:images/)?([a-z][a-z0-9]*(?:_[a-z0-9]+)+)\""));
  QFileInfoList sourceFiles;
  for (const char* folder : {"../app", "../firmware"}) {
    QDir sources(root);
    ASSERT_TRUE(sources.cd(QString::fromLatin1(folder)));
    sourceFiles += sources.entryInfoList({QStringLiteral("*.cpp"), QStringLiteral("*.h")});
  }
  for (const QFileInfo& file : sourceFiles) {
    if (file.baseName() == QLatin1StringView("FirmwareCatalogue")) continue;
    QFile f(file.filePath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll()).remove(lineComment);
    for (const auto& m : literal.globalMatch(text)) {
      const QString name = m.captured(1);
      if (name.startsWith(QLatin1StringView("img_")) || name.startsWith(QLatin1StringView("icon_"))) {
        images.insert(name);
      } else {
        used.insert(name);
      }
    }
  }
  // The guide's pages 3 and 4 name their pictures through a key: each language's picture.
  for (const SetupGuideViewController::PageSpec& page : SetupGuideViewController::pageTable()) {
    EXPECT_TRUE(used.contains(page.textKey)) << page.textKey.toStdString();
    if (!page.imageNameIsKey) continue;
    for (const auto* table : {&*en, &*ko}) {
      if (table->contains(page.image)) images.insert(table->value(page.image));
    }
  }
  // The scan reaches the lookup calls and the tables alike.
  for (const char* key : {"program_initialization_failed", "copy_firmware_fail_content1", "setup_guide_count_step3_image"}) {
    EXPECT_TRUE(used.contains(QString::fromLatin1(key))) << key;
  }
  for (const char* image : {"img_firmware_file_copy_fail", "img_update_guide_01", "img_update_guide_03_ko"}) {
    EXPECT_TRUE(images.contains(QString::fromLatin1(image))) << image;
  }

  for (const QString& key : used) {
    EXPECT_TRUE(en->contains(key)) << "en lacks " << key.toStdString();
    EXPECT_TRUE(ko->contains(key)) << "ko lacks " << key.toStdString();
  }
  const QDir imagesFolder(root.filePath(QStringLiteral("images")));
  for (const QString& image : images) {
    EXPECT_TRUE(imagesFolder.exists(image + QStringLiteral(".svg")) || imagesFolder.exists(image + QStringLiteral(".png")))
        << "no image " << image.toStdString();
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
