#pragma once

#include <QColor>
#include <QWidget>

// A box with a rounded border and a fill, both settable at run time (the list rows' background
// and the new marker). Paints itself, so style sheets do not touch its colours.
class RoundedBox : public QWidget {
  Q_OBJECT
  Q_PROPERTY(QColor borderColor READ borderColor WRITE setBorderColor)
  Q_PROPERTY(QColor fillColor READ fillColor WRITE setFillColor)
  Q_PROPERTY(int cornerRadius READ cornerRadius WRITE setCornerRadius)
  Q_PROPERTY(int borderWidth READ borderWidth WRITE setBorderWidth)

 public:
  explicit RoundedBox(QWidget* parent = nullptr);

  [[nodiscard]] QColor borderColor() const { return borderColor_; }
  void setBorderColor(const QColor& color);
  [[nodiscard]] QColor fillColor() const { return fillColor_; }
  void setFillColor(const QColor& color);
  [[nodiscard]] int cornerRadius() const { return cornerRadius_; }
  void setCornerRadius(int radius);
  [[nodiscard]] int borderWidth() const { return borderWidth_; }
  void setBorderWidth(int width);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor borderColor_ = Qt::white;
  QColor fillColor_ = Qt::transparent;
  int cornerRadius_ = 8;
  int borderWidth_ = 1;
};
