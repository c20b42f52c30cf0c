#include <gtest/gtest.h>

#include <QTableWidget>

#include <functional>

#include "FirmwareScreenFixture.h"
#include "FirmwareTestSupport.h"
#include "app/AppFixture.h"
#include "firmware/FirmwareFileDownloadViewController.h"
#include "firmware/FirmwareSelectViewController.h"
#include "platform/Bundle.h"
#include "support/LayoutChecks.h"

namespace {

using firmware_testing::text;

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
        auto* list = showListWithoutInternet(size);
        ASSERT_NE(list, nullptr);
        ASSERT_FALSE(list->vNoInternetConnection->isHidden());
        check();
      }
      auto* download = showDownload(size);
      ASSERT_NE(download, nullptr);
      const QString failure = text("download_firmware_fail_content2_file_corruption");
      for (const auto& [name, enter] : downloadStates(download, failure)) {
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
