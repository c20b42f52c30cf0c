#pragma once

#include <QPixmap>
#include <QString>

#include <cstdint>
#include <utility>

// One page of the update guide: its illustration, its position (0 for the first page) and its
// text, already localised. Fixed once made.
class SetupGuideInfo {
 public:
  SetupGuideInfo(QPixmap img, std::int64_t index, QString content)
      : img_(std::move(img)), index_(index), content_(std::move(content)) {}

  [[nodiscard]] const QPixmap& img() const { return img_; }
  [[nodiscard]] std::int64_t index() const { return index_; }
  [[nodiscard]] const QString& content() const { return content_; }

 private:
  QPixmap img_;
  std::int64_t index_;
  QString content_;
};
