#include <QApplication>
#include <gtest/gtest.h>

#include "platform/Queues.h"

// Every test binary runs with a QApplication on the offscreen platform, so that widgets, the
// main queue and timers work the way they do in the program.
namespace {
// The offscreen platform says so for every window it is asked to raise; that is not news.
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.startsWith(QStringLiteral("This plugin does not support"))) return;
  qt_message_output(type, context, message);
}
}  // namespace

int main(int argc, char** argv) {
  qInstallMessageHandler(quietHandler);
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  platform::MainQueue::install();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
