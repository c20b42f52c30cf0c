#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTableWidget>

#include <functional>
#include <memory>

#include "FirmwareScreenFixture.h"
#include "FirmwareTestSupport.h"
#include "app/AppFixture.h"
#include "app/DarkLook.h"
#include "app/Language.h"
#include "firmware/FirmwareFileDownloadViewController.h"
#include "firmware/FirmwareScenes.h"
#include "firmware/FirmwareSelectViewController.h"
#include "platform/Bundle.h"
#include "platform/Queues.h"
#include "platform/Storyboard.h"
#include "platform/WindowController.h"
#include "support/LayoutChecks.h"

namespace {

QString text(const char* key) { return platform::localizedString(QString::fromLatin1(key)); }

// The firmware list and the download screen in a window with the program's look, in each
// language and window size, in each of their states.
class FirmwareScreenLayout : public FirmwareScreenFixture {
 protected:
  void SetUp() override {
    FirmwareScreenFixture::SetUp();
    testing_support::requireFonts();
  }

  // Every screen state in every language and size; `check` runs on each, told the language.
  void forEachState(const std::function<void(const LanguageCase&)>& checkIn) {
    forEachLanguageAndSize([&](const LanguageCase& language, QSize size) {
      const auto check = [&] { checkIn(language); };
      {
        SCOPED_TRACE("list");
        auto* list = showList(size);
        ASSERT_NE(list, nullptr);
        ASSERT_GT(list->tbv->rowCount(), 0);
        list->tbv->selectRow(0);
        check();
        SCOPED_TRACE("description");
        list->onClickShowFirmewareInfo();
        ASSERT_FALSE(list->vSelectedFirmwareInfo->isHidden());
        check();
      }
      {
        SCOPED_TRACE("no internet");
        service_.response = firmware_service::HttpResponse::text(500, "down", "text/plain");
        auto* list = showList(size);
        ASSERT_NE(list, nullptr);
        ASSERT_FALSE(list->vNoInternetConnection->isHidden());
        check();
        answerThreeVersions();
      }
      auto* download = show<FirmwareFileDownloadViewController>(
          "FirmwareFileDownloadViewController", size, [](FirmwareFileDownloadViewController& s) {
            // No entry: nothing is downloaded, the states are set by hand.
            s.productName = QStringLiteral("Tavo Quill");
          });
      ASSERT_NE(download, nullptr);
      const std::pair<const char*, std::function<void()>> states[] = {
          {"downloading", [&] { download->showDownloadingState(); download->showPercent(37); }},
          {"download failed", [&] { download->showDownloadFailedState(text("download_firmware_fail_content2_file_corruption")); }},
          {"downloaded", [&] { download->showDownloadFinishedState(); }},
          {"copying", [&] { download->showCopyingState(); download->showPercent(42); }},
          {"copy failed", [&] { download->showCopyFailedState(); }},
          {"copied", [&] { download->showCopyFinishedState(); }},
      };
      for (const auto& [name, enter] : states) {
        SCOPED_TRACE(name);
        enter();
        check();
      }
    });
  }

};

TEST_F(FirmwareScreenLayout, EveryStateShowsItsWholeTexts) {
  forEachState([&](const LanguageCase&) { testing_support::expectNothingCutOff(window()); });
}

TEST_F(FirmwareScreenLayout, ActionButtonsShareOnePlace) {
  forEachState([&](const LanguageCase&) { testing_support::expectButtonsInPlace(window()); });
}

TEST_F(FirmwareScreenLayout, ButtonTitlesFollowTheirEnabledState) {
  forEachState([&](const LanguageCase&) { testing_support::expectTitleColours(window()); });
}

// Korean rows once set the model name and the version in two different Latin fonts.
TEST_F(FirmwareScreenLayout, EveryTextIsInTheFamilyOfItsLanguage) {
  forEachState([&](const LanguageCase& language) {
    testing_support::expectFontFamily(window(), QString::fromLatin1(language.family));
  });
}

}  // namespace
