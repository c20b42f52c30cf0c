#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>

#include "app/CheckDeviceViewController.h"
#include "app/CheckSupportDeviceViewController.h"
#include "camera/ViewEvent.h"
#include "platform/Bundle.h"
#include "platform/NotificationCenter.h"
#include "support/LongNames.h"
#include "support/TestFiles.h"

namespace {

using Type = ViewEvent::ViewEventType;

// Records view events posted while it lives.
struct ViewEvents {
  ViewEvents() {
    platform::NotificationCenter::defaultCenter().addObserver(this, QString::fromLatin1(kViewEvent),
                                                              [this](const platform::Notification& n) {
                                                                types.push_back(std::dynamic_pointer_cast<const ViewEvent>(n.object)->type());
                                                              });
  }
  ~ViewEvents() { platform::NotificationCenter::defaultCenter().removeObserver(this); }
  std::vector<Type> types;
};

template <typename W>
W* child(platform::ViewController& screen, const char* name) {
  return screen.view()->findChild<W*>(QString::fromLatin1(name));
}

// Whether the label shows the bundle image `name`, drawn at the label's size.
bool showsImage(const QLabel* label, const char* name) {
  const QImage expected = platform::imageNamed(QString::fromLatin1(name), label->minimumSize()).toImage();
  return !expected.isNull() && label->pixmap().toImage() == expected;
}

TEST(CheckDevice, EventTable) {
  ViewEvents events;
  CheckDeviceViewController screen;
  screen.view();
  auto* next = child<QPushButton>(screen, "btnConnectNext");
  auto* status = child<QLabel>(screen, "lbConnectStatus");
  auto* picture = child<QLabel>(screen, "imgConnectStatus");
  auto* icon = child<QLabel>(screen, "imgConnectStatusIcon");
  auto* progress = child<QWidget>(screen, "vGetDeviceInfoProgress");
  auto* area = child<QWidget>(screen, "vCheckConnect");
  ASSERT_TRUE(next && status && picture && icon && progress && area && child<QProgressBar>(screen, "pbGetDeviceInfo"));
  screen.view()->show();

  // Each state's display, checked whole: the two pictures, the text and Next.
  const auto expectDisplay = [&](bool connected, bool nextEnabled) {
    EXPECT_TRUE(showsImage(picture, connected ? "img_connect_device" : "img_not_connect_device"));
    EXPECT_TRUE(showsImage(icon, connected ? "icon_connect" : "icon_warning"));
    EXPECT_EQ(status->text(),
              platform::localizedString(connected ? QStringLiteral("camera_connected") : QStringLiteral("camera_disconnected")));
    EXPECT_EQ(next->isEnabled(), nextEnabled);
    EXPECT_EQ(next->palette().color(QPalette::Active, QPalette::ButtonText),
              nextEnabled ? QColor(251, 205, 81) : QColor(96, 96, 96));
  };
  // The states differ on screen, so the display checks can tell them apart.
  EXPECT_NE(platform::imageNamed(QStringLiteral("img_connect_device")).toImage(),
            platform::imageNamed(QStringLiteral("img_not_connect_device")).toImage());
  EXPECT_NE(platform::imageNamed(QStringLiteral("icon_connect")).toImage(),
            platform::imageNamed(QStringLiteral("icon_warning")).toImage());

  // Freshly shown: not connected, Next disabled in the disabled colour.
  expectDisplay(false, false);

  screen.viewWillAppear();  // asks for the search once
  screen.viewWillAppear();
  EXPECT_EQ(std::count(events.types.begin(), events.types.end(), Type::CHECK_DEVICE_CONNECT), 1);

  struct Step {
    Type event;
    bool connected;
  };
  const Step steps[] = {{Type::DEVICE_CONNECTED, true},
                        {Type::GET_DEVICE_INFO, true},  // other events change nothing
                        {Type::terminate_APP, true},
                        {Type::DEVICE_DISCONNECTED, false},
                        {Type::MAIN_WINDOW_SHOW_CHECK_DEVICE, false},
                        {Type::DEVICE_CONNECTED, true}};
  for (const Step& s : steps) {
    SCOPED_TRACE(static_cast<int>(s.event));
    ViewEvent::post(s.event);
    expectDisplay(s.connected, s.connected);
  }

  // Next: the status area goes for good, the progress shows, the read is asked for once.
  const auto reads = [&] { return std::count(events.types.begin(), events.types.end(), Type::GET_DEVICE_INFO); };
  const auto readsBefore = reads();
  next->click();
  EXPECT_TRUE(area->isHidden());
  EXPECT_FALSE(progress->isHidden());
  expectDisplay(true, false);
  screen.onClickConnectNext();  // a second press asks for nothing more
  EXPECT_EQ(reads(), readsBefore + 1);

  // Going and coming back during the read shows the status but keeps Next off.
  ViewEvent::post(Type::DEVICE_DISCONNECTED);
  expectDisplay(false, false);
  ViewEvent::post(Type::DEVICE_CONNECTED);
  expectDisplay(true, false);
  EXPECT_TRUE(area->isHidden());
  EXPECT_TRUE(progress->isHidden());
  next->click();
  EXPECT_EQ(reads(), readsBefore + 1);

  // Hidden: no longer observing.
  screen.viewWillDisappear();
  ViewEvent::post(Type::DEVICE_DISCONNECTED);
  expectDisplay(true, false);
}

TEST(ModelList, ParserTable) {
  struct Case {
    QString text;
    QSet<QString> names;
  };
  const QString a = QStringLiteral("Tavo Quill"), b = QStringLiteral("Tavo Wren");
  const Case cases[] = {
      {QStringLiteral("Tavo Quill\nTavo Wren\n"), {a, b}},
      {QStringLiteral("Tavo Quill\r\nTavo Wren\r\n"), {a, b}},
      {QStringLiteral("Tavo Quill\rTavo Wren"), {a, b}},
      {QStringLiteral("Tavo Quill") + QChar(0x2028) + QStringLiteral("Tavo Wren") + QChar(0x0085), {a, b}},
      {QStringLiteral("\n\nTavo Quill\n\nTavo Quill\n"), {a}},
      {QStringLiteral("Tavo Quill \n tavo m3"), {QStringLiteral("Tavo Quill "), QStringLiteral(" tavo m3")}},
      {QString(), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.toStdString());
    EXPECT_EQ(CheckSupportDeviceViewController::parseModelList(c.text), c.names);
  }
}

class SupportCheck : public ::testing::Test {
 protected:
  void writeList(const QByteArray& bytes) {
    testing_support::writeFile(dir_.filePath(QStringLiteral("cameraCrawling.ini")), bytes);
  }
  void SetUp() override { platform::Bundle::setMainPath(dir_.path()); }
  void TearDown() override { platform::Bundle::setMainPath(QString::fromUtf8(RAVLIO_SOURCE_RESOURCES)); }
  QTemporaryDir dir_;
};

// Whether the label shows its text as it stands: markup in a camera's name must not render.
bool showsPlainText(const QLabel* label) {
  return label->textFormat() == Qt::PlainText ||
         (label->textFormat() == Qt::AutoText && !Qt::mightBeRichText(label->text()));
}

TEST_F(SupportCheck, StateTable) {
  struct Case {
    const char* list;  // nullptr: no resource
    std::optional<QString> name;
    std::optional<QString> version;
    bool supported;
    std::optional<QString> shownName;  // in the panel that is shown; none: left as it was
  };
  const QString markup = QStringLiteral("<i>Tavo Moth</i>");
  const QString image = QStringLiteral("<img src=\"file:///etc/hostname\">Tavo Moth");
  const Case cases[] = {
      {"Tavo Quill\r\nTavo Wren\r\n", QStringLiteral("Tavo Quill"), QStringLiteral("1.0"), true, QStringLiteral("Tavo Quill")},
      {"Tavo Quill\n", QStringLiteral("Tavo Moth"), QStringLiteral("1.0"), false, QStringLiteral("(Tavo Moth)")},
      {"Tavo Quill\n", QStringLiteral("tavo r5"), QStringLiteral("1.0"), false, QStringLiteral("(tavo r5)")},
      {"Tavo Quill \n", QStringLiteral("Tavo Quill"), QStringLiteral("1.0"), false, QStringLiteral("(Tavo Quill)")},
      {"Tavo Quill\n\n", QString(), QStringLiteral("1.0"), false, QStringLiteral("()")},
      {nullptr, QStringLiteral("Tavo Quill"), QStringLiteral("1.0"), false, QStringLiteral("(Tavo Quill)")},
      {"Tavo Quill\n\xff\xfe", QStringLiteral("Tavo Quill"), QStringLiteral("1.0"), false, QStringLiteral("(Tavo Quill)")},
      {"<i>Tavo Moth</i>\n", markup, QStringLiteral("1.0"), true, markup},
      {"Tavo Quill\n", image, QStringLiteral("1.0"), false, QStringLiteral("(") + image + QStringLiteral(")")},
      {"Tavo Quill\n", std::nullopt, QStringLiteral("1.0"), false, std::nullopt},
      {"Tavo Quill\n", QStringLiteral("Tavo Quill"), std::nullopt, false, std::nullopt},
  };
  const QString marker = QStringLiteral("scene text");
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.list ? c.list : "(none)") + " / " + c.name.value_or(QStringLiteral("<none>")).toStdString());
    QFile::remove(dir_.filePath(QStringLiteral("cameraCrawling.ini")));
    if (c.list) writeList(QByteArray(c.list));
    CheckSupportDeviceViewController screen;
    screen.productName = c.name;
    screen.firmwareVersion = c.version;
    screen.view()->show();
    auto* supportPanel = child<QWidget>(screen, "vSupportDevice");
    auto* notSupportPanel = child<QWidget>(screen, "vNotSupportDevice");
    EXPECT_EQ(supportPanel->isHidden(), !c.supported);
    EXPECT_EQ(notSupportPanel->isHidden(), c.supported);
    auto* shown = child<QLabel>(screen, c.supported ? "lbSupportDeviceName" : "lbNotSupportDeviceName");
    if (c.shownName) {
      EXPECT_EQ(shown->text(), *c.shownName);
    } else {
      // The scene's own (empty) text stays: deciding the state again must not touch it.
      EXPECT_EQ(shown->text(), QString());
      shown->setText(marker);
      screen.updateView();
      EXPECT_EQ(shown->text(), marker);
    }
    for (const char* name : {"lbSupportDeviceName", "lbNotSupportDeviceName"}) {
      SCOPED_TRACE(name);
      EXPECT_TRUE(showsPlainText(child<QLabel>(screen, name)));
    }
  }
}

