// Start-up: the time from exec to the first top-level window being mapped, for a bare Qt window
// and for the application, in alternation. Watches the X server's root window for MapNotify, so
// neither program needs to take part; run it on an X server of its own (scripts/bench.sh starts
// it under xvfb-run). Each program is ended with SIGTERM once its window shows.
//
//   bench_startup [--pairs N] [--text-reference] <bare window program> <application>
//
// Any program with a window can stand in for the bare one: an earlier build of the application
// against this one, say. With --text-reference the application is also measured, for
// information, against the bare window program started with "--label" (one line of text).

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <chrono>
#include <vector>

#include "bench/BenchSupport.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Connection {
  explicit Connection(xcb_connection_t* c) : c(c) {}
  ~Connection() { xcb_disconnect(c); }
  xcb_connection_t* c;
};

// Throws away every event the server has sent so far.
void drainEvents(xcb_connection_t* c) {
  std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));  // a round trip
  while (xcb_generic_event_t* event = xcb_poll_for_event(c)) std::free(event);
}

void endChild(pid_t pid) {
  ::kill(pid, SIGTERM);
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
  while (::waitpid(pid, nullptr, WNOHANG) == 0) {
    if (Clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
      return;
    }
    ::usleep(2000);
  }
}

// Starts `command` and returns the seconds until a top-level window of any client is mapped.
double timeToMap(xcb_connection_t* c, const QStringList& command) {
  drainEvents(c);
  std::vector<QByteArray> words;
  for (const QString& word : command) words.push_back(QFile::encodeName(word));
  std::vector<char*> argv;
  for (QByteArray& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const QString program = command.join(u' ');
  pid_t pid = 0;
  const Clock::time_point start = Clock::now();
  if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
    bench::fail("cannot start a program");
  }
  const Clock::time_point deadline = start + std::chrono::seconds(30);
  pollfd fd{xcb_get_file_descriptor(c), POLLIN, 0};
  for (;;) {
    while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
      const bool mapped = (event->response_type & 0x7F) == XCB_MAP_NOTIFY &&
                          !reinterpret_cast<xcb_map_notify_event_t*>(event)->override_redirect;
      std::free(event);
      if (mapped) {
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        endChild(pid);
        return seconds;
      }
    }
    if (xcb_connection_has_error(c)) bench::fail("the X connection broke");
    if (::waitpid(pid, nullptr, WNOHANG) == pid)
      bench::fail(qPrintable(program + QStringLiteral(" ended before its window showed")));
    if (Clock::now() > deadline) {
      endChild(pid);
      bench::fail(qPrintable(program + QStringLiteral(" showed no window in 30 s")));
    }
    ::poll(&fd, 1, 5);
  }
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCommandLineParser parser;
  const QCommandLineOption pairsOption(QStringLiteral("pairs"), QStringLiteral("Alternating pairs (5)."),
                                       QStringLiteral("n"), QString::number(bench::kPairs));
  const QCommandLineOption textOption(QStringLiteral("text-reference"),
                                      QStringLiteral("Also against the bare window with one label."));
  parser.addOptions({pairsOption, textOption});
  parser.addPositionalArgument(QStringLiteral("bare"), QStringLiteral("The bare window program."));
  parser.addPositionalArgument(QStringLiteral("application"), QStringLiteral("The application."));
  parser.process(app);
  const int pairs = parser.value(pairsOption).toInt();
  if (parser.positionalArguments().size() != 2 || pairs <= 0) parser.showHelp(2);
  const Connection x(xcb_connect(nullptr, nullptr));
  if (xcb_connection_has_error(x.c)) bench::fail("no X server (DISPLAY)");
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x.c)).data->root;
  const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  xcb_change_window_attributes(x.c, root, XCB_CW_EVENT_MASK, &mask);
  xcb_flush(x.c);

  const QStringList bare{parser.positionalArguments()[0]};
  const QStringList labelled{bare[0], QStringLiteral("--label")};
  const QStringList application{parser.positionalArguments()[1]};
  // A home of its own, whose stored language each round sets.
  QTemporaryDir home;
  qputenv("HOME", QFile::encodeName(home.path()));
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral(".config"))));
  const QString settings = home.filePath(QStringLiteral(".config/Ravlio/Ravlio/UserDefaults.ini"));
  QDir().mkpath(QFileInfo(settings).path());
  bench::Goals goals;
  for (const char* language : {"en", "ko"}) {
    QFile file(settings);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) bench::fail("cannot write the settings");
    file.write(QByteArray("[General]\nAppleLanguages=") + language + '\n');
    file.close();
    // One start of each first: the page cache and the font caches are warm for every measured
    // start, as they are on a desktop.
    timeToMap(x.c, bare);
    timeToMap(x.c, application);
    std::printf("start-up in \"%s\", exec to the window mapped:\n", language);
    const bench::Alternation times = bench::alternate(
        pairs, [&] { return timeToMap(x.c, bare); }, [&] { return timeToMap(x.c, application); });
    bench::reportAlternation(
        &goals, std::string("start-up in \"") + language + "\" (the application's over a bare Qt window's)",
        "bare Qt window", "ravlio", times, 1.5, false, true);
    if (!parser.isSet(textOption)) continue;
    timeToMap(x.c, labelled);
    std::printf("for information, against a window with one line of text:\n");
    const bench::Alternation withText = bench::alternate(
        pairs, [&] { return timeToMap(x.c, labelled); }, [&] { return timeToMap(x.c, application); });
    bench::reportAlternation(nullptr, std::string("start-up in \"") + language + "\" (over a window with one label's)",
                             "Qt window with one label", "ravlio", withText, 0, false, true);
  }
  return goals.finish();
}
