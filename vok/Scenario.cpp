// Scenario files for runs of the application: which cameras exist, when they come and go, and
// what the SDK answers at start. Read with Qt's JSON reader, which never throws.

#include "vok/Scenario.h"

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "vok/SimulatorImpl.h"

namespace vok::sim {

namespace {

constexpr const char* kEnvironmentVariable = "RAVLIO_VOK_SCENARIO";

// Scenario times from about 30 years on stand for "never"; converting them to the clock's
// nanoseconds would overflow it.
constexpr double kNever = 1e9;

// One supported camera, plugged in shortly after start.
constexpr const char* kDefaultScenario = R"({
  "cameras": [{"productName": "Orvell Tavo Quill", "firmwareVersion": "1.0.2", "plugAt": 1.5}]
})";

struct ScenarioCamera {
  CameraSpec spec;
  double plugAt = 0;
  std::optional<double> unplugAt;
  std::optional<double> replugAt;
  std::vector<VokError> probeStatuses;
  int infoEmptyReads = 0;
};

struct Scenario {
  VokError initializeStatus = VOK_ERR_OK;
  std::string callLog;
  std::vector<ScenarioCamera> cameras;
};

// A number, or a string holding one ("0x81", "129", "1.5").
std::optional<double> numberOf(const QJsonValue& value) {
  if (value.isDouble()) {
    return value.toDouble();
  }
  if (!value.isString()) {
    return std::nullopt;
  }
  const QString text = value.toString().trimmed();
  bool ok = false;
  if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
    const qulonglong n = text.mid(2).toULongLong(&ok, 16);
    return ok ? std::optional<double>(static_cast<double>(n)) : std::nullopt;
  }
  const double n = text.toDouble(&ok);
  return ok ? std::optional<double>(n) : std::nullopt;
}

std::optional<VokError> statusOf(const QJsonValue& value) {
  const auto n = numberOf(value);
  if (!n || *n < 0 || *n > 0xFFFFFFFF || std::floor(*n) != *n) {
    return std::nullopt;
  }
  return static_cast<VokError>(*n);
}

std::optional<double> secondsOf(const QJsonValue& value) {
  const auto n = numberOf(value);
  if (!n || !std::isfinite(*n) || *n < 0) {
    return std::nullopt;
  }
  return n;
}

bool parseCamera(const QJsonObject& object, const std::string& where, ScenarioCamera& camera, std::string& error) {
  auto text = [&](const char* key, std::string& out) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined()) {
      return true;
    }
    if (!value.isString()) {
      error = where + "." + key + ": not a string";
      return false;
    }
    out = value.toString().toStdString();
    return true;
  };
  auto seconds = [&](const char* key, std::optional<double>& out) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined()) {
      return true;
    }
    out = secondsOf(value);
    if (!out) {
      error = where + "." + key + ": not a number of seconds";
      return false;
    }
    return true;
  };
  std::optional<double> plugAt;
  if (!text("productName", camera.spec.productName) || !text("firmwareVersion", camera.spec.firmwareVersion) ||
      !seconds("plugAt", plugAt) || !seconds("unplugAt", camera.unplugAt) || !seconds("replugAt", camera.replugAt)) {
    return false;
  }
  camera.plugAt = plugAt.value_or(0);

  const QJsonValue probe = object.value(QLatin1String("probeStatuses"));
  if (!probe.isUndefined()) {
    if (!probe.isArray()) {
      error = where + ".probeStatuses: not an array";
      return false;
    }
    for (const QJsonValue& entry : probe.toArray()) {
      const auto status = statusOf(entry);
      if (!status) {
        error = where + ".probeStatuses: not a status";
        return false;
      }
      camera.probeStatuses.push_back(*status);
    }
  }
  const QJsonValue reads = object.value(QLatin1String("infoEmptyReads"));
  if (!reads.isUndefined()) {
    const auto n = statusOf(reads);
    if (!n || *n > 1000000) {
      error = where + ".infoEmptyReads: not a count";
      return false;
    }
    camera.infoEmptyReads = static_cast<int>(*n);
  }
  return true;
}

