#pragma once

#include <QColor>
#include <QWidget>

// A flat linear progress bar: a track the width of the view and, over it, a bar whose length
// is the progress percentage of the track. Outside the two strokes the view stays transparent.
// Assistive technology sees a progress bar with the value 0 to 100 and the accessible name.
class FennicProgressBar : public QWidget {
  Q_OBJECT
  Q_PROPERTY(QColor barColor READ barColor WRITE setBarColor)
  Q_PROPERTY(QColor trackColor READ trackColor WRITE setTrackColor)
  Q_PROPERTY(double barThickness READ barThickness WRITE setBarThickness)
  Q_PROPERTY(double progressValue READ progressValue WRITE setProgressValue)

 public:
  explicit FennicProgressBar(QWidget* parent = nullptr);
  ~FennicProgressBar() override;

  [[nodiscard]] QColor barColor() const { return barColor_; }
  [[nodiscard]] QColor trackColor() const { return trackColor_; }
  [[nodiscard]] double barThickness() const { return barThickness_; }
  [[nodiscard]] double progressValue() const { return progressValue_; }

  // These three take effect at the next redraw, which the owner's next progress write brings.
  void setBarColor(const QColor& color) { barColor_ = color; }
  void setTrackColor(const QColor& color) { trackColor_ = color; }
  void setBarThickness(double thickness) { barThickness_ = thickness; }
  // Clamped to 0...100; redraws.
  void setProgressValue(double value);

  [[nodiscard]] static double clampedProgress(double value);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor barColor_;
  QColor trackColor_;
  double barThickness_ = 10.0;
  double progressValue_ = 0.0;
};
