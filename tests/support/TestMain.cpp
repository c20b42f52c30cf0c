#include <QApplication>
#include <gtest/gtest.h>

// Every test binary runs with a QApplication on the offscreen platform, so that widgets, the
// main queue and timers work the way they do in the program.
int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
