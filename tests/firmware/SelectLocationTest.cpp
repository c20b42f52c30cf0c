#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextDocument>

#include <deque>
#include <vector>

#include "firmware/CardLocation.h"
#include "firmware/FirmwareScenes.h"
#include "firmware/SelectLocationViewController.h"
#include "platform/Bundle.h"
#include "platform/OpenPanel.h"
#include "platform/Storyboard.h"
#include "platform/Volumes.h"
#include "support/TestFiles.h"

namespace {

const QString kUser = QStringLiteral("/media/tester");
const QString kRunUser = QStringLiteral("/run/media/tester");
const QString kAttach = QStringLiteral("/srv/ravlio/Volumes");

// Volume roots of our own for the test's lifetime.
class VolumeRoots {
 public:
  explicit VolumeRoots(const QStringList& roots, const QString& attachRoot = kAttach) {
    qputenv("RAVLIO_ATTACH_ROOT", attachRoot.toLocal8Bit());
    platform::setVolumeRootsForTesting(roots);
  }
  ~VolumeRoots() {
    platform::setVolumeRootsForTesting(std::nullopt);
    qunsetenv("RAVLIO_ATTACH_ROOT");
  }
};

TEST(CardLocation, VolumeOrCutBackWithWarningOutsideTheVolumes) {
  VolumeRoots roots({kUser, kRunUser, kAttach});
  const testing_support::ScopedEnvironment home("HOME", QStringLiteral("/home/someone"));  // on a file system of its own, "/home"
  const QStringList mounts = {QStringLiteral("/media/tester/CARD"), QStringLiteral("/run/media/tester/TAVO_CARD"),
                              QStringLiteral("/media/tester2/CARD"), QStringLiteral("/mnt/usb"),
                              QStringLiteral("/mnt/cards/sd1"), QStringLiteral("/mnt/sd"), QStringLiteral("/home")};
  // The deepest listed mount point above the path, else "/".
  const auto mountPointOf = [&](const QString& path) {
    QString best = QStringLiteral("/");
    for (const QString& mount : mounts) {
      if (platform::pathLiesIn(path, mount) && mount.size() > best.size()) best = mount;
    }
    return best;
  };
  struct Case {
    const char* picked;
    const char* location;
    bool warn;
  };
  const Case cases[] = {
      {"/media/tester/CARD/DCIM/100ABCDE", "/media/tester/CARD", false},
      {"/media/tester/CARD", "/media/tester/CARD", false},
      // Deeper than the cut-back reaches: the mount point, not "/run/media".
      {"/run/media/tester/TAVO_CARD/DCIM", "/run/media/tester/TAVO_CARD", false},
      {"/media/tester", "/media/tester", false},  // a volume root itself, like the volumes folder
      {"/srv/ravlio/Volumes/Firmware_1_1/sub", "/srv/ravlio/Volumes/Firmware_1_1", false},  // an attached image
      // The system's own disks, "/" and the home folder's: cut back to two levels.
      {"/home/someone/Desktop", "/home/someone", true},
      {"/home/someone/Projects/cards/sd", "/home/someone", true},
      {"/tmp", "/tmp", true},
      {"/", "/", true},
      {"/mnt/cards", "/mnt/cards", true},
      // Whole components: another user's media folder is not ours, so the warning.
      {"/media/tester2/CARD/DCIM", "/media/tester2/CARD", true},
      // Cards mounted outside the volume roots: the top of the card, however deep the pick.
      {"/mnt/usb/DCIM", "/mnt/usb", true},
      {"/mnt/sd", "/mnt/sd", true},
      {"/mnt/sd/DCIM/100ABCDE", "/mnt/sd", true},
      {"/mnt/cards/sd1/DCIM", "/mnt/cards/sd1", true},
      {"/media/tester/CARD/../../../etc/ssl", "/etc/ssl", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.picked);
    const CardLocation location = cardLocationFor(QString::fromUtf8(c.picked), mountPointOf);
    EXPECT_EQ(location.path, QString::fromUtf8(c.location));
    EXPECT_EQ(location.warn, c.warn);
  }
}

TEST(CardLocation, FollowsLinksToTheVolume) {
  QTemporaryDir dir;
  const QString media = QDir(dir.path()).canonicalPath() + QStringLiteral("/media");
  const QString card = media + QStringLiteral("/CARD");
  ASSERT_TRUE(QDir().mkpath(card + QStringLiteral("/DCIM")));
  const QString link = dir.filePath(QStringLiteral("shortcut"));
  ASSERT_TRUE(QFile::link(card + QStringLiteral("/DCIM"), link));
  VolumeRoots roots({media});
  const CardLocation location = cardLocationFor(
      link, [&](const QString& path) { return platform::pathLiesIn(path, card) ? card : QStringLiteral("/"); });
  EXPECT_EQ(location.path, card);
  EXPECT_FALSE(location.warn);
}

// The download screen's part: presents the chooser and hears what was chosen.
class Presenter final : public platform::ViewController, public SelectLocationViewControllerDelegate {
 public:
  void didSelectLocation(const QUrl& url) override { chosen.push_back(url); }
  std::vector<QUrl> chosen;
};

class SelectLocation : public ::testing::Test {
 protected:
  void SetUp() override {
    windowsBefore_ = QApplication::topLevelWidgets().size();
    ASSERT_TRUE(QDir().mkpath(media_));
    ASSERT_TRUE(QDir().mkpath(card_ + QStringLiteral("/DCIM/100ABCDE")));
    ASSERT_TRUE(QDir().mkpath(elsewhere_ + QStringLiteral("/Desktop")));
    platform::setOpenPanelPresenter(
        [this](const platform::OpenPanelOptions& options, QObject*, platform::OpenPanelCompletion completion) {
          panels.push_back(options);
          ASSERT_FALSE(answers.empty());
          const auto [response, urls] = answers.front();
          answers.pop_front();
          completion(response, urls);
        });
    registerFirmwareScenes(storyboard_);
    presenter_.view()->show();
    auto controller = storyboard_.instantiateController(QStringLiteral("SelectLocationViewController"));
    chooser = dynamic_cast<SelectLocationViewController*>(controller.get());
    ASSERT_TRUE(chooser);
    chooser->setDelegate(&presenter_);
    presenter_.presentViewControllerAsSheet(std::move(controller));
  }

