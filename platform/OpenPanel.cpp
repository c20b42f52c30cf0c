#include "platform/OpenPanel.h"

#include <QDir>
#include <QFileDialog>
#include <QPointer>

#include "platform/Bundle.h"
#include "platform/ToolkitTexts.h"
#include "platform/Volumes.h"

namespace platform {
namespace {

OpenPanelPresenter& presenter() {
  static OpenPanelPresenter p;
  return p;
}

void presentWithFileDialog(const OpenPanelOptions& options, QObject* context, OpenPanelCompletion completion) {
  static QPointer<QFileDialog> open;
  if (open) {  // one panel at a time; asking again brings it forward
    open->raise();
    open->activateWindow();
    return;
  }
  // The panel's own texts follow the display language.
  useToolkitTexts(Bundle::main().localizationInUse());
  auto* dialog = new QFileDialog(nullptr);
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
      QObject::connect(dialog, &QDialog::finished, dialog, [dialog, completion](int result) {
        const bool accepted = result == QDialog::Accepted;
        completion(accepted ? ModalResponse::OK : ModalResponse::Cancel,
                   accepted ? dialog->selectedUrls() : QList<QUrl>{});
      });
  if (context) {
    QObject::connect(context, &QObject::destroyed, dialog, [dialog, answer] {
      QObject::disconnect(answer);
      dialog->close();
    });
  }
  dialog->show();
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
