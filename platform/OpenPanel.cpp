#include "platform/OpenPanel.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QListView>
#include <QLocale>
#include <QPointer>
#include <QScrollBar>
#include <QSplitter>
#include <QTreeView>

#include "platform/Bundle.h"
#include "platform/Placement.h"
#include "platform/ToolkitTexts.h"
#include "platform/ViewController.h"
#include "platform/Volumes.h"

namespace platform {
namespace {

constexpr int kDateColumn = 3;  // of Qt's file model

// The folder list's dates in the display language's own format: the file model writes them in
// the system's.
class DisplayLanguageDates final : public QIdentityProxyModel {
 public:
  DisplayLanguageDates(QLocale locale, QObject* parent) : QIdentityProxyModel(parent), locale_(std::move(locale)) {}

  QVariant data(const QModelIndex& index, int role) const override {
    if (role == Qt::DisplayRole && index.column() == kDateColumn) {
      if (auto* files = qobject_cast<QFileSystemModel*>(sourceModel())) {
        return locale_.toString(files->lastModified(mapToSource(index)), QLocale::ShortFormat);
      }
    }
    return QIdentityProxyModel::data(index, role);
  }

 private:
  QLocale locale_;
};

// Qt's own panel, standing over the application's window with a side bar wide enough for the
// names of the places in it (memory cards among them) and room for a whole date.
class FolderPanel final : public QFileDialog {
 public:
  FolderPanel(QWidget* over, QLocale locale) : QFileDialog(nullptr), over_(over), locale_(std::move(locale)) {
    setProxyModel(new DisplayLanguageDates(locale_, this));
  }

 protected:
  void showEvent(QShowEvent* event) override {
    QFileDialog::showEvent(event);
    widenSideBar();
    widenDateColumn();
    move(centredPosition(over_, frameGeometry().size()));
  }

 private:
  void widenDateColumn() {
    auto* list = findChild<QTreeView*>(QStringLiteral("treeView"));
    if (!list) return;
    const QString longest = locale_.toString(QDateTime(QDate(2026, 12, 28), QTime(23, 59)), QLocale::ShortFormat);
    QHeaderView* header = list->header();
    header->resizeSection(kDateColumn, list->fontMetrics().horizontalAdvance(longest) + 2 * list->indentation());
    // The names give way, so that the dates show without scrolling.
    int others = 0;
    for (int column = 1; column < header->count(); ++column) others += header->isSectionHidden(column) ? 0 : header->sectionSize(column);
    header->resizeSection(0, qMax(header->sectionSizeHint(0), list->viewport()->width() - others));
  }

  void widenSideBar() {
    auto* sideBar = findChild<QListView*>(QStringLiteral("sidebar"));
    auto* splitter = findChild<QSplitter*>(QStringLiteral("splitter"));
    if (!sideBar || !splitter || splitter->count() < 2) return;
    const int names = sideBar->sizeHintForColumn(0) + 2 * sideBar->frameWidth() +
                      sideBar->verticalScrollBar()->sizeHint().width();
    const int total = splitter->width() > 0 ? splitter->width() : width();
    const int side = qBound(sideBar->minimumSizeHint().width(), names, total / 2);
    splitter->setSizes({side, total - side});
  }

  QPointer<QWidget> over_;
  QLocale locale_;
};

OpenPanelPresenter& presenter() {
  static OpenPanelPresenter p;
  return p;
}

// The widget the panel stands over: the asking screen's, else whichever window is active (none
// may be, for instance when the last panel has just closed and no window manager hands focus on).
QWidget* anchorFor(QObject* context) {
  if (auto* screen = qobject_cast<ViewController*>(context); screen && screen->isViewLoaded()) return screen->view();
  if (auto* widget = qobject_cast<QWidget*>(context)) return widget;
  return QApplication::activeWindow();
}

void presentWithFileDialog(const OpenPanelOptions& options, QObject* context, OpenPanelCompletion completion) {
  static QPointer<QFileDialog> open;
  if (open) {  // one panel at a time; asking again brings it forward
    open->raise();
    open->activateWindow();
    return;
  }
  // The panel's own texts follow the display language.
  const QString language = Bundle::main().localizationInUse();
  useToolkitTexts(language);
  QWidget* anchor = anchorFor(context);
  auto* dialog = new FolderPanel(applicationWindowOf(anchor), QLocale(QString(language).replace(u'-', u'_')));
  open = dialog;
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  // Qt's own panel: it honours "no new folders", which the desktop's may not.
  QFileDialog::Options flags = QFileDialog::DontUseNativeDialog;
  if (!options.canCreateDirectories) flags |= QFileDialog::ReadOnly;
  if (!options.canChooseFiles) flags |= QFileDialog::ShowDirsOnly;
  dialog->setOptions(flags);
  if (options.canChooseDirectories && !options.canChooseFiles) {
    dialog->setFileMode(QFileDialog::Directory);
  } else {
    dialog->setFileMode(options.allowsMultipleSelection ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  }
  if (!options.directory.isEmpty()) dialog->setDirectory(options.directory);
  // The side bar offers the home folder and the mounted removable volumes (memory cards).
  QList<QUrl> places{QUrl::fromLocalFile(QDir::homePath())};
  for (const QString& volume : mountedVolumes()) {
    if (!pathLiesIn(volume, attachRoot())) places << QUrl::fromLocalFile(volume);
  }
  dialog->setSidebarUrls(places);

  const QMetaObject::Connection answer =
      QObject::connect(dialog, &QDialog::finished, dialog,
                       [dialog, completion, back = QPointer<QWidget>(anchor ? anchor->window() : nullptr)](int result) {
                         const bool accepted = result == QDialog::Accepted;
                         completion(accepted ? ModalResponse::OK : ModalResponse::Cancel,
                                    accepted ? dialog->selectedUrls() : QList<QUrl>{});
                         // The keys go back to the window that asked, also where no window
                         // manager hands the focus on.
                         if (back) back->activateWindow();
                       });
  if (context) {
    QObject::connect(context, &QObject::destroyed, dialog, [dialog, answer] {
      QObject::disconnect(answer);
      dialog->close();
    });
  }
  dialog->show();
  dialog->activateWindow();  // the keys go to the panel while it shows
}

}  // namespace

void beginOpenPanel(const OpenPanelOptions& options, QObject* context, OpenPanelCompletion completion) {
  if (presenter()) {
    presenter()(options, context, std::move(completion));
  } else {
    presentWithFileDialog(options, context, std::move(completion));
  }
}

void setOpenPanelPresenter(OpenPanelPresenter p) { presenter() = std::move(p); }

}  // namespace platform