  void TearDown() override {
    platform::setOpenPanelPresenter(nullptr);
    presenter_.view()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  // Picks `path` in the panel.
  void pick(const QString& path) {
    answers.push_back({platform::ModalResponse::OK, {QUrl::fromLocalFile(path)}});
    button("btnSelectLocation")->click();
  }
  QAbstractButton* button(const char* name) const {
    return chooser->view()->findChild<QAbstractButton*>(QString::fromLatin1(name));
  }
  bool copyEnabledInItsColour() const {
    const bool enabled = chooser->btnFirmwareCopy->isEnabled();
    EXPECT_EQ(chooser->btnFirmwareCopy->palette().color(enabled ? QPalette::Active : QPalette::Disabled,
                                                         QPalette::ButtonText),
              enabled ? QColor(251, 205, 81) : QColor(96, 96, 96));
    return enabled;
  }

  QTemporaryDir dir_;
  const QString root_ = QDir(dir_.path()).canonicalPath();
  // Tests cannot mount a card; an attached image's folder stands for one.
  const QString media_ = root_ + QStringLiteral("/media");
  const QString attached_ = root_ + QStringLiteral("/attached");
  const QString card_ = attached_ + QStringLiteral("/CARD");
  const QString elsewhere_ = root_ + QStringLiteral("/home/someone");
  VolumeRoots roots_{{media_, attached_}, attached_};
  qsizetype windowsBefore_ = 0;
  platform::Storyboard storyboard_;
  Presenter presenter_;
  SelectLocationViewController* chooser = nullptr;
  std::vector<platform::OpenPanelOptions> panels;
  std::deque<std::pair<platform::ModalResponse, QList<QUrl>>> answers;
};

TEST_F(SelectLocation, ChooseConfirmAndCopy) {
  ASSERT_TRUE(chooser->vFullButton && chooser->vSelected && chooser->lbLocation && chooser->lbLocationWarning &&
              chooser->btnCheck && chooser->btnFirmwareCopy);
  // Opened: nothing chosen, only the big choose button, the copy disabled.
  EXPECT_TRUE(chooser->btnCheck->isHidden());
  EXPECT_FALSE(chooser->vFullButton->isHidden());
  EXPECT_TRUE(chooser->vSelected->isHidden());
  EXPECT_FALSE(copyEnabledInItsColour());
  EXPECT_FALSE(chooser->isCheck);
  EXPECT_EQ(chooser->lbLocation->textFormat(), Qt::PlainText);  // folder names are not markup

  // Without a location the copy does nothing and the sheet stays.
  chooser->onClickFirmwareCopy();
  EXPECT_TRUE(presenter_.chosen.empty());
  EXPECT_EQ(presenter_.presentedViewController(), chooser);

  // A cancelled panel, or one without a folder, changes nothing.
  answers.push_back({platform::ModalResponse::Cancel, {QUrl::fromLocalFile(card_)}});
  answers.push_back({platform::ModalResponse::OK, {}});
  button("btnSelectLocation")->click();
  button("btnSelectLocation")->click();
  EXPECT_FALSE(chooser->selectedLocationUrl);
  EXPECT_TRUE(chooser->vSelected->isHidden());
  ASSERT_EQ(panels.size(), 2u);
  EXPECT_TRUE(panels[0].canChooseDirectories);
  EXPECT_FALSE(panels[0].canChooseFiles);
  EXPECT_FALSE(panels[0].canCreateDirectories);
  EXPECT_FALSE(panels[0].allowsMultipleSelection);
  EXPECT_EQ(panels[0].directory, media_);  // opens where cards are mounted

  struct Step {
    const char* action;
    QString location;
    bool warning;
    bool ticked;
  };
  // Outside the volumes: the first two levels below the root, or the top of the temporary
  // folder's file system where that is not the system's (a tmpfs /tmp).
  const QString cutBack = cardLocationFor(elsewhere_ + QStringLiteral("/Desktop")).path;
  EXPECT_TRUE(cutBack == root_.section(QLatin1Char('/'), 0, 2) || cutBack == platform::mountPointOf(root_));
  const Step steps[] = {
      {"pick elsewhere", cutBack, true, false},  // the warning blocks nothing: the box shows
      {"tick", cutBack, true, true},
      {"pick on the card", card_, false, true},  // choosing again keeps the box ticked
      {"tick", card_, false, false},
      {"tick", card_, false, true},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.action);
    const QString action = QString::fromLatin1(s.action);
    if (action == QLatin1StringView("pick on the card")) pick(card_ + QStringLiteral("/DCIM/100ABCDE"));
    if (action == QLatin1StringView("pick elsewhere")) pick(elsewhere_ + QStringLiteral("/Desktop"));
    if (action == QLatin1StringView("tick")) chooser->btnCheck->click();
    EXPECT_EQ(chooser->selectedLocationUrl, QUrl::fromLocalFile(s.location));
    EXPECT_EQ(chooser->lbLocation->text(), s.location);
    EXPECT_EQ(chooser->lbLocationWarning->isHidden(), !s.warning);
    if (s.warning) {
      EXPECT_EQ(chooser->lbLocationWarning->text(), platform::localizedString(QStringLiteral("path_warning")));
    }
    EXPECT_FALSE(chooser->btnCheck->isHidden());
    EXPECT_FALSE(chooser->vSelected->isHidden());
    EXPECT_TRUE(chooser->vFullButton->isHidden());
    EXPECT_EQ(chooser->isCheck, s.ticked);
    EXPECT_EQ(copyEnabledInItsColour(), s.ticked);
  }

