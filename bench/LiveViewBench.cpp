// Live view through the simulated SDK for a while (60 s unless the first argument says other
// seconds), one frame after the other as fast as the commands allow, measuring the process's
// resident memory after a short warm-up and at the end. Exits with 1 when it grew by more than
// 2 MiB, when no frame came, or when SDK references were left.
//
//   bench_liveview [seconds]

#include <QCoreApplication>
#include <QString>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "bench/BenchSupport.h"
#include "camera/ActionEvent.h"
#include "camera/CameraController.h"
#include "camera/CameraEvent.h"
#include "camera/CameraModel.h"
#include "platform/NotificationCenter.h"
#include "platform/Queues.h"
#include "vok/Simulation.h"

namespace {

constexpr double kWarmUp = 5;                       // seconds before the first measurement
constexpr long kAllowedGrowth = 2 * 1024 * 1024;    // bytes
constexpr std::size_t kFrameSize = 96 * 1024;

double since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  platform::MainQueue::install();
  const double seconds = argc > 1 ? std::atof(argv[1]) : 60;

  auto& sim = vok::sim::Simulator::instance();
  vok::sim::CameraSpec spec;
  spec.properties[0x500] = vok::sim::PropertyValue::uint32(1);
  spec.properties[0x501] = vok::sim::PropertyValue::uint32(0);
  spec.evf.frame.assign(kFrameSize, 0x5A);
  const vok::sim::CameraId cameraId = sim.addCamera(spec);
  if (VokInitializeSDK() != VOK_ERR_OK) return 1;
  VokCameraListRef list = nullptr;
  VokCameraRef camera = nullptr;
  if (VokGetCameraList(&list) != VOK_ERR_OK || VokGetChildAtIndex(list, 0, &camera) != VOK_ERR_OK) return 1;
  VokRelease(list);

  auto model = std::make_shared<CameraModel>(camera);
  auto controller = std::make_unique<CameraController>(model);
  if (controller->registerHandlers(camera) != VOK_ERR_OK) return 1;
  controller->connect();

  // Each frame that arrives (or a download that gave up) asks for the next one.
  int frames = 0;
  const auto next = [&] { controller->actionPerformed(ActionEvent(ActionEvent::Command::download_EVF, QVariant())); };
  int observer = 0;
  platform::NotificationCenter::defaultCenter().addObserver(
      &observer, QString::fromLatin1(kMyViewUpdate), [&](const platform::Notification& notification) {
        const auto event = std::dynamic_pointer_cast<const CameraEvent>(notification.object);
        if (!event) return;
        if (event->type() == CameraEvent::CameraEventType::evf_DATA_CHANGED) ++frames;
        if (event->type() == CameraEvent::CameraEventType::evf_DATA_CHANGED ||
            event->type() == CameraEvent::CameraEventType::error) {
          next();
        }
      });
  controller->actionPerformed(ActionEvent(ActionEvent::Command::start_EVF, QVariant()));
  next();

  const auto start = std::chrono::steady_clock::now();
  const auto runUntil = [&](double at) {
    while (since(start) < at) platform::processEventsUntil([] { return false; }, std::chrono::milliseconds(100));
  };
  runUntil(std::min(kWarmUp, seconds));
  const qint64 before = bench::statusKiB("VmRSS") * 1024;
  const int framesBefore = frames;
  runUntil(seconds);
  const qint64 after = bench::statusKiB("VmRSS") * 1024;
  const int measured = frames - framesBefore;

  platform::NotificationCenter::defaultCenter().removeObserver(&observer);
  controller->actionPerformed(ActionEvent(ActionEvent::Command::end_EVF, QVariant()));
  controller->stop();
  controller.reset();
  VokRelease(camera);
  VokTerminateSDK();
  const vok::sim::ReferenceStats stats = sim.stats();

  const qint64 growth = after - before;
  const double span = seconds - std::min(kWarmUp, seconds);
  std::printf("live view: %d frames of %zu KiB in %.0f s (%.1f a second) after %.0f s of warm-up\n", measured,
              kFrameSize / 1024, span, span > 0 ? measured / span : 0.0, std::min(kWarmUp, seconds));
  std::printf("resident memory: %.2f MiB before, %.2f MiB after, growth %+.1f KiB (limit %ld KiB)\n",
              before / 1048576.0, after / 1048576.0, growth / 1024.0, kAllowedGrowth / 1024);
  std::printf("simulated SDK: %d frames served, %zu calls in the log (limit %zu), %d references left, %d misused\n",
              sim.evfFrames(cameraId), sim.calls().size(), sim.callLogLimit(), stats.leakedAtTerminate,
              stats.doubleReleases + stats.useAfterRelease + stats.unknownReferences);
  bench::Goals goals;
  goals.check("live view frames measured", measured, 1, true);
  goals.check("live view memory growth, KiB", growth / 1024.0, kAllowedGrowth / 1024.0);
  goals.check("SDK references left at termination", stats.leakedAtTerminate, 0);
  return goals.finish();
}
