#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <functional>

class QObject;

namespace platform {

enum class ModalResponse { Cancel = 0, OK = 1 };

// What the folder-and-file panel lets the user pick.
struct OpenPanelOptions {
  bool allowsMultipleSelection = false;
  bool canChooseDirectories = false;
  bool canCreateDirectories = true;
  bool canChooseFiles = true;
  QString directory;  // where the panel opens; empty for the toolkit's choice
};

using OpenPanelCompletion = std::function<void(ModalResponse response, const QList<QUrl>& urls)>;
// Shows the panel and returns at once; calls the completion on the main thread when the user
// closes it. When `context` is destroyed first, the panel closes and the completion never runs.
using OpenPanelPresenter =
    std::function<void(const OpenPanelOptions& options, QObject* context, OpenPanelCompletion completion)>;

// Opens the panel as a window of its own (a QFileDialog). While one is open, another request
// only raises it. Tests install a presenter that answers at once.
void beginOpenPanel(const OpenPanelOptions& options, QObject* context, OpenPanelCompletion completion);
// nullptr restores the default presenter.
void setOpenPanelPresenter(OpenPanelPresenter presenter);

}  // namespace platform
