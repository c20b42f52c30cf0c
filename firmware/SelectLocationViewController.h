#pragma once

#include <QPointer>
#include <QUrl>

#include <memory>
#include <optional>

#include "platform/Delegate.h"
#include "platform/ViewController.h"

class QLabel;
class QPushButton;

namespace Ui {
class SelectLocationViewController;
}

// Receives the location the user confirmed in the card chooser.
class SelectLocationViewControllerDelegate {
 public:
  virtual ~SelectLocationViewControllerDelegate() = default;
  // Once, when the user starts the copy; `url` is the chosen location (a folder).
  virtual void didSelectLocation(const QUrl& url) = 0;
};

// The card chooser, a sheet over the download screen: the user picks a folder on the memory
// card, sees the location that will be used (the card's root) with a warning when it is not on
// a removable volume, ticks the confirmation and starts the copy, which the delegate runs.
class SelectLocationViewController : public platform::ViewController {
  Q_OBJECT

 public:
  explicit SelectLocationViewController(QObject* parent = nullptr);
  ~SelectLocationViewController() override;

  void viewDidLoad() override;

  // Outlets, connected when the view loads.
  QPointer<QWidget> vFullButton;
  QPointer<QWidget> vSelected;
  QPointer<QLabel> lbLocation;
  QPointer<QLabel> lbLocationWarning;
  QPointer<QPushButton> btnCheck;
  QPointer<QPushButton> btnFirmwareCopy;

  // A QObject delegate that is destroyed is not called.
  void setDelegate(SelectLocationViewControllerDelegate* delegate) { delegate_ = delegate; }
  [[nodiscard]] SelectLocationViewControllerDelegate* delegate() const { return delegate_.get(); }
  std::optional<QUrl> selectedLocationUrl;
  bool isCheck = false;

  // The state on opening: nothing chosen, the copy disabled.
  virtual void setupView();
  // Opens the folder panel (one existing folder, no files, no new folders).
  virtual void openLocationPanel();
  virtual void toggleCheck();
  // Hands the location to the delegate and closes the sheet; nothing without a location.
  virtual void copyToLocation();
  // Takes the picked folder: the location it stands for, its path and the warning.
  virtual void showSelectedLocation(const QUrl& url);

 public Q_SLOTS:
  void onClickSelectLocation();
  void onClickCheck();
  void onClickClose();
  void onClickFirmwareCopy();

 protected:
  // Builds the scene's widgets (the storyboard's part); setupView() above sets their state.
  void setupView(QWidget* root) override;

 private:
  std::unique_ptr<Ui::SelectLocationViewController> ui_;
  platform::WeakDelegate<SelectLocationViewControllerDelegate> delegate_;
};
