#include "platform/WindowController.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>

#include <vector>

#include "platform/Storyboard.h"
#include "platform/ViewController.h"

namespace {

std::vector<QString> gLog;

class Screen final : public platform::ViewController {
 public:
  explicit Screen(QString name) : name_(std::move(name)) {}
  ~Screen() override { gLog.push_back(name_ + QStringLiteral(".destroyed")); }
  void viewDidLoad() override { gLog.push_back(name_ + QStringLiteral(".didLoad")); }
  void viewWillAppear() override { gLog.push_back(name_ + QStringLiteral(".willAppear")); }
  void viewDidAppear() override { gLog.push_back(name_ + QStringLiteral(".didAppear")); }
  void viewWillDisappear() override { gLog.push_back(name_ + QStringLiteral(".willDisappear")); }

 protected:
  void setupView(QWidget* root) override { (new QVBoxLayout(root))->addWidget(new QLabel(name_)); }

 private:
  QString name_;
};

class Window final : public platform::WindowController {
 public:
  using platform::WindowController::WindowController;
  int closes = 0;

 protected:
  void windowWillClose() override { ++closes; }
};

TEST(Storyboard, UnknownIdentifierGivesNothing) {
  platform::Storyboard storyboard;
  storyboard.registerScene(QStringLiteral("A"), [] { return std::make_unique<Screen>(QStringLiteral("A")); });
  EXPECT_EQ(storyboard.instantiateController(QStringLiteral("B")), nullptr);
  auto a = storyboard.instantiateController(QStringLiteral("A"));
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->storyboard(), &storyboard);
  EXPECT_FALSE(a->isViewLoaded());  // inputs can still be set before the view loads
}

TEST(WindowController, ContentSwitchRunsHooksAndDeletesTheOldScreenLater) {
  gLog.clear();
  Window window;
  window.setContentViewController(std::make_unique<Screen>(QStringLiteral("one")));
  window.showWindow();
  window.setContentViewController(std::make_unique<Screen>(QStringLiteral("two")));
  const std::vector<QString> beforeLoop = gLog;
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  const std::vector<QString> expected = {
      QStringLiteral("one.didLoad"),       QStringLiteral("one.willAppear"), QStringLiteral("one.didAppear"),
      QStringLiteral("one.willDisappear"), QStringLiteral("two.didLoad"),    QStringLiteral("two.willAppear"),
      QStringLiteral("two.didAppear")};
  EXPECT_EQ(beforeLoop, expected);
  ASSERT_EQ(gLog.size(), expected.size() + 1);
  EXPECT_EQ(gLog.back(), QStringLiteral("one.destroyed"));
  window.close();
  window.close();
  EXPECT_EQ(window.closes, 1);
}

QWidget* cover(QWidget* window) {
  return window->findChild<QWidget*>(QStringLiteral("sheetCover"), Qt::FindDirectChildrenOnly);
}

// The sheet hangs from the middle of the window's top edge, and a cover over the whole window
// hides what is behind it: it lies above the screen's own widgets and is painted so nearly
// opaque that black or white behind it makes no visible difference.
void expectAttachedAndCovered(QWidget* window, QDialog* sheet) {
  const QRect inside(window->mapToGlobal(QPoint(0, 0)), window->size());
  EXPECT_EQ(sheet->geometry().top(), inside.top());
  EXPECT_LE(std::abs(sheet->geometry().center().x() - inside.center().x()), 1);
  EXPECT_TRUE(inside.contains(sheet->geometry()));
  QWidget* c = cover(window);
  ASSERT_NE(c, nullptr);
  EXPECT_TRUE(c->isVisible());
  EXPECT_EQ(c->geometry(), window->rect());
  EXPECT_EQ(window->childAt(QPoint(2, window->height() - 2)), c);
  QImage overWhite(c->size(), QImage::Format_ARGB32), overBlack(c->size(), QImage::Format_ARGB32);
  overWhite.fill(Qt::white);
  overBlack.fill(Qt::black);
  c->render(&overWhite);
  c->render(&overBlack);
  EXPECT_LE(qGray(overWhite.pixel(2, 2)) - qGray(overBlack.pixel(2, 2)), 4);
}

TEST(Sheet, ShowsWindowModalOverTheScreenUntilDismissedAndLeavesNoWindowBehind) {
  const qsizetype windowsBefore = QApplication::topLevelWidgets().size();
  gLog.clear();
  {
    Window window;
    window.setContentViewController(std::make_unique<Screen>(QStringLiteral("main")));
    window.window()->resize(800, 560);
    window.showWindow();
    platform::ViewController* main = window.contentViewController();
    gLog.clear();

    main->presentViewControllerAsSheet(std::make_unique<Screen>(QStringLiteral("sheet")));
    QPointer<platform::ViewController> sheet = main->presentedViewController();
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->presentingViewController(), main);
    QPointer<QDialog> dialog = qobject_cast<QDialog*>(sheet->view()->window());
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    EXPECT_EQ(dialog->parentWidget()->window(), window.window());
    expectAttachedAndCovered(window.window(), dialog);
    EXPECT_EQ(gLog, (std::vector<QString>{QStringLiteral("sheet.didLoad"), QStringLiteral("sheet.willAppear"),
                                          QStringLiteral("sheet.didAppear")}));

    // One sheet at a time: a second one is dropped.
    main->presentViewControllerAsSheet(std::make_unique<Screen>(QStringLiteral("second")));
    EXPECT_EQ(main->presentedViewController(), sheet);
    EXPECT_EQ(gLog.back(), QStringLiteral("second.destroyed"));

    // The sheet stays attached while the window changes size.
    window.window()->resize(1000, 700);
    expectAttachedAndCovered(window.window(), dialog);

    // The sheet dismisses itself (its own close action); it goes later, not inside the call.
    sheet->dismissViewController(sheet);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_FALSE(cover(window.window())->isVisible());
    EXPECT_EQ(main->presentedViewController(), nullptr);
    EXPECT_TRUE(sheet);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(sheet);
    EXPECT_FALSE(dialog);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(cover(window.window()), nullptr);

    // Escape (a rejected dialog) dismisses the same way.
    main->presentViewControllerAsSheet(std::make_unique<Screen>(QStringLiteral("escaped")));
    sheet = main->presentedViewController();
    qobject_cast<QDialog*>(sheet->view()->window())->reject();
    EXPECT_EQ(main->presentedViewController(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(sheet);

    // A sheet still up when its screen is replaced goes with the screen.
    main->presentViewControllerAsSheet(std::make_unique<Screen>(QStringLiteral("left")));
    sheet = main->presentedViewController();
    window.setContentViewController(std::make_unique<Screen>(QStringLiteral("next")));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(sheet);
    window.close();
  }
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(QApplication::topLevelWidgets().size(), windowsBefore) << "a window outlived its test";
}

}  // namespace
