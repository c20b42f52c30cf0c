// Start-up of the whole application with a scenario file that cannot be used.

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/Application.h"
#include "support/TestFiles.h"
#include "vok/Simulation.h"

namespace {

TEST(ApplicationStart, ScenarioThatCannotBeUsedEndsTheRunWithItsMessage) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString broken = dir.filePath(QStringLiteral("broken.json"));
  testing_support::writeFile(broken, "{\"cameras\": [");
  struct Case {
    std::string path;
    std::string message;
  };
  const Case cases[] = {
      {dir.filePath(QStringLiteral("missing.json")).toStdString(), "missing.json"},
      {broken.toStdString(), "not JSON"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    setenv("RAVLIO_VOK_SCENARIO", c.path.c_str(), 1);
    char name[] = "ravlio";
    char* argv[] = {name, nullptr};
    testing::internal::CaptureStderr();
    const int status = runApplication(1, argv);
    const std::string output = testing::internal::GetCapturedStderr();
    EXPECT_NE(status, 0);
    EXPECT_NE(output.find("scenario"), std::string::npos) << output;
    EXPECT_NE(output.find(c.message), std::string::npos) << output;
  }
  unsetenv("RAVLIO_VOK_SCENARIO");
  vok::sim::Simulator::instance().reset();
}

}  // namespace
