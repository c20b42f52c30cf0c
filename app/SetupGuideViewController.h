#pragma once

#include <QPointer>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/SetupGuideInfo.h"
#include "platform/ViewController.h"

class QLabel;
class QPushButton;
class QScrollArea;

namespace Ui {
class SetupGuideViewController;
}

// The illustrated guide to starting the update from the camera's own menu: nine pages browsed
// with Next and Previous, then Finish (ends the application) or start over at the intro.
class SetupGuideViewController final : public platform::ViewController {
  Q_OBJECT

 public:
  // One row of the page table: the image (by name, or by the key whose localised text names
  // it) and the key of the page's text.
  struct PageSpec {
    QString image;
    bool imageNameIsKey;
    QString textKey;
  };
  [[nodiscard]] static const std::array<PageSpec, 9>& pageTable();

  explicit SetupGuideViewController(QObject* parent = nullptr);
  ~SetupGuideViewController() override;

  void viewDidLoad() override;
  void buildPages();
  // Shows page `index` when there is one; sets the buttons' visibility in any case.
  void showPage(std::int64_t index);

  // Outlets, connected when the view loads.
  QPointer<QWidget> stvContent;
  QPointer<QScrollArea> svContent;
  QPointer<QPushButton> btnNext;
  QPointer<QPushButton> btnPrevious;
  QPointer<QLabel> ivContent;
  QPointer<QLabel> lbIndex;
  QPointer<QLabel> lbContent;
  QPointer<QLabel> lbPage;
  QPointer<QLabel> ivDot1, ivDot2, ivDot3, ivDot4, ivDot5, ivDot6, ivDot7, ivDot8, ivDot9;

  [[nodiscard]] std::int64_t currentIndex() const { return currentIndex_; }
  [[nodiscard]] const std::vector<SetupGuideInfo>& arContent() const { return arContent_; }
  [[nodiscard]] const std::vector<QPointer<QLabel>>& arDot() const { return arDot_; }

 public Q_SLOTS:
  void onClickNext();
  void onClickPrevious();
  void onClickFinish();
  void onClickFirstView();

 protected:
  void setupView(QWidget* root) override;

 private:
  std::unique_ptr<Ui::SetupGuideViewController> ui_;
  std::int64_t currentIndex_ = 0;
  std::vector<SetupGuideInfo> arContent_;
  std::vector<QPointer<QLabel>> arDot_;
};
