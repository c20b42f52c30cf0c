// Feeds the scenario reader any text and applies what it accepts to the simulator, as a run
// of the application does.

#include <QByteArray>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdint>
#include <string>

#include "vok/Scenario.h"

namespace {

// A scenario names a call-log file that the simulator truncates; in a fuzz run that file is
// always one scratch file, so that an input can never name another.
std::string withScratchCallLog(const std::string& text) {
  const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text));
  if (!document.isObject() || !document.object().value(QStringLiteral("callLog")).isString()) return text;
  static const QString scratch = QDir::temp().filePath(QStringLiteral("ravlio-fuzz-scenario-calls.log"));
  QJsonObject root = document.object();
  root.insert(QStringLiteral("callLog"), scratch);
  return QJsonDocument(root).toJson(QJsonDocument::Compact).toStdString();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string error;
  (void)vok::sim::loadScenarioText(withScratchCallLog(text), &error);
  return 0;
}
