#include "platform/WindowController.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QLabel>

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
  void setupView(QWidget* root) override { new QLabel(name_, root); }

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

}  // namespace
