#pragma once

#include <QString>

#include <array>
#include <optional>
#include <string>

#include "firmware/FirmwareCatalogue.h"

namespace firmware_testing {

// The laws that sorting by compareFirmwareVersions relies on, checked on every ordered pair
// and triple drawn from three texts: zero exactly for equal texts (so irreflexive and
// consistent with equality), antisymmetric, and transitive. Gives the first law broken.
inline std::optional<std::string> brokenVersionOrderLaw(const QString& a, const QString& b, const QString& c) {
  const std::array<const QString*, 3> texts{&a, &b, &c};
  auto order = [](const QString& x, const QString& y) {
    const int r = firmware::compareFirmwareVersions(x, y);
    return (r > 0) - (r < 0);
  };
  for (const QString* x : texts) {
    for (const QString* y : texts) {
      const int xy = order(*x, *y);
      if ((xy == 0) != (*x == *y)) return "zero exactly for equal texts";
      if (xy != -order(*y, *x)) return "antisymmetric";
      for (const QString* z : texts) {
        if (xy < 0 && order(*y, *z) < 0 && order(*x, *z) >= 0) return "transitive";
      }
    }
  }
  return std::nullopt;
}

}  // namespace firmware_testing