bool parse(const std::string& json, Scenario& scenario, std::string& error) {
  QJsonParseError parseError{};
  const QJsonDocument document =
      QJsonDocument::fromJson(QByteArray(json.data(), static_cast<qsizetype>(json.size())), &parseError);
  if (parseError.error != QJsonParseError::NoError) {
    error = "not JSON: " + parseError.errorString().toStdString() + " at offset " +
            std::to_string(parseError.offset);
    return false;
  }
  if (!document.isObject()) {
    error = "the scenario is not a JSON object";
    return false;
  }
  const QJsonObject root = document.object();

  const QJsonValue init = root.value(QLatin1String("initializeStatus"));
  if (!init.isUndefined()) {
    const auto status = statusOf(init);
    if (!status) {
      error = "initializeStatus: not a status";
      return false;
    }
    scenario.initializeStatus = *status;
  }
  const QJsonValue log = root.value(QLatin1String("callLog"));
  if (!log.isUndefined()) {
    if (!log.isString()) {
      error = "callLog: not a string";
      return false;
    }
    scenario.callLog = log.toString().toStdString();
  }
  const QJsonValue cameras = root.value(QLatin1String("cameras"));
  if (!cameras.isUndefined()) {
    if (!cameras.isArray()) {
      error = "cameras: not an array";
      return false;
    }
    const QJsonArray list = cameras.toArray();
    for (qsizetype i = 0; i < list.size(); ++i) {
      const std::string where = "cameras[" + std::to_string(i) + "]";
      if (!list.at(i).isObject()) {
        error = where + ": not an object";
        return false;
      }
      ScenarioCamera camera;
      if (!parseCamera(list.at(i).toObject(), where, camera, error)) {
        return false;
      }
      scenario.cameras.push_back(std::move(camera));
    }
  }
  return true;
}

void apply(const Scenario& scenario) {
  Simulator& simulator = Simulator::instance();
  simulator.reset();
  if (scenario.initializeStatus != VOK_ERR_OK) {
    simulator.script("VokInitializeSDK", {scenario.initializeStatus});
  }
  if (!scenario.callLog.empty()) {
    simulator.setCallLogFile(scenario.callLog);
  }
  std::vector<TimedAction> actions;
  for (const ScenarioCamera& camera : scenario.cameras) {
    const CameraId id = simulator.addCamera(camera.spec, camera.plugAt <= 0);
    {
      Simulator::Impl& s = simulator.impl();
      std::lock_guard lock(s.mutex);
      CameraState* cam = s.camera(id);
      if (!camera.probeStatuses.empty()) {
        cam->scripts["VokGetChildCount"].assign(camera.probeStatuses.begin(), camera.probeStatuses.end());
      }
      cam->emptyNameReads = camera.infoEmptyReads;
    }
    if (camera.plugAt > 0) {
      actions.push_back({camera.plugAt, id, true});
    }
    if (camera.unplugAt) {
      actions.push_back({*camera.unplugAt, id, false});
    }
    if (camera.replugAt) {
      actions.push_back({*camera.replugAt, id, true});
    }
  }
  simulator.impl().startTimer(std::move(actions));
}

}  // namespace

void Simulator::Impl::startTimer(std::vector<TimedAction> actions) {
  stopTimer();
  if (actions.empty()) {
    return;
  }
  std::stable_sort(actions.begin(), actions.end(),
                   [](const TimedAction& a, const TimedAction& b) { return a.at < b.at; });
  {
    std::lock_guard lock(timerMutex);
    timerStop = false;
  }
  const auto start = std::chrono::steady_clock::now();
  timerThread = std::thread([this, start, actions = std::move(actions)] {
    Simulator& simulator = Simulator::instance();
    for (const TimedAction& action : actions) {
      if (action.at >= kNever) {
        // Beyond the clock's reach (and any run's length): this and every later step never come.
        std::unique_lock lock(timerMutex);
        timerWake.wait(lock, [this] { return timerStop; });
        return;
      }
      const auto due = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                   std::chrono::duration<double>(action.at));
      {
        std::unique_lock lock(timerMutex);
        if (timerWake.wait_until(lock, due, [this] { return timerStop; })) {
          return;
        }
      }
      if (action.plug) {
        simulator.plug(action.camera);
      } else {
        simulator.unplug(action.camera);
      }
    }
  });
}

void Simulator::Impl::stopTimer() {
  {
    std::lock_guard lock(timerMutex);
    timerStop = true;
  }
  timerWake.notify_all();
  if (timerThread.joinable() && timerThread.get_id() != std::this_thread::get_id()) {
    timerThread.join();
  }
}

bool loadScenarioText(const std::string& json, std::string* error) {
  Scenario scenario;
  std::string why;
  if (!parse(json, scenario, why)) {
    if (error) {
      *error = why;
    }
    return false;
  }
  apply(scenario);
  return true;
}

bool loadScenarioFile(const std::string& path, std::string* error) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) {
    if (error) {
      *error = "cannot read " + path + ": " + file.errorString().toStdString();
    }
    return false;
  }
  const QByteArray bytes = file.readAll();
  std::string why;
  if (!loadScenarioText(bytes.toStdString(), &why)) {
    if (error) {
      *error = path + ": " + why;
    }
    return false;
  }
  return true;
}

bool loadScenarioFromEnvironment(std::string* error) {
  const char* path = std::getenv(kEnvironmentVariable);
  if (path && *path) {
    if (loadScenarioFile(path, error)) {
      return true;
    }
    loadScenarioText(kDefaultScenario);
    return false;
  }
  return loadScenarioText(kDefaultScenario, error);
}

}  // namespace vok::sim
