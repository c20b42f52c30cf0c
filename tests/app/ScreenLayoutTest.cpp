#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>

#include <array>
#include <functional>
#include <memory>

#include "AppFixture.h"
#include "app/CheckDeviceViewController.h"
#include "app/CheckSupportDeviceViewController.h"
#include "app/DarkLook.h"
#include "app/IntroViewController.h"
#include "app/Language.h"
#include "app/Scenes.h"
#include "app/SetupGuideViewController.h"
#include "platform/Bundle.h"
#include "platform/Storyboard.h"
#include "platform/WindowController.h"
#include "support/LayoutChecks.h"

namespace {

// The shell's screens in a window with the program's look, in each language and window size.
class ScreenLayout : public ScreenFixture {
 protected:
  void SetUp() override {
    ScreenFixture::SetUp();
    testing_support::requireFonts();
    darkLook::applyToApplication();
  }

  // Every screen of the shell in its states, each shown in a fresh window of `size`; `check`
  // runs on each.
  void forEachScreen(QSize size, const std::function<void()>& check) {
    {
      SCOPED_TRACE("intro");
      ASSERT_NE(show<IntroViewController>("IntroViewController", size), nullptr);
      check();
    }
    {
      SCOPED_TRACE("device check");
      auto* screen = show<CheckDeviceViewController>("CheckDeviceViewController", size);
      ASSERT_NE(screen, nullptr);
      check();
      screen->showStatus(true);
      screen->onClickConnectNext();
      SCOPED_TRACE("reading");
      check();
    }
    for (const char* name : {"Tavo Quill", "Tavo Unknown Model With A Rather Long Name"}) {
      SCOPED_TRACE(name);
      ASSERT_NE(show<CheckSupportDeviceViewController>("CheckSupportDeviceViewController", size,
                                                       [name](CheckSupportDeviceViewController& screen) {
                                                         screen.productName = QString::fromLatin1(name);
                                                         screen.firmwareVersion = QStringLiteral("1.0.2");
                                                       }),
                nullptr);
      check();
    }
    {
      SCOPED_TRACE("hand-over");
      ASSERT_NE(show<platform::ViewController>("GoFrimwareUpdateViewController", size), nullptr);
      check();
    }
    {
      SCOPED_TRACE("guide");
      ASSERT_NE(show<SetupGuideViewController>("SetupGuideViewController", size), nullptr);
      check();
    }
  }
};

TEST_F(ScreenLayout, EveryGuidePageShowsItsWholeText) {
  forEachLanguageAndSize([&](const LanguageCase&, QSize size) {
    auto* guide = show<SetupGuideViewController>("SetupGuideViewController", size);
    ASSERT_NE(guide, nullptr);
    for (int page = 0; page < 9; ++page) {
      SCOPED_TRACE(testing::Message() << "page " << page + 1);
      guide->showPage(page);
      testing_support::expectNothingCutOff(window());
    }
  });
}

TEST_F(ScreenLayout, ShellScreensShowTheirWholeTexts) {
  forEachLanguageAndSize([&](const LanguageCase&, QSize size) {
    forEachScreen(size, [&] { testing_support::expectNothingCutOff(window()); });
  });
}

// Next once moved between screens and the hand-over button sat further left than the rest.
TEST_F(ScreenLayout, ActionButtonsShareOnePlace) {
  forEachLanguageAndSize([&](const LanguageCase&, QSize size) {
    forEachScreen(size, [&] { testing_support::expectButtonsInPlace(window()); });
  });
}

// Buttons that are never disabled once took their title colour from each scene's own rules.
TEST_F(ScreenLayout, ButtonTitlesFollowTheirEnabledState) {
  forEachScreen(kWindowSizes[1], [&] { testing_support::expectTitleColours(window()); });
}

// Korean screens once set the model name and the version in two different Latin fonts.
TEST_F(ScreenLayout, EveryTextIsInTheFamilyOfItsLanguage) {
  for (const LanguageCase& language : displayLanguages()) {
    SCOPED_TRACE(language.name);
    setLanguage(language.language);
    forEachScreen(kWindowSizes[1],
                  [&] { testing_support::expectFontFamily(window(), QString::fromLatin1(language.family)); });
  }
}

}  // namespace
