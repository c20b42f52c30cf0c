#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QImage>
#include <QPushButton>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "app/ButtonTitleColor.h"
#include "app/DarkLook.h"
#include "app/FennicProgressBar.h"

namespace {

TEST(FennicProgressBar, StartsWithThicknessTenAndZero) {
  FennicProgressBar bar;
  EXPECT_EQ(bar.barThickness(), 10.0);
  EXPECT_EQ(bar.progressValue(), 0.0);
  // Reachable by name, as the scenes set them.
  EXPECT_TRUE(bar.setProperty("progressValue", 42.0));
  EXPECT_EQ(bar.progressValue(), 42.0);
}

TEST(FennicProgressBar, ClampsEveryWrite) {
  struct Case {
    double written;
    double read;
  };
  const Case cases[] = {{-5, 0},     {0, 0},     {37.5, 37.5},  {100, 100},
                        {250, 100},  {1e-9, 1e-9}, {std::numeric_limits<double>::quiet_NaN(), 0},
                        {-std::numeric_limits<double>::infinity(), 0},
                        {std::numeric_limits<double>::infinity(), 100}};
  FennicProgressBar bar;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.written);
    bar.setProgressValue(c.written);
    EXPECT_EQ(bar.progressValue(), c.read);
  }
}

// Counts the paints the widget receives.
class PaintCounter : public QObject {
 public:
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

TEST(FennicProgressBar, OnlyProgressWritesRedraw) {
  FennicProgressBar bar;
  bar.resize(200, 20);
  PaintCounter counter;
  bar.installEventFilter(&counter);
  bar.show();
  QApplication::processEvents();
  QApplication::processEvents();

  counter.paints = 0;
  bar.setBarThickness(4);
  bar.setBarColor(Qt::red);
  bar.setTrackColor(Qt::blue);
  QApplication::processEvents();
  EXPECT_EQ(counter.paints, 0);

  bar.setProgressValue(30);
  QApplication::processEvents();
  EXPECT_GE(counter.paints, 1);
}

class FennicProgressBarRender : public ::testing::Test {
 protected:
  // Renders without any background, so what the view itself draws is all that shows.
  QImage render(double progress) {
    bar_.setProgressValue(progress);
    QImage image(bar_.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    bar_.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    return image;
  }
  void SetUp() override {
    bar_.resize(200, 20);
    bar_.setBarColor(Qt::red);
    bar_.setTrackColor(Qt::blue);
  }
  FennicProgressBar bar_;
};

TEST_F(FennicProgressBarRender, DrawsTrackAndBarAtEachProgress) {
  const QColor bar(Qt::red);
  const QColor track(Qt::blue);
  const QColor none(Qt::transparent);
  struct Probe {
    int x;
    int y;
    QColor expected;
  };
  struct Case {
    double progress;
    std::vector<Probe> probes;
  };
  // 200 wide, thickness 10: the track runs from x = 5 to 195 at y 5...15.
  const std::vector<Case> cases = {
      {0, {{6, 10, track}, {100, 10, track}, {194, 10, track}, {2, 10, none}}},
      {25, {{6, 10, bar}, {51, 10, bar}, {54, 10, track}, {194, 10, track}}},
      {50, {{6, 10, bar}, {98, 10, bar}, {102, 10, track}, {194, 10, track}}},
      {100, {{6, 10, bar}, {100, 10, bar}, {194, 10, bar}, {197, 10, none}, {2, 10, none}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.progress);
    const QImage image = render(c.progress);
    for (const Probe& p : c.probes) {
      SCOPED_TRACE(p.x);
      EXPECT_EQ(image.pixelColor(p.x, p.y), p.expected);
    }
    // Nothing is filled above or below the strokes.
    EXPECT_EQ(image.pixelColor(100, 3), none);
    EXPECT_EQ(image.pixelColor(100, 16), none);
  }
}

// A bar nobody has coloured, drawn in the window's dark look (and in the desktop's palette,
// which must not matter): an opaque grey track and a light bar, both plain on the dark window.
TEST(FennicProgressBar, DefaultColoursShowOnTheDarkWindow) {
  const QColor track(184, 184, 184);  // the scenes' secondary text grey
  const QColor bar(236, 236, 236);    // the label colour
  EXPECT_EQ(darkLook::secondaryLabelColor(), track);
  EXPECT_EQ(darkLook::labelColor(), bar);
  for (const bool darkPalette : {true, false}) {
    SCOPED_TRACE(darkPalette ? "dark palette" : "desktop palette");
    QWidget window;
    if (darkPalette) window.setPalette(darkLook::palette(window.palette()));
    window.resize(200, 20);
    auto* progress = new FennicProgressBar(&window);
    progress->resize(200, 20);
    progress->setProgressValue(50);
    QImage image(window.size(), QImage::Format_ARGB32);
    image.fill(darkLook::windowColor());
    progress->render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    EXPECT_EQ(image.pixelColor(60, 10), bar);
    EXPECT_EQ(image.pixelColor(150, 10), track);
    EXPECT_EQ(image.pixelColor(150, 2), darkLook::windowColor());
  }
}

TEST(ButtonTitleColor, ColoursByEnabledStateInEveryGroup) {
  const QColor yellow(251, 205, 81);
  const QColor grey(96, 96, 96);
  QPushButton button(QStringLiteral("Next"));
  auto expectEverywhere = [&](const QColor& color) {
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
      SCOPED_TRACE(int(group));
      EXPECT_EQ(button.palette().color(group, QPalette::ButtonText), color);
    }
  };

  button.setEnabled(false);
  updateButtonTitleColor(&button);
  expectEverywhere(grey);

  // Without the call the colour stays what the function gave.
  button.setEnabled(true);
  expectEverywhere(grey);

  updateButtonTitleColor(&button);
  updateButtonTitleColor(&button);
  expectEverywhere(yellow);
  EXPECT_EQ(button.text(), QStringLiteral("Next"));

  button.setEnabled(false);
  expectEverywhere(yellow);
  updateButtonTitleColor(&button);
  expectEverywhere(grey);

  updateButtonTitleColor(nullptr);
}

}  // namespace
