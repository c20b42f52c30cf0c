#pragma once

#include <QString>

// One font family per display language for the whole application; the scenes give the sizes
// and weights.
namespace typography {

// The family for a localisation code: Korean text in the Korean cut of the CJK family, whose
// Latin letters then match it; every other language in the Latin family.
[[nodiscard]] QString fontFamilyFor(const QString& localization);

// Makes the family of the language that answers lookups now the application font, so every
// screen built from here on takes it. Main thread.
void applyApplicationFont();

}  // namespace typography
