#pragma once

#include <QString>

#include <optional>

// A screen that is given the camera's product name and firmware version before it loads.
// Both start as the empty text (present, not absent).
class ProductScreen {
 public:
  virtual ~ProductScreen() = default;
  std::optional<QString> productName = QString();
  std::optional<QString> firmwareVersion = QString();
};
