#include "platform/OpenPanel.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QTest>
#include <QFileInfo>
#include <QListView>
#include <QTemporaryDir>
#include <QTreeView>

#include "platform/Bundle.h"
#include "platform/Queues.h"
#include "platform/ViewController.h"
#include "support/TestFiles.h"

#include <memory>

namespace {

QFileDialog* openPanel() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* dialog = qobject_cast<QFileDialog*>(w); dialog && dialog->isVisible()) return dialog;
  }
  return nullptr;
}

TEST(OpenPanel, PicksOneExistingFolderAndClosesWithItsContext) {
#if defined(__SANITIZE_THREAD__)
  // Qt's file dialog reads the disk on a thread of its own, locked with Qt's futex-based
  // mutexes, which the race detector does not see; our panel code has no thread of its own.
  GTEST_SKIP() << "Qt's file dialog thread is opaque to ThreadSanitizer";
#endif
  QTemporaryDir dir;
  ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("CARD/DCIM")));
  platform::OpenPanelOptions options;
  options.canChooseDirectories = true;
  options.canChooseFiles = false;
  options.canCreateDirectories = false;
  options.directory = dir.path();

  auto context = std::make_unique<QObject>();
  int answers = 0;
  platform::ModalResponse response = platform::ModalResponse::Cancel;
  QList<QUrl> urls;
  auto record = [&](platform::ModalResponse r, const QList<QUrl>& u) {
    ++answers;
    response = r;
    urls = u;
  };
  platform::beginOpenPanel(options, context.get(), record);
  QFileDialog* panel = openPanel();
  ASSERT_TRUE(panel);
  EXPECT_EQ(panel->fileMode(), QFileDialog::Directory);
  EXPECT_TRUE(panel->testOption(QFileDialog::ShowDirsOnly));
  EXPECT_TRUE(panel->testOption(QFileDialog::ReadOnly));  // no new folders
  EXPECT_EQ(QDir(panel->directory()).canonicalPath(), QDir(dir.path()).canonicalPath());
  platform::beginOpenPanel(options, context.get(), record);  // only brings the open one forward
  EXPECT_EQ(openPanel(), panel);

  panel->selectFile(dir.filePath(QStringLiteral("CARD")));
  static_cast<QDialog*>(panel)->accept();
  EXPECT_EQ(answers, 1);
  EXPECT_EQ(response, platform::ModalResponse::OK);
  ASSERT_EQ(urls.size(), 1);
  EXPECT_EQ(QDir(urls.first().toLocalFile()).canonicalPath(), QDir(dir.filePath(QStringLiteral("CARD"))).canonicalPath());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

  // Whoever asked goes away: the panel closes without an answer.
  platform::beginOpenPanel(options, context.get(), record);
  ASSERT_TRUE(openPanel());
  context.reset();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(openPanel(), nullptr);
  EXPECT_EQ(answers, 1);
}

// Over the application's window (also when a sheet of it is the active window), with a side bar
// that shows a long place name whole, and the folder list's type and dates in the display
// language, Korean here.
TEST(OpenPanel, StandsOverTheApplicationWindowInTheDisplayLanguage) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "Qt's file dialog thread is opaque to ThreadSanitizer";
#endif
  QTemporaryDir dir;
  const QString home = dir.filePath(QStringLiteral("TAVO QUILL CARD, SLOT 2"));
  ASSERT_TRUE(QDir(home).mkpath(QStringLiteral("CARD")));
  // The home folder (the side bar's first place) and the display language, for this test only.
  const testing_support::ScopedEnvironment homeFolder("HOME", home);
  struct KoreanTexts {
    KoreanTexts() {
      platform::Bundle::main().setLanguageBundle(std::make_shared<platform::Bundle>(
          QDir(platform::Bundle::main().bundlePath()).filePath(QStringLiteral("ko.lproj"))));
    }
    ~KoreanTexts() { platform::Bundle::main().setLanguageBundle(nullptr); }
  } korean;

  QWidget window;
  window.setGeometry(260, 120, 900, 640);
  window.show();
  auto* sheet = new QWidget(&window, Qt::Dialog);
  sheet->show();
  QApplication::setActiveWindow(sheet);

  platform::OpenPanelOptions options;
  options.canChooseDirectories = true;
  options.canChooseFiles = false;
  options.directory = home;
  platform::beginOpenPanel(options, &window, [](platform::ModalResponse, const QList<QUrl>&) {});
  QFileDialog* panel = openPanel();
  ASSERT_TRUE(panel);
  EXPECT_LE((panel->frameGeometry().center() - window.frameGeometry().center()).manhattanLength(), 2);

  auto* sideBar = panel->findChild<QListView*>(QStringLiteral("sidebar"));
  ASSERT_TRUE(sideBar);
  ASSERT_GT(sideBar->model()->rowCount(), 0);
  const QString placeName = sideBar->model()->index(0, 0).data().toString();
  EXPECT_EQ(placeName, QFileInfo(home).fileName());
  EXPECT_GE(sideBar->viewport()->width(), sideBar->fontMetrics().horizontalAdvance(placeName) + sideBar->iconSize().width());

  auto* list = panel->findChild<QTreeView*>(QStringLiteral("treeView"));
  ASSERT_TRUE(list);
  QModelIndex card;
  ASSERT_TRUE(platform::processEventsUntil([&] {
    const QAbstractItemModel* model = list->model();
    for (int row = 0; row < model->rowCount(list->rootIndex()); ++row) {
      const QModelIndex name = model->index(row, 0, list->rootIndex());
      if (name.data().toString() == QStringLiteral("CARD")) card = name;
    }
    return card.isValid() && !card.siblingAtColumn(3).data().toString().isEmpty();
  }));
  EXPECT_EQ(card.siblingAtColumn(2).data().toString(), QStringLiteral("폴더"));
  const QDateTime modified = QFileInfo(QDir(home).filePath(QStringLiteral("CARD"))).lastModified();
  EXPECT_EQ(card.siblingAtColumn(3).data().toString(), QLocale(QStringLiteral("ko")).toString(modified, QLocale::ShortFormat));

  panel->reject();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Asked for while no window is active (as after the last panel closed, with no window manager to
// hand the focus on), the panel still stands over the asking screen's window, takes the keys
// while it shows and gives them back to that window when it closes.
TEST(OpenPanel, StandsOverTheAskingScreensWindowWhenNoWindowIsActive) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "Qt's file dialog thread is opaque to ThreadSanitizer";
#endif
  QTemporaryDir dir;
  QWidget window;
  window.setGeometry(260, 120, 900, 640);
  platform::ViewController screen;
  screen.view()->setParent(&window);
  window.show();
  QApplication::setActiveWindow(nullptr);
  ASSERT_EQ(QApplication::activeWindow(), nullptr);

  platform::OpenPanelOptions options;
  options.canChooseDirectories = true;
  options.canChooseFiles = false;
  options.directory = dir.path();
  platform::beginOpenPanel(options, &screen, [](platform::ModalResponse, const QList<QUrl>&) {});
  QFileDialog* panel = openPanel();
  ASSERT_TRUE(panel);
  EXPECT_LE((panel->frameGeometry().center() - window.frameGeometry().center()).manhattanLength(), 2);
  EXPECT_TRUE(QTest::qWaitForWindowActive(panel));
  panel->reject();
  EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace
