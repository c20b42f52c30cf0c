#pragma once

#include <QString>

#include <memory>

class QThread;

// One font family per display language for the whole application; the scenes give the sizes
// and weights.
namespace typography {

// The family for a localisation code: Korean text in the Korean cut of the CJK family, whose
// Latin letters then match it; every other language in the Latin family.
[[nodiscard]] QString fontFamilyFor(const QString& localization);

// Makes the family of the language that answers lookups now the application font, so every
// screen built from here on takes it. Main thread.
void applyApplicationFont();

// Reads the system's font list, and finds the fonts that the family falls back on for the
// first screen's texts, on a thread of its own while the main thread builds the window; text
// measured on the main thread meanwhile waits for it rather than doing the same work again.
// Made after the application object and gone before it (waits for the thread).
class FontPreload {
 public:
  explicit FontPreload(const QString& family);
  ~FontPreload();
  FontPreload(const FontPreload&) = delete;
  FontPreload& operator=(const FontPreload&) = delete;

 private:
  std::unique_ptr<QThread> thread_;
};

}  // namespace typography
