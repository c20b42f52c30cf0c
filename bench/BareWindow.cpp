// The yardsticks of the start-up benchmark: a Qt Widgets program that shows one empty window of
// the main window's size and nothing else, or with "--label" one line of text in it (which
// costs what any text costs: the system's font list and one font).

#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.resize(800, 560);
  if (QApplication::arguments().contains(QStringLiteral("--label"))) {
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QStringLiteral("Firmware update")));
  }
  window.show();
  return QApplication::exec();
}
