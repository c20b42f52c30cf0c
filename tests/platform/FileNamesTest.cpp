#include <gtest/gtest.h>

#include <QPair>
#include <QString>

#include "platform/FileNames.h"

namespace {

// Names from a service or a camera become one path component, or nothing.
TEST(FileNames, PlainFileNameTable) {
  // The length limit is in UTF-8 bytes, not characters: "펌" takes three, "é" two.
  const QString longest = QString(83, QChar(0xD38C)) + QChar(0xE9) + QStringLiteral(".dmg");
  const QString tooLong = QString(84, QChar(0xD38C)) + QStringLiteral(".dmg");
  ASSERT_EQ(longest.toUtf8().size(), 255);
  ASSERT_EQ(tooLong.toUtf8().size(), 256);
  const QPair<QString, bool> cases[] = {
      {longest, true},
      {tooLong, false},
      {QString(255, u'a'), true},
      {QString(256, u'a'), false},
      {QStringLiteral("TavoQuill_FW120.dmg"), true},
      {QStringLiteral("name with blank.dmg"), true},
      {QStringLiteral(".dmg"), true},
      {QStringLiteral("펌웨어.dmg"), true},
      {QString(), false},
      {QStringLiteral("."), false},
      {QStringLiteral(".."), false},
      {QStringLiteral("../TavoQuill.dmg"), false},
      {QStringLiteral("a/b.dmg"), false},
      {QStringLiteral("/etc/passwd"), false},
      {QStringLiteral("a\\b.dmg"), false},
      {QStringLiteral("a\nb.dmg"), false},
      {QStringLiteral("a") + QChar(0x7F) + QStringLiteral(".dmg"), false},
      {QStringLiteral("a") + QChar(0x85) + QStringLiteral(".dmg"), false},
  };
  for (const auto& [name, plain] : cases) {
    SCOPED_TRACE(name.toStdString());
    EXPECT_EQ(platform::isPlainFileName(name), plain);
  }
}

}  // namespace
