#pragma once

#include <QFont>
#include <QPointer>
#include <QWidget>

#include <memory>

class QLabel;
class RoundedBox;

namespace Ui {
class FirmwareSelectCell;
}

// One row of the firmware list: the version's title, the new marker and the check mark, with
// a hover highlight. The list sets its chosen or unchosen look.
class FirmwareSelectCell final : public QWidget {
  Q_OBJECT

 public:
  explicit FirmwareSelectCell(QWidget* parent = nullptr);
  ~FirmwareSelectCell() override;

  // Outlets.
  QPointer<RoundedBox> bBg;
  QPointer<RoundedBox> bNew;
  QPointer<QLabel> lbNew;
  QPointer<QLabel> lbTitle;
  QPointer<QLabel> ivCheck;

  bool isSelected = false;
  bool highlight = false;

  // The look of `highlight` (border, title and check mark); the fills stay.
  void updateHighlight();
  void mouseEntered();
  void mouseExited();

 protected:
  // Hover over the row's background box stands for the tracking area.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void awakeFromNib();
  static void setPixelFont(QLabel* label, int pixels, QFont::Weight weight);

  std::unique_ptr<Ui::FirmwareSelectCell> ui_;
};
