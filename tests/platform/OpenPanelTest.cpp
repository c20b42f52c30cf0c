#include "platform/OpenPanel.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QTemporaryDir>

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

}  // namespace
