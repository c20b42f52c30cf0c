// The yardstick of the start-up benchmark: a Qt Widgets program that shows one empty window of
// the main window's size and nothing else.

#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.resize(800, 560);
  window.show();
  return QApplication::exec();
}