  // The copy hands the location over once, then the sheet closes.
  chooser->btnFirmwareCopy->click();
  EXPECT_EQ(presenter_.chosen, std::vector<QUrl>{QUrl::fromLocalFile(card_)});
  EXPECT_EQ(presenter_.presentedViewController(), nullptr);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(QApplication::topLevelWidgets().size(), windowsBefore_ + 1);  // the presenter's own view
}

// A card whose name holds markup: the label and its tooltip show the name as written.
TEST_F(SelectLocation, MarkupInTheCardNameIsShownAsWritten) {
  const QString card = attached_ + QStringLiteral("/<img src=x><b>CARD & co");
  ASSERT_TRUE(QDir().mkpath(card));
  pick(card);
  EXPECT_EQ(chooser->lbLocation->text(), card);
  EXPECT_EQ(chooser->lbLocation->textFormat(), Qt::PlainText);
  const QString tip = chooser->lbLocation->toolTip();
  QTextDocument shown;
  if (Qt::mightBeRichText(tip)) {
    shown.setHtml(tip);
  } else {
    shown.setPlainText(tip);
  }
  EXPECT_EQ(shown.toPlainText(), card);
}

TEST_F(SelectLocation, CloseHandsNothingOver) {
  pick(card_);
  chooser->btnCheck->click();
  ASSERT_TRUE(chooser->btnFirmwareCopy->isEnabled());
  button("btnClose")->click();
  EXPECT_TRUE(presenter_.chosen.empty());
  EXPECT_EQ(presenter_.presentedViewController(), nullptr);
}

}  // namespace