TEST_F(SupportCheck, LongProductNamesAreElidedInTheMiddle) {
  const QString name = testing_support::longProductName();
  for (const bool supported : {true, false}) {
    SCOPED_TRACE(supported ? "supported" : "not supported");
    writeList(supported ? name.toUtf8() + '\n' : QByteArray("Tavo Quill\n"));
    CheckSupportDeviceViewController screen;
    screen.productName = name;
    screen.firmwareVersion = QStringLiteral("1.0");
    screen.view()->resize(720, 520);
    screen.view()->show();
    QApplication::processEvents();
    EXPECT_LE(screen.view()->minimumSizeHint().width(), 720);
    testing_support::expectElidedInTheMiddle(child<QLabel>(screen, supported ? "lbSupportDeviceName" : "lbNotSupportDeviceName"),
                                             name);
  }
}

TEST_F(SupportCheck, ButtonsLeadOnOrBack) {
  writeList("Tavo Quill\n");
  ViewEvents events;
  CheckSupportDeviceViewController screen;
  screen.productName = QStringLiteral("Tavo Quill");
  screen.firmwareVersion = QStringLiteral("1.0");
  screen.view();
  child<QPushButton>(screen, "btnSupportNext")->click();
  child<QPushButton>(screen, "btnNotSupportRetry")->click();
  EXPECT_EQ(events.types, (std::vector<Type>{Type::MAIN_WINDOW_SHOW_FRIMWARE_DOWNLOAD_VIEW, Type::MAIN_WINDOW_SHOW_CHECK_DEVICE}));
}

}  // namespace
