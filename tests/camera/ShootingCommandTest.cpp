// The shooting and camera-setting commands against the simulated camera: what each sends for
// its parameter and the store's state, what it reports, and when it asks to run again.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CameraTestSupport.h"
#include "camera/CameraModel.h"
#include "camera/ClickAFCommand.h"
#include "camera/ClickWBCommand.h"
#include "camera/DoEvfAFCommand.h"
#include "camera/DriveLensEvfCommand.h"
#include "camera/LiveView.h"
#include "camera/PressShutterCommand.h"
#include "camera/SetRecCommand.h"
#include "camera/SetRemoteShootingCommand.h"
#include "camera/SetRollPitchCommand.h"
#include "camera/SwitchMirrorUpCommand.h"
#include "camera/SwitchStillMovieCommand.h"
#include "camera/TakePictureCommand.h"

namespace camera_test {
namespace {

using vok::sim::PropertyValue;
using Model = std::shared_ptr<CameraModel>;

// The SDK calls a command made, in short: "cmd(0x4,3)", "read(0x605)", "write(0xb)=1",
// "capacity", "point(100,65535)".
std::vector<std::string> shortCalls() {
  std::vector<std::string> out;
  for (const vok::sim::Call& call : Sim::instance().calls()) {
    char text[64];
    const auto& a = call.args;
    if (call.name == "VokSendCommand") {
      std::snprintf(text, sizeof text, "cmd(0x%llx,%lld)", static_cast<unsigned long long>(a[0]),
                    static_cast<long long>(static_cast<std::int64_t>(a[1])));
    } else if (call.name == "VokGetPropertyData") {
      std::snprintf(text, sizeof text, "read(0x%llx)", static_cast<unsigned long long>(a[0]));
    } else if (call.name == "VokSetPropertyData") {
      std::snprintf(text, sizeof text, "write(0x%llx)=%llu", static_cast<unsigned long long>(a[0]),
                    static_cast<unsigned long long>(a[3]));
    } else if (call.name == "VokSetCapacity") {
      std::snprintf(text, sizeof text, "capacity");
    } else if (call.name == "VokSetFramePoint") {
      std::snprintf(text, sizeof text, "point(%lld,%lld)", static_cast<long long>(static_cast<std::int64_t>(a[0])),
                    static_cast<long long>(static_cast<std::int64_t>(a[1])));
    } else {
      continue;
    }
    out.emplace_back(text);
  }
  return out;
}

class ShootingCommandTest : public SimulatedCamera {
 protected:
  EventRecorder events;
};

TEST_F(ShootingCommandTest, EachCommandSendsWhatItsParameterAndTheStoreSay) {
  struct Case {
    const char* label;
    std::function<void(CameraModel&)> setUp;
    std::function<std::shared_ptr<Command>(const Model&)> make;
    std::vector<std::string> calls;
    std::vector<Seen> events;
    bool finished = true;
  };
  auto make = []<typename T>(VokInt32 parameter) {
    return [parameter](const Model& m) -> std::shared_ptr<Command> { return std::make_shared<T>(m, parameter); };
  };
  const auto none = [](CameraModel&) {};
  const auto property = [this](VokPropertyID id, VokUInt32 value) {
    return [this, id, value](CameraModel&) { sim().setProperty(cameraId_, id, PropertyValue::uint32(value)); };
  };
  const auto liveView = [](CameraModel& m) { m.isEvfEnable = true; };
  const Case cases[] = {
      {"take a picture", none, [](const Model& m) { return std::make_shared<TakePictureCommand>(m); },
       {"cmd(0x4,3)", "cmd(0x4,0)"}, {}},
      {"press fully", none, make.operator()<PressShutterCommand>(3), {"cmd(0x4,3)"}, {}},
      {"autofocus on", none, make.operator()<DoEvfAFCommand>(1), {"cmd(0x102,1)"}, {}},
      {"focus far", none, make.operator()<DriveLensEvfCommand>(0x8003), {"cmd(0x103,32771)"}, {}},
      {"remote shooting", property(0x605, 0), make.operator()<SetRemoteShootingCommand>(1),
       {"read(0x605)", "cmd(0x10f,1)"}, {}},
      {"remote shooting refused", property(0x605, 1), make.operator()<SetRemoteShootingCommand>(1), {"read(0x605)"},
       {}},
      {"remote shooting, state unreadable",
       [this](CameraModel&) { sim().script("VokGetPropertyData", 0x605, {VOK_ERR_PROPERTY_NOT_FOUND}); },
       make.operator()<SetRemoteShootingCommand>(0), {"read(0x605)"}, {}},
      {"roll and pitch, live view off", none, make.operator()<SetRollPitchCommand>(0x109), {}, {}},
      {"roll and pitch off", liveView, make.operator()<SetRollPitchCommand>(0x109), {"cmd(0x109,1)"},
       {{EventType::angle_INFO, 0}}},
      {"roll and pitch on",
       [](CameraModel& m) {
         m.isEvfEnable = true;
         m._rollPitch = 0;
       },
       make.operator()<SetRollPitchCommand>(0x109), {"cmd(0x109,0)"}, {}},
      {"still while still", property(0x01000422, 0), make.operator()<SwitchStillMovieCommand>(0x108),
       {"read(0x1000422)"}, {}},
      {"still from movie", property(0x01000422, 1),
       make.operator()<SwitchStillMovieCommand>(0x108), {"read(0x1000422)", "write(0xb)=2", "capacity", "cmd(0x108,0)"},
       {}},
      {"movie", none, make.operator()<SwitchStillMovieCommand>(0x107), {"read(0x1000422)", "write(0xb)=1", "cmd(0x107,0)"},
       {}},
      {"record", none, make.operator()<SetRecCommand>(4), {"write(0x510)=4"}, {}},
      {"record, not set to movies", [](CameraModel& m) { m._fixedMovie = 0; }, make.operator()<SetRecCommand>(4), {}, {}},
      {"mirror up", none, make.operator()<SwitchMirrorUpCommand>(1), {"write(0x1000438)=1"}, {}},
      {"mirror up, already up", [](CameraModel& m) { m._mirrorLockUpState = 1; },
       make.operator()<SwitchMirrorUpCommand>(1), {}, {}},
      {"mirror down", [](CameraModel& m) { m._mirrorLockUpState = 1; }, make.operator()<SwitchMirrorUpCommand>(0),
       {"write(0x1000438)=0"}, {}},
      {"mirror moving", [](CameraModel& m) { m._mirrorLockUpState = 2; }, make.operator()<SwitchMirrorUpCommand>(1), {},
       {}, false},
      {"click, live view off", none, make.operator()<ClickWBCommand>(2), {}, {}, false},
      {"white-balance cursor", liveView, make.operator()<ClickWBCommand>(1), {}, {{EventType::mouse_CURSOR, 1}}},
      {"white-balance click",
       [](CameraModel& m) {
         m.isEvfEnable = true;
         m._clickPoint = 0x00640020;
       },
       make.operator()<ClickWBCommand>(2), {"cmd(0x104,6553632)"}, {}},
      {"focus click",
       [](CameraModel& m) {
         m.isEvfEnable = true;
         m._clickPoint = (100 << 16) | 0xFFFF;
       },
       make.operator()<ClickAFCommand>(2), {"point(100,65535)"}, {}},
      {"focus click, negative x",
       [](CameraModel& m) {
         m.isEvfEnable = true;
         m._clickPoint = static_cast<VokInt32>(0xFFFF0001u);
       },
       make.operator()<ClickAFCommand>(2), {"point(-1,1)"}, {}},
      {"focus cursor", liveView, make.operator()<ClickAFCommand>(1), {}, {{EventType::mouse_CURSOR, 1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    auto model = std::make_shared<CameraModel>(camera_);
    c.setUp(*model);
    sim().clearCalls();
    events.clear();
    EXPECT_EQ(c.make(model)->execute(), c.finished);
    EXPECT_EQ(shortCalls(), c.calls);
    EXPECT_EQ(events.camera(), c.events);
  }
}

TEST_F(ShootingCommandTest, FailuresAreReportedAndOnlyBusyRetriesWhereTheRuleSays) {
  struct Case {
    const char* label;
    std::function<std::shared_ptr<Command>(const Model&)> make;
    std::vector<VokError> statuses;  // what VokSendCommand answers in turn
    std::vector<std::string> calls;
    std::vector<Seen> events;
    bool finished;
    bool downloadAllowed = false;
  };
  const Case cases[] = {
      // A failed press is reported, and the button is let go all the same.
      {"failed press", [](const Model& m) { return std::make_shared<TakePictureCommand>(m); }, {VOK_ERR_INTERNAL},
       {"cmd(0x4,3)", "cmd(0x4,0)"}, {{EventType::error, VOK_ERR_INTERNAL}}, true, true},
      {"busy release", [](const Model& m) { return std::make_shared<TakePictureCommand>(m); },
       {VOK_ERR_OK, VOK_ERR_DEVICE_BUSY}, {"cmd(0x4,3)", "cmd(0x4,0)"},
       {{EventType::device_BUSY, VOK_ERR_DEVICE_BUSY}}, true, true},
      {"busy press", [](const Model& m) { return std::make_shared<PressShutterCommand>(m, 1); },
       {VOK_ERR_DEVICE_BUSY}, {"cmd(0x4,1)"}, {{EventType::device_BUSY, VOK_ERR_DEVICE_BUSY}}, true},
      {"busy autofocus", [](const Model& m) { return std::make_shared<DoEvfAFCommand>(m, 0); },
       {VOK_ERR_DEVICE_BUSY}, {"cmd(0x102,0)"}, {{EventType::device_BUSY, VOK_ERR_DEVICE_BUSY}}, false},
      {"failed lens drive", [](const Model& m) { return std::make_shared<DriveLensEvfCommand>(m, 1); },
       {VOK_ERR_INTERNAL}, {"cmd(0x103,1)"}, {{EventType::error, VOK_ERR_INTERNAL}}, true},
      // Always done, however the camera answers.
      {"busy remote shooting", [](const Model& m) { return std::make_shared<SetRemoteShootingCommand>(m, 1); },
       {VOK_ERR_DEVICE_BUSY}, {"read(0x605)", "cmd(0x10f,1)"}, {{EventType::device_BUSY, VOK_ERR_DEVICE_BUSY}}, true},
      {"failed remote shooting", [](const Model& m) { return std::make_shared<SetRemoteShootingCommand>(m, 0); },
       {VOK_ERR_INTERNAL}, {"read(0x605)", "cmd(0x10f,0)"}, {{EventType::error, VOK_ERR_INTERNAL}}, true},
      {"busy roll and pitch", [](const Model& m) { return std::make_shared<SetRollPitchCommand>(m, 0x109); },
       {VOK_ERR_DEVICE_BUSY}, {"cmd(0x109,1)"},
       {{EventType::angle_INFO, 0}, {EventType::device_BUSY, VOK_ERR_DEVICE_BUSY}}, true},
  };
  sim().setProperty(cameraId_, 0x605, PropertyValue::uint32(0));  // remote shooting possible
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    auto model = std::make_shared<CameraModel>(camera_);
    model->isEvfEnable = true;  // so that the roll-and-pitch switch is sent
    model->canDownloadImage = false;
    sim().script("VokSendCommand", c.statuses);
    sim().clearCalls();
    events.clear();
    EXPECT_EQ(c.make(model)->execute(), c.finished);
    EXPECT_EQ(shortCalls(), c.calls);
    EXPECT_EQ(events.camera(), c.events);
    EXPECT_EQ(model->canDownloadImage.load(), c.downloadAllowed);
  }
}

TEST_F(ShootingCommandTest, WaitForLiveViewOrTheMirrorEndsOnceItComesOrAfterItsAttemptsWithOneReport) {
  struct Case {
    const char* label;
    std::function<std::shared_ptr<Command>(const Model&)> make;
    std::function<void(CameraModel&)> wait;   // the state the command waits in
    std::function<void(CameraModel&)> ready;  // what ends the wait
    std::vector<std::string> calls;           // once ready
    Seen givingUp;
  };
  const Case cases[] = {
      {"white-balance click", [](const Model& m) { return std::make_shared<ClickWBCommand>(m, 2); },
       [](CameraModel& m) { m.isEvfEnable = false; }, [](CameraModel& m) { m.isEvfEnable = true; }, {"cmd(0x104,0)"},
       {EventType::error, live_view::kStatusLiveViewOff}},
      {"focus click", [](const Model& m) { return std::make_shared<ClickAFCommand>(m, 2); },
       [](CameraModel& m) { m.isEvfEnable = false; }, [](CameraModel& m) { m.isEvfEnable = true; }, {"point(0,0)"},
       {EventType::error, live_view::kStatusLiveViewOff}},
      {"mirror up", [](const Model& m) { return std::make_shared<SwitchMirrorUpCommand>(m, 1); },
       [](CameraModel& m) { m._mirrorLockUpState = 2; }, [](CameraModel& m) { m._mirrorLockUpState = 0; },
       {"write(0x1000438)=1"}, {EventType::device_BUSY, VOK_ERR_DEVICE_BUSY}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    auto model = std::make_shared<CameraModel>(camera_);
    c.wait(*model);
    sim().clearCalls();
    events.clear();
    // Carried out once the wait ends, without a report of the wait.
    const auto waiting = c.make(model);
    for (int attempt = 1; attempt < 5; ++attempt) ASSERT_FALSE(waiting->execute()) << attempt;
    c.ready(*model);
    EXPECT_TRUE(waiting->execute());
    EXPECT_EQ(shortCalls(), c.calls);
    EXPECT_TRUE(events.camera().empty());

    // A wait that never ends is given up on, and said once.
    c.wait(*model);
    sim().clearCalls();
    const auto stuck = c.make(model);
    for (int attempt = 1; attempt < Command::kMaxAttempts; ++attempt) ASSERT_FALSE(stuck->execute()) << attempt;
    EXPECT_TRUE(events.camera().empty());
    EXPECT_TRUE(stuck->execute());
    EXPECT_EQ(events.camera(), (std::vector<Seen>{c.givingUp}));
    EXPECT_TRUE(shortCalls().empty());
  }
}

TEST_F(ShootingCommandTest, FullPressAllowsDownloadsUnlessTheDriveModeHoldsThem) {
  struct Case {
    VokInt32 parameter;
    VokUInt32 driveMode;
    bool allowed;
  };
  for (const Case& c : {Case{3, 0, true}, Case{3, 1, false}, Case{3, 4, false}, Case{1, 0, false}, Case{0, 0, false}}) {
    SCOPED_TRACE(testing::Message() << c.parameter << " in drive mode " << c.driveMode);
    auto model = std::make_shared<CameraModel>(camera_);
    model->canDownloadImage = false;
    model->_driveMode = c.driveMode;
    EXPECT_TRUE(PressShutterCommand(model, c.parameter).execute());
    EXPECT_EQ(model->canDownloadImage.load(), c.allowed);
  }
}

}  // namespace
}  // namespace camera_test
