#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include <sys/stat.h>

#include "platform/Queues.h"

// Every test binary runs with a QApplication on the offscreen platform, so that widgets, the
// main queue and timers work the way they do in the program.
namespace {
// The offscreen platform says so for every window it is asked to raise; that is not news.
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.startsWith(QStringLiteral("This plugin does not support"))) return;
  qt_message_output(type, context, message);
}

// A home of the process's own, with its XDG folders inside, so that what the program and the
// toolkit write for the user (settings, the working folder, the folder panel's history) never
// reaches the real home, nor another test running beside this one. Removed when the run ends.
class TemporaryHome {
 public:
  TemporaryHome() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/ravlio-test-home.XXXXXX";
    if (!::mkdtemp(pattern.data())) {
      std::perror("mkdtemp");
      std::abort();
    }
    root_ = pattern;
    const std::pair<const char*, const char*> folders[] = {
        {"HOME", ""},
        {"XDG_CONFIG_HOME", "/.config"},
        {"XDG_CACHE_HOME", "/.cache"},
        {"XDG_DATA_HOME", "/.local/share"},
        {"XDG_STATE_HOME", "/.local/state"},
        {"XDG_RUNTIME_DIR", "/run"},
    };
    for (const auto& [name, below] : folders) {
      const std::string path = root_.string() + below;
      std::filesystem::create_directories(path);
      ::setenv(name, path.c_str(), 1);
    }
    // The toolkit accepts a runtime folder only when no one else may enter it.
    ::chmod((root_ / "run").c_str(), 0700);
  }
  ~TemporaryHome() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  TemporaryHome(const TemporaryHome&) = delete;
  TemporaryHome& operator=(const TemporaryHome&) = delete;

 private:
  std::filesystem::path root_;
};
}  // namespace

int main(int argc, char** argv) {
  // Static, so that it goes last: settings that static objects write back as the process ends
  // still land in it before it is removed.
  static const TemporaryHome home;
  qInstallMessageHandler(quietHandler);
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  platform::MainQueue::install();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
