// The action dispatcher's whole table: for each of the 67 actions, the commands it queues (in
// order, with their parameters) and what it changes in the store and the controller. The
// commands are recorded, not run.

#include <cxxabi.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <typeinfo>
#include <variant>
#include <vector>

#include "CameraTestSupport.h"
#include "camera/ActionEvent.h"
#include "camera/CameraController.h"
#include "camera/CameraModel.h"
#include "camera/CommandProcessor.h"
#include "camera/DownloadAllFilesCommand.h"
#include "camera/DownloadCommand.h"
#include "camera/GetPropertyCommand.h"
#include "camera/GetPropertyDescCommand.h"
#include "camera/ParameterCommand.h"
#include "camera/SetPropertyCommandWithData.h"

namespace camera_test {
namespace {

using C = ActionEvent::Command;

// Keeps what the dispatcher posts instead of running it.
class RecordingProcessor final : public CommandProcessor {
 public:
  void post(std::shared_ptr<Command> command) override {
    std::lock_guard lock(mutex_);
    posted_.push_back(std::move(command));
  }
  std::vector<std::shared_ptr<Command>> take() {
    std::lock_guard lock(mutex_);
    return std::move(posted_);
  }

 private:
  std::mutex mutex_;
  std::vector<std::shared_ptr<Command>> posted_;
};

std::string className(const Command& command) {
  int status = 0;
  char* name = abi::__cxa_demangle(typeid(command).name(), nullptr, nullptr, &status);
  std::string text = status == 0 ? name : typeid(command).name();
  std::free(name);
  return text;
}

std::string hexOrDecimal(long long value) {
  char text[32];
  std::snprintf(text, sizeof text, value >= 0x100 ? "0x%llx" : "%lld", value);
  return text;
}

// "PressShutterCommand 3", "SetPropertyCommandWithData 0x436 7", "... 0x507 zoom 5",
// "... 0x508 (228,5000)", "GetPropertyCommand 7", "DownloadCommand <folder>".
std::string commandText(const Command& command) {
  std::string text = className(command);
  if (const auto* p = dynamic_cast<const ParameterCommand*>(&command)) {
    text += ' ' + hexOrDecimal(p->parameter());
  } else if (const auto* set = dynamic_cast<const SetPropertyCommandWithData*>(&command)) {
    text += ' ' + hexOrDecimal(set->propertyID()) + ' ';
    if (const auto* zoom = std::get_if<VokEvfZoom>(&set->data())) {
      text += "zoom " + std::to_string(zoom->rawValue);
    } else if (const auto* point = std::get_if<tagVokPoint>(&set->data())) {
      text += '(' + std::to_string(point->x) + ',' + std::to_string(point->y) + ')';
    } else {
      text += std::to_string(std::get<VokUInt32>(set->data()));
    }
  } else if (const auto* get = dynamic_cast<const GetPropertyCommand*>(&command)) {
    text += ' ' + hexOrDecimal(get->propertyID());
  } else if (const auto* desc = dynamic_cast<const GetPropertyDescCommand*>(&command)) {
    text += ' ' + hexOrDecimal(desc->propertyID());
  } else if (const auto* download = dynamic_cast<const DownloadCommand*>(&command)) {
    text += ' ' + download->folder().toStdString();
    if (download->ProgressFunc != &DownloadCommand::downloadProgressCallback) text += " without progress";
  } else if (const auto* all = dynamic_cast<const DownloadAllFilesCommand*>(&command)) {
    text += ' ' + all->folder().toStdString();
  }
  return text;
}

class ActionTableTest : public SimulatedCamera {
 protected:
  void SetUp() override {
    vok::sim::CameraSpec spec;
    spec.volumes = {{"SD", {vok::sim::CardEntry::picture("IMG_0001.JPG", 10)}}};
    startCamera(spec);
  }

  // A fresh store and controller; the zoom position as the last frame left it.
  void fresh() {
    model = std::make_shared<CameraModel>(camera_);
    model->setEvfZoomPosition({100, 5000});
    auto recording = std::make_unique<RecordingProcessor>();
    processor = recording.get();
    controller = std::make_unique<CameraController>(model, std::move(recording));
    controller->setDownloadFolders({QStringLiteral("/pictures"), QStringLiteral("/transfer")});
  }

