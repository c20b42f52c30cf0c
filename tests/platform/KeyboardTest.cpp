// The keyboard layer every screen shares: where the focus lands when a screen appears, what
// Return presses, the sheet's keys, and the focus ring.

#include <gtest/gtest.h>

#include <QApplication>
#include <QHBoxLayout>
#include <QPushButton>

#include <functional>
#include <memory>

#include "platform/FocusRing.h"
#include "platform/ViewController.h"
#include "platform/WindowController.h"
#include "support/Keyboard.h"
#include "support/ScopedStyleSheet.h"

namespace {

// A row of buttons named by their looks: "back" (secondary), "skip" and "go" (both primary),
// set up by `prepare` before the screen appears; counts the clicks.
class ButtonScreen final : public platform::ViewController {
 public:
  explicit ButtonScreen(std::function<void(ButtonScreen&)> prepare = {}) : prepare_(std::move(prepare)) {}

  QPushButton* back = nullptr;
  QPushButton* skip = nullptr;
  QPushButton* go = nullptr;
  QString clicked;

 protected:
  void setupView(QWidget* root) override {
    auto* row = new QHBoxLayout(root);
    for (auto [button, name, role] : {std::tuple{&back, "back", "secondary"}, std::tuple{&skip, "skip", "primary"},
                                      std::tuple{&go, "go", "primary"}}) {
      *button = new QPushButton(QString::fromLatin1(name), root);
      (*button)->setObjectName(QString::fromLatin1(name));
      (*button)->setProperty("buttonRole", QString::fromLatin1(role));
      row->addWidget(*button);
      QObject::connect(*button, &QPushButton::clicked, this, [this, name = QString::fromLatin1(name)] { clicked += name; });
    }
  }
  void viewDidLoad() override {
    if (prepare_) prepare_(*this);
  }

 private:
  std::function<void(ButtonScreen&)> prepare_;
};

class Keyboard : public ::testing::Test {
 protected:
  void TearDown() override {
    window_.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  ButtonScreen* show(std::function<void(ButtonScreen&)> prepare = {}) {
    if (!window_) window_ = std::make_unique<platform::WindowController>();
    auto screen = std::make_unique<ButtonScreen>(std::move(prepare));
    ButtonScreen* shown = screen.get();
    window_->setContentViewController(std::move(screen));
    window_->showWindow();
    QCoreApplication::processEvents();
    return shown;
  }
  QWidget* focused() { return testing_support::keyTarget(window_->window()); }

  std::unique_ptr<platform::WindowController> window_;
};

TEST_F(Keyboard, FocusLandsOnTheFirstControlAndReturnPressesThePrimaryButton) {
  struct Case {
    const char* name;
    std::function<void(ButtonScreen&)> prepare;
    const char* focus;    // where the focus lands
    const char* pressed;  // what Return presses, wherever the focus is
  };
  const Case cases[] = {
      {.name = "first primary", .prepare = {}, .focus = "skip", .pressed = "skip"},
      {.name = "first primary hidden", .prepare = [](ButtonScreen& s) { s.skip->hide(); }, .focus = "go", .pressed = "go"},
      {.name = "first primary disabled",
       .prepare = [](ButtonScreen& s) { s.skip->setEnabled(false); },
       .focus = "go",
       .pressed = "go"},
      {.name = "no primary enabled",
       .prepare = [](ButtonScreen& s) { s.skip->setEnabled(false); s.go->setEnabled(false); },
       .focus = "back",
       .pressed = ""},
      {.name = "marked control",
       .prepare = [](ButtonScreen& s) { s.back->setProperty("initialFocus", true); },
       .focus = "back",
       .pressed = "skip"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ButtonScreen* screen = show(c.prepare);
    ASSERT_NE(focused(), nullptr);
    EXPECT_EQ(focused()->objectName(), QString::fromLatin1(c.focus));
    testing_support::press(window_->window(), Qt::Key_Return);
    EXPECT_EQ(screen->clicked, QString::fromLatin1(c.pressed));
    // From a secondary button too: Return is the primary button's, Space the focused one's.
    screen->clicked.clear();
    screen->back->setFocus();
    testing_support::press(window_->window(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(screen->clicked, QString::fromLatin1(c.pressed));
    screen->clicked.clear();
    testing_support::press(window_->window(), Qt::Key_Space);
    EXPECT_EQ(screen->clicked, QStringLiteral("back"));
  }
}

// Over a sheet, the keys are the sheet's: Return presses its primary button (the screen
// behind keeps its own), Escape closes it, and the screen behind has the keys again.
TEST_F(Keyboard, TheSheetTakesTheKeysWhileItShows) {
  ButtonScreen* screen = show();
  auto sheetScreen = std::make_unique<ButtonScreen>([](ButtonScreen& s) { s.skip->hide(); });
  QPointer<ButtonScreen> sheet = sheetScreen.get();
  screen->presentViewControllerAsSheet(std::move(sheetScreen));
  ASSERT_EQ(screen->presentedViewController(), sheet.data());
  EXPECT_EQ(focused(), sheet->go);
  testing_support::expectRingAround(sheet->go);
  sheet->back->setFocus();
  testing_support::press(window_->window(), Qt::Key_Return);
  EXPECT_EQ(sheet->clicked, QStringLiteral("go")) << "the focused button of a dialog took Return";
  EXPECT_EQ(screen->clicked, QString());
  testing_support::press(window_->window(), Qt::Key_Escape);
  EXPECT_EQ(screen->presentedViewController(), nullptr);
  testing_support::press(window_->window(), Qt::Key_Return);
  EXPECT_EQ(screen->clicked, QStringLiteral("skip"));
}

// One ring, around the focused control: it follows Tab and a new screen, and stays out of the
// accessibility tree.
TEST_F(Keyboard, TheFocusRingFollowsTheFocus) {
  const testing_support::ScopedStyleSheet sheet(QStringLiteral("QWidget#focusRing { border: 2px solid red; }"));
  ButtonScreen* screen = show();
  testing_support::expectRingAround(screen->skip);
  testing_support::press(window_->window(), Qt::Key_Tab);
  ASSERT_EQ(focused(), screen->go);
  testing_support::expectRingAround(screen->go);
  testing_support::press(window_->window(), Qt::Key_Tab, Qt::ShiftModifier);
  testing_support::expectRingAround(screen->skip);
  screen = show([](ButtonScreen& s) { s.skip->hide(); });
  testing_support::expectRingAround(screen->go);
  const QWidget* ring = platform::FocusRing::frame();
  ASSERT_NE(ring, nullptr);
  EXPECT_TRUE(ring->testAttribute(Qt::WA_TransparentForMouseEvents));
  EXPECT_TRUE(ring->property("decorative").toBool());
}

}  // namespace
