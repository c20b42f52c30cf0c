#include <gtest/gtest.h>

#include <QPair>
#include <QString>

#include "platform/FileNames.h"

namespace {

// Names from a service or a camera become one path component, or nothing.
TEST(FileNames, PlainFileNameTable) {
  const QPair<QString, bool> cases[] = {
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