  // What `action` queues, as commandText() has it; a command queued only once the one before
  // it has finished reads "then ...".
  std::vector<std::string> queued(const ActionEvent& action) {
    controller->actionPerformed(action);
    std::vector<std::string> out;
    for (const auto& command : processor->take()) {
      out.push_back(commandText(*command));
      for (auto next = command->followUp(); next; next = next->followUp()) out.push_back("then " + commandText(*next));
    }
    return out;
  }

  [[nodiscard]] std::string state() const {
    return std::string(model->isEvfEnable ? "live view" : "no live view") + ", click " +
           std::to_string(controller->clickType.load()) + ", roll-pitch " + std::to_string(model->_rollPitch.load());
  }

  // A card item, which the download row takes over.
  VokDirectoryItemRef cardItem() {
    VokBaseRef volume = nullptr;
    VokBaseRef item = nullptr;
    EXPECT_EQ(VokGetChildAtIndex(camera_, 0, &volume), VOK_ERR_OK);
    EXPECT_EQ(VokGetChildAtIndex(volume, 0, &item), VOK_ERR_OK);
    VokRelease(volume);
    return item;
  }

  std::shared_ptr<CameraModel> model;
  RecordingProcessor* processor = nullptr;
  std::unique_ptr<CameraController> controller;
};

TEST_F(ActionTableTest, EveryActionQueuesItsCommandsInOrder) {
  const std::string idle = "no live view, click 0, roll-pitch 1";
  const std::string set = "SetPropertyCommandWithData ";
  struct Row {
    C action;
    std::vector<std::string> commands;
    std::string state;
  };
  // Written from the table of actions: each value row writes the action's number, here 7.
  const std::vector<Row> table = {
      {C::none, {}, idle},
      {C::download, {"DownloadCommand /transfer"}, idle},
      {C::take_PICTURE, {"TakePictureCommand"}, idle},
      {C::set_CAMERASETTING, {}, idle},
      {C::press_COMPLETELY, {"PressShutterCommand 3"}, idle},
      {C::press_HALFWAY, {"PressShutterCommand 1"}, idle},
      {C::press_OFF, {"PressShutterCommand 0"}, idle},
      {C::start_EVF, {"StartEvfCommand"}, "live view, click 0, roll-pitch 1"},
      {C::end_EVF, {"EndEvfCommand"}, idle},
      {C::get_PROPERTY, {"GetPropertyCommand 7"}, idle},
      {C::get_PROPERTYDESC, {"GetPropertyDescCommand 7"}, idle},
      {C::download_EVF, {"DownloadEvfCommand"}, idle},
      {C::set_AE_MODE, {set + "0x436 7"}, idle},
      {C::set_DRIVE_MODE, {set + "0x401 7"}, idle},
      {C::set_FLASHOPTION, {}, idle},
      {C::set_FLASHOUTPUT, {}, idle},
      {C::set_MUTE, {}, idle},
      {C::set_AFASSISTBEAM, {}, idle},
      {C::set_REDEYELAMP, {}, idle},
      {C::set_WHITE_BALANCE, {set + "0x106 7"}, idle},
      {C::set_METERING_MODE, {set + "0x403 7"}, idle},
      {C::set_EXPOSURE_COMPENSATION, {set + "0x407 7"}, idle},
      {C::set_IMAGEQUALITY, {set + "0x100 7"}, idle},
      {C::set_AV, {set + "0x405 7"}, idle},
      {C::set_TV, {set + "0x406 7"}, idle},
      {C::set_LED, {}, idle},
      {C::set_ISO_SPEED, {set + "0x402 7"}, idle},
      {C::set_ASPECT_RATIO, {}, idle},
      {C::set_EVF_AFMODE, {"DoEvfAFCommand 0", "then " + set + "0x50e 7"}, idle},
      {C::set_ZOOM, {set + "0x600 7"}, idle},
      {C::set_AF_MODE, {set + "0x404 7"}, idle},
      {C::set_STROBO, {set + "0x601 7"}, idle},
      {C::set_MOVIEQUALITY, {set + "0x1000423 7"}, idle},
      {C::set_MOVIE_HFR, {set + "0x100045d 7"}, idle},
      {C::set_PICTURESTYLE, {set + "0x114 7"}, idle},
      {C::set_ASPECT, {set + "0x1000431 7"}, idle},
      {C::evf_AF_ON, {"DoEvfAFCommand 1"}, idle},
      {C::evf_AF_OFF, {"DoEvfAFCommand 0"}, idle},
      {C::focus_NEAR1, {"DriveLensEvfCommand 1"}, idle},
      {C::focus_NEAR2, {"DriveLensEvfCommand 2"}, idle},
      {C::focus_NEAR3, {"DriveLensEvfCommand 3"}, idle},
      {C::focus_FAR1, {"DriveLensEvfCommand 0x8001"}, idle},
      {C::focus_FAR2, {"DriveLensEvfCommand 0x8002"}, idle},
      {C::focus_FAR3, {"DriveLensEvfCommand 0x8003"}, idle},
      {C::zoom_FIT, {set + "0x507 zoom 1"}, idle},
      {C::zoom_ZOOM, {set + "0x507 zoom 5"}, idle},
      {C::zoom_UP, {set + "0x508 (100,4872)"}, idle},
      {C::zoom_LEFT, {set + "0x508 (0,5000)"}, idle},
      {C::zoom_RIGHT, {set + "0x508 (228,5000)"}, idle},
      {C::zoom_DOWN, {set + "0x508 (100,5128)"}, idle},
      {C::download_ALLFILES, {"DownloadAllFilesCommand /pictures"}, idle},
      {C::delete_ALLFILES, {"DeleteAllFilesCommand"}, idle},
      {C::format_VOLUME, {"FormatVolumeCommand"}, idle},
      {C::remoteshooting_START, {"SetRemoteShootingCommand 1"}, idle},
      {C::remoteshooting_END, {"SetRemoteShootingCommand 0"}, idle},
      {C::rool_PITCH, {"SetRollPitchCommand 0x109"}, idle},  // live view off: no toggle
      {C::press_STILL, {"SwitchStillMovieCommand 0x108"}, idle},
      {C::press_MOVIE, {"SwitchStillMovieCommand 0x107"}, idle},
      {C::rec_START, {"SetRecCommand 4"}, idle},
      {C::rec_END, {"SetRecCommand 0", "then SwitchStillMovieCommand 0x108"}, idle},
      {C::click_WB, {"ClickWBCommand 1"}, "no live view, click 1, roll-pitch 1"},
      {C::click_MOUSE_WB, {"ClickWBCommand 2"}, idle},
      {C::click_AF, {"ClickAFCommand 1"}, "no live view, click 2, roll-pitch 1"},
      {C::click_MOUSE_AF, {"ClickAFCommand 2"}, idle},
      {C::mirrorup_ON, {"SwitchMirrorUpCommand 1"}, idle},
      {C::mirrorup_OFF, {"SwitchMirrorUpCommand 0"}, idle},
      {C::shut_DOWN, {}, idle},
  };
  ASSERT_EQ(table.size(), static_cast<std::size_t>(ActionEvent::kCommandCount));
  EventRecorder events;
  for (std::size_t raw = 0; raw < table.size(); ++raw) {
    const Row& row = table[raw];
    SCOPED_TRACE(testing::Message() << "action " << raw);
    ASSERT_EQ(static_cast<std::size_t>(row.action), raw);
    fresh();
    const bool download = row.action == C::download;
    const ActionEvent action = download ? ActionEvent(row.action, std::make_shared<const ActionVokRef>(cardItem()))
                                        : ActionEvent(row.action, QVariant::fromValue<quint32>(7));
    EXPECT_EQ(queued(action), row.commands);
    EXPECT_EQ(state(), row.state);
    EXPECT_EQ(+model->evfZoomPosition().x, 100);  // the zoom rows do not move the store
    controller.reset();                          // the download row's item goes with its command
    EXPECT_EQ(sim().stats().live, 1);
  }
  EXPECT_EQ(events.view(), (std::vector<ViewEvent::ViewEventType>{ViewEvent::ViewEventType::DEVICE_DISCONNECTED}));
}

TEST_F(ActionTableTest, ActionWithABadObjectQueuesNothing) {
  const QVariant bad[] = {QVariant(), QVariant(-1), QVariant(QStringLiteral("7")), QVariant(7.5),
                          QVariant::fromValue<qulonglong>(0x100000000ull)};
  for (C action : {C::set_AE_MODE, C::set_ISO_SPEED, C::set_EVF_AFMODE, C::set_ASPECT, C::download}) {
    for (const QVariant& object : bad) {
      SCOPED_TRACE(testing::Message() << static_cast<int>(action) << " with " << object.toString().toStdString());
      fresh();
      EXPECT_TRUE(queued(ActionEvent(action, object)).empty());
    }
    // A reference where a number belongs.
    fresh();
    const auto wrapped = std::make_shared<const ActionVokRef>(camera_);
    EXPECT_TRUE(queued(ActionEvent(action == C::download ? C::set_AE_MODE : action, wrapped)).empty());
  }
  // A number as large as 32 bits allow is a value.
  fresh();
  EXPECT_EQ(queued(ActionEvent(C::set_TV, QVariant::fromValue<quint32>(0xFFFFFFFF))),
            (std::vector<std::string>{"SetPropertyCommandWithData 0x406 4294967295"}));
}

TEST_F(ActionTableTest, SecondCommandOfARowNeverOvertakesTheFirstsBusyRetry) {
  sim().setProperty(cameraId_, 0x01000422, vok::sim::PropertyValue::uint32(1));  // movie mode
  struct Case {
    const char* label;
    C action;
    std::function<void()> busyOnce;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {"autofocus mode", C::set_EVF_AFMODE, [] { sim().script("VokSendCommand", {VOK_ERR_DEVICE_BUSY}); },
       {"VokSendCommand", "VokSendCommand", "VokSetPropertyData(0x50e)"}},
      // Recording stops before the camera leaves movie mode.
      {"recording end", C::rec_END, [] { sim().script("VokSetPropertyData", 0x510, {VOK_ERR_DEVICE_BUSY}); },
       {"VokSetPropertyData(0x510)", "VokSetPropertyData(0x510)", "VokGetPropertyData(0x1000422)",
        "VokSetPropertyData(0xb)", "VokSetCapacity", "VokSendCommand"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    platform::ScopedFakeClock clock;
    CameraController controller(std::make_shared<CameraModel>(camera_));
    sim().clearCalls();
    c.busyOnce();
    runInFakeTime(*clock, [&] { controller.actionPerformed(ActionEvent(c.action, QVariant::fromValue<quint32>(7))); });
    ASSERT_TRUE(advanceUntil(*clock, [&] { return callNames().size() >= c.calls.size(); }));
    pumpFor(*clock, 1);  // nothing more comes
    controller.stop();
    EXPECT_EQ(callNames(), c.calls);
  }
}

TEST_F(ActionTableTest, ZoomMovesStopAtZeroAndSaturateAtTheLargestValue) {
  struct Case {
    tagVokPoint from;
    C move;
    tagVokPoint to;
  };
  const Case cases[] = {
      {{100, 0}, C::zoom_LEFT, {0, 0}},
      {{100, 0}, C::zoom_UP, {100, 0}},
      {{5000, 7}, C::zoom_RIGHT, {5128, 7}},
      {{5000, 7}, C::zoom_DOWN, {5000, 135}},
      {{INT_MAX - 100, 3}, C::zoom_RIGHT, {INT_MAX, 3}},
      {{3, INT_MAX}, C::zoom_DOWN, {3, INT_MAX}},
      {{INT_MIN, INT_MIN}, C::zoom_UP, {INT_MIN, 0}},
      {{9, 9}, C::zoom_FIT, {9, 9}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << +c.from.x << "," << +c.from.y << " move " << static_cast<int>(c.move));
    const tagVokPoint to = movedZoomPosition(c.from, c.move);
    EXPECT_EQ(+to.x, +c.to.x);
    EXPECT_EQ(+to.y, +c.to.y);
  }
}

TEST_F(ActionTableTest, RollPitchTogglesOnlyWhileLiveViewIsOn) {
  fresh();
  model->isEvfEnable = true;
  for (VokUInt32 expected : {0u, 1u, 0u}) {
    EXPECT_EQ(queued(ActionEvent(C::rool_PITCH, QVariant())), (std::vector<std::string>{"SetRollPitchCommand 0x109"}));
    EXPECT_EQ(model->_rollPitch.load(), expected);
  }
}

}  // namespace
}  // namespace camera_test
