// The installed program's own start: its command line, a start where no display can be opened,
// and a second start while a copy runs.

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/Queues.h"

namespace {

struct ProgramRun {
  int status = -1;
  QString out;
  QString err;
};

// The program with a display that cannot be opened, unless `environment` gives one.
QProcessEnvironment programEnvironment() {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "RAVLIO_VOK_SCENARIO"}) environment.remove(QString::fromLatin1(name));
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
  return environment;
}

ProgramRun runProgram(const QStringList& arguments, const QProcessEnvironment& environment) {
  QProcess process;
  process.setProcessEnvironment(environment);
  process.start(QStringLiteral(RAVLIO_PROGRAM), arguments);
  ProgramRun run;
  if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit) return run;
  run.status = process.exitCode();
  run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
  run.err = QString::fromLocal8Bit(process.readAllStandardError());
  return run;
}

TEST(CommandLine, AnswersAndEndsWithoutADisplay) {
  struct Case {
    QStringList arguments = {};
    QString display = {};  // empty: none
    int status = 0;
    QString out = {};      // the start of standard output
    QStringList err = {};  // what standard error holds, in order
  };
  const QString usage = QStringLiteral("Usage: ravlio [options]\n");
  const Case cases[] = {
      {.arguments = {QStringLiteral("--help")}, .status = 0, .out = usage},
      {.arguments = {QStringLiteral("-h")}, .status = 0, .out = usage},
      {.arguments = {QStringLiteral("--version")}, .status = 0, .out = QStringLiteral("ravlio " RAVLIO_VERSION "\n")},
      {.arguments = {QStringLiteral("--bogus")}, .status = 1,
       .err = {QStringLiteral("ravlio: Unknown option 'bogus'."), usage, QStringLiteral("--version")}},
      {.arguments = {QStringLiteral("firmware.bin")}, .status = 1,
       .err = {QStringLiteral("ravlio: Unexpected argument 'firmware.bin'."), usage}},
      {.arguments = {}, .status = 1,
       .err = {QStringLiteral("ravlio: no display to open a window on (neither DISPLAY nor WAYLAND_DISPLAY is set)\n")}},
      {.arguments = {}, .display = QStringLiteral(":4711"), .status = 1,
       .err = {QStringLiteral("ravlio: cannot open the display \":4711\"\n")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE((c.arguments.join(u' ') + u' ' + c.display).toStdString());
    QProcessEnvironment environment = programEnvironment();
    if (!c.display.isEmpty()) environment.insert(QStringLiteral("DISPLAY"), c.display);
    const ProgramRun run = runProgram(c.arguments, environment);
    EXPECT_EQ(run.status, c.status);
    EXPECT_TRUE(run.out.startsWith(c.out)) << run.out.toStdString();
    if (c.out.isEmpty()) {
      EXPECT_EQ(run.out, QString());
    }
    if (c.err.isEmpty()) {
      EXPECT_EQ(run.err, QString());
    }
    qsizetype from = 0;
    for (const QString& part : c.err) {
      from = run.err.indexOf(part, from);
      EXPECT_GE(from, 0) << part.toStdString() << " not in: " << run.err.toStdString();
    }
    // Where no display opens, the one line is all: no toolkit advice, no abort.
    if (c.arguments.isEmpty()) {
      EXPECT_EQ(run.err.count(u'\n'), 1) << run.err.toStdString();
    }
  }
}

TEST(CommandLine, SecondStartHandsOverToTheRunningCopyAndEnds) {
  QTemporaryDir runtime;
  ASSERT_TRUE(runtime.isValid());
  QProcessEnvironment environment = programEnvironment();
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
  QProcess first;
  first.setProcessEnvironment(environment);
  first.start(QStringLiteral(RAVLIO_PROGRAM), QStringList());
  ASSERT_TRUE(first.waitForStarted());
  const QString socket = runtime.filePath(QStringLiteral("com.ravlio.updater.socket"));
  ASSERT_TRUE(platform::processEventsUntil([&socket] { return QFileInfo::exists(socket); }, std::chrono::seconds(15)))
      << "the first copy does not listen";

  const ProgramRun second = runProgram({}, environment);
  EXPECT_EQ(second.status, 0) << second.err.toStdString();
  EXPECT_EQ(second.err, QString());
  EXPECT_EQ(first.state(), QProcess::Running);

  first.terminate();
  ASSERT_TRUE(first.waitForFinished(30000));
  EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(first.exitCode(), 0) << first.readAllStandardError().toStdString();
  EXPECT_FALSE(QFileInfo::exists(socket));
}

}  // namespace
