#include "platform/StringsFile.h"

#include <QStringDecoder>

namespace platform {
namespace {

// Turns the file's bytes into text by its byte-order mark (UTF-8 without one). Bytes that
// are not valid in their encoding make the whole file unreadable.
std::optional<QString> decode(const QByteArray& bytes) {
  QStringConverter::Encoding encoding = QStringConverter::Utf8;
  qsizetype skip = 0;
  if (bytes.startsWith("\xEF\xBB\xBF")) {
    skip = 3;
  } else if (bytes.startsWith("\xFF\xFE")) {
    encoding = QStringConverter::Utf16LE;
    skip = 2;
  } else if (bytes.startsWith("\xFE\xFF")) {
    encoding = QStringConverter::Utf16BE;
    skip = 2;
  }
  QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
  QString text = decoder.decode(QByteArrayView(bytes).sliced(skip));
  if (decoder.hasError()) return std::nullopt;
  return text;
}

bool isUnquotedChar(QChar c) {
  const char16_t u = c.unicode();
  return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
         u == '_' || u == '.' || u == '-' || u == '/' || u == ':';
}

int hexValue(QChar c) {
  const char16_t u = c.unicode();
  if (u >= '0' && u <= '9') return u - '0';
  if (u >= 'a' && u <= 'f') return u - 'a' + 10;
  if (u >= 'A' && u <= 'F') return u - 'A' + 10;
  return -1;
}

class Parser {
 public:
  explicit Parser(const QString& text) : text_(text) {}

  std::optional<QHash<QString, QString>> parse() {
    QHash<QString, QString> table;
    while (true) {
      if (!skipBlanks()) return std::nullopt;
      if (atEnd()) return table;
      auto key = token();
      if (!key || !skipBlanks() || !take('=') || !skipBlanks()) return std::nullopt;
      auto value = token();
      if (!value || !skipBlanks() || !take(';')) return std::nullopt;
      table.insert(*key, *value);  // a repeated key: the later entry wins
    }
  }

 private:
  [[nodiscard]] bool atEnd() const { return pos_ >= text_.size(); }
  [[nodiscard]] QChar peek(qsizetype ahead = 0) const {
    return pos_ + ahead < text_.size() ? text_.at(pos_ + ahead) : QChar();
  }

  bool take(char16_t c) {
    if (atEnd() || text_.at(pos_) != QChar(c)) return false;
    ++pos_;
    return true;
  }

  // Skips white space and comments; false for a comment that never ends.
  bool skipBlanks() {
    while (!atEnd()) {
      const QChar c = peek();
      if (c.isSpace()) {
        ++pos_;
      } else if (c == u'/' && peek(1) == u'*') {
        const qsizetype end = text_.indexOf(u"*/", pos_ + 2);
        if (end < 0) return false;
        pos_ = end + 2;
      } else if (c == u'/' && peek(1) == u'/') {
        const qsizetype end = text_.indexOf(u'\n', pos_ + 2);
        pos_ = end < 0 ? text_.size() : end + 1;
      } else {
        break;
      }
    }
    return true;
  }

  std::optional<QString> token() {
    if (peek() == u'"') return quoted();
    const qsizetype start = pos_;
    while (!atEnd() && isUnquotedChar(peek())) ++pos_;
    if (pos_ == start) return std::nullopt;
    return text_.mid(start, pos_ - start);
  }

  std::optional<QString> quoted() {
    ++pos_;  // the opening quote
    QString out;
    char16_t pendingHigh = 0;  // a \U high surrogate waiting for its low half
    auto flushPending = [&] {
      if (pendingHigh) out.append(QChar(QChar::ReplacementCharacter));
      pendingHigh = 0;
    };
    while (!atEnd()) {
      const QChar c = text_.at(pos_++);
      if (c == u'"') {
        flushPending();
        return out;
      }
      if (c != u'\\') {
        flushPending();
        out.append(c);
        continue;
      }
      if (atEnd()) return std::nullopt;
      const QChar e = text_.at(pos_++);
      if (e == u'U') {
        char16_t unit = 0;
        for (int i = 0; i < 4; ++i) {
          const int h = atEnd() ? -1 : hexValue(text_.at(pos_));
          if (h < 0) return std::nullopt;
          unit = char16_t(unit * 16 + h);
          ++pos_;
        }
        // Code units outside the BMP arrive as two escapes; a lone half is not text.
        if (QChar::isHighSurrogate(unit)) {
          flushPending();
          pendingHigh = unit;
        } else if (QChar::isLowSurrogate(unit)) {
          if (pendingHigh) {
            out.append(QChar(pendingHigh));
            out.append(QChar(unit));
            pendingHigh = 0;
          } else {
            out.append(QChar(QChar::ReplacementCharacter));
          }
        } else {
          flushPending();
          out.append(QChar(unit));
        }
        continue;
      }
      flushPending();
      switch (e.unicode()) {
        case 'n': out.append(u'\n'); break;
        case 't': out.append(u'\t'); break;
        case 'r': out.append(u'\r'); break;
        case '0': out.append(QChar(u'\0')); break;
        default: out.append(e); break;  // \" \\ \' and any other character stand for themselves
      }
    }
    return std::nullopt;  // the closing quote is missing
  }

  const QString& text_;
  qsizetype pos_ = 0;
};

}  // namespace

std::optional<QHash<QString, QString>> parseStringsFile(const QByteArray& bytes) {
  const auto text = decode(bytes);
  if (!text) return std::nullopt;
  return Parser(*text).parse();
}

}  // namespace platform
