#pragma once

#include <QString>

// A display language, with the regional variants of English and Chinese.
class Language {
 public:
  enum class Kind { english, chinese, korean, japanese };
  enum class English { us, uk, australian, canadian, indian };
  enum class Chinese { simplified, traditional, hongKong };

  [[nodiscard]] static Language english(English variant) { return Language(Kind::english, variant, {}); }
  [[nodiscard]] static Language chinese(Chinese variant) { return Language(Kind::chinese, {}, variant); }
  [[nodiscard]] static Language korean() { return Language(Kind::korean, {}, {}); }
  [[nodiscard]] static Language japanese() { return Language(Kind::japanese, {}, {}); }

  [[nodiscard]] Kind kind() const { return kind_; }
  // Meaningful only for the kind that carries it.
  [[nodiscard]] English englishVariant() const { return english_; }
  [[nodiscard]] Chinese chineseVariant() const { return chinese_; }

  // The language code: the stored "AppleLanguages" value and the name of the "<code>.lproj"
  // localisation folder.
  [[nodiscard]] QString code() const;

  friend bool operator==(const Language& a, const Language& b) {
    if (a.kind_ != b.kind_) return false;
    if (a.kind_ == Kind::english) return a.english_ == b.english_;
    if (a.kind_ == Kind::chinese) return a.chinese_ == b.chinese_;
    return true;
  }

 private:
  Language(Kind kind, English english, Chinese chinese)
      : kind_(kind), english_(english), chinese_(chinese) {}

  Kind kind_;
  English english_;
  Chinese chinese_;
};

// Routes every localised lookup of the main bundle through the chosen language's folder: the
// main bundle answers from its attached language bundle first.
class BundleExtension {
 public:
  BundleExtension() = delete;
  // Opens a bundle on `lprojPath` and attaches it to the main bundle, replacing any earlier
  // one; a path that is not a folder detaches the language bundle instead.
  static void attachLanguageBundle(const QString& lprojPath);
  // The attached language bundle's text when there is one, else the main bundle's own lookup.
  [[nodiscard]] static QString localizedStringForKey(const QString& key, const QString& value = {},
                                                     const QString& table = {});
};

// Stores the choice in the user defaults and applies it to every later localised lookup.
// Main thread.
void setLanguage(const Language& language);
