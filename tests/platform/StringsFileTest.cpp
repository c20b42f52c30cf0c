#include <QStringEncoder>
#include <gtest/gtest.h>

#include <map>
#include <optional>

#include "platform/StringsFile.h"

namespace {

using Table = std::map<QString, QString>;

QByteArray utf16(const QString& text, QStringConverter::Encoding encoding) {
  QStringEncoder encoder(encoding, QStringConverter::Flag::WriteBom);
  return encoder.encode(text);
}

struct Case {
  const char* name;
  QByteArray bytes;
  std::optional<Table> expected;  // nothing: the file must not parse
};

TEST(StringsFile, ParsesOrRejects) {
  const QString korean = QStringLiteral("\"next\" = \"다음\";\n\"k\" = \"한국어\";");
  const Table koreanTable{{QStringLiteral("next"), QStringLiteral("다음")},
                          {QStringLiteral("k"), QStringLiteral("한국어")}};
  const std::vector<Case> cases = {
      {"one pair", "\"a\" = \"b\";", Table{{"a", "b"}}},
      {"empty file", "", Table{}},
      {"only comments and blanks", "/* x */\n// y\n  \t\r\n", Table{}},
      {"comments between every token",
       "/* head */ \"a\" /* k */ = // line\n \"b\" /* v */ ; // tail",
       Table{{"a", "b"}}},
      {"comment markers inside a string are text", "\"a\" = \"/* no */ // no\";",
       Table{{"a", "/* no */ // no"}}},
      {"escapes", R"("k" = "q\" b\\ n\n t\t r\r z\0.";)",
       Table{{"k", QString::fromUtf16(u"q\" b\\ n\n t\t r\r z") + QChar(u'\0') + u'.'}}},
      {"BMP code unit", R"("k" = "caf\U00E9";)", Table{{"k", QStringLiteral("café")}}},
      {"surrogate pair combines", R"("k" = "\UD83D\UDE00";)",
       Table{{"k", QString::fromUtf16(u"\U0001F600")}}},
      {"a lone surrogate is not kept", R"("k" = "a\UD83Db";)",
       Table{{"k", QString::fromUtf16(u"a\uFFFDb")}}},
      {"unquoted key and value", "key_1 = value.2;\nurl = http://h:1/p-q;",
       Table{{"key_1", "value.2"}, {"url", "http://h:1/p-q"}}},
      {"a repeated key keeps the later value", "\"a\" = \"1\"; \"a\" = \"2\";", Table{{"a", "2"}}},
      {"UTF-8 without a mark", korean.toUtf8(), koreanTable},
      {"UTF-8 with a mark", "\xEF\xBB\xBF" + korean.toUtf8(), koreanTable},
      {"UTF-16 LE with a mark", utf16(korean, QStringConverter::Utf16LE), koreanTable},
      {"UTF-16 BE with a mark", utf16(korean, QStringConverter::Utf16BE), koreanTable},
      {"missing semicolon", "\"a\" = \"b\"", std::nullopt},
      {"missing equals sign", "\"a\" \"b\";", std::nullopt},
      {"missing value", "\"a\" = ;", std::nullopt},
      {"unterminated string", "\"a\" = \"b;", std::nullopt},
      {"unterminated comment", "\"a\" = \"b\"; /* open", std::nullopt},
      {"short \\U escape", R"("a" = "\U12G4";)", std::nullopt},
      {"trailing garbage", "\"a\" = \"b\"; ??", std::nullopt},
      {"invalid UTF-8", "\"a\" = \"\xC3\x28\";", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto parsed = platform::parseStringsFile(c.bytes);
    ASSERT_EQ(parsed.has_value(), c.expected.has_value());
    if (!parsed) continue;
    const Table got(parsed->constKeyValueBegin(), parsed->constKeyValueEnd());
    EXPECT_EQ(got, *c.expected);
  }
}

}  // namespace
