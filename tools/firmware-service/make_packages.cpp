// Makes the firmware packages the local service offers:
//
//   make-firmware-packages --diskimage <tool> --catalogue catalogue.json --out <folder>
//       one disk image per version of the catalogue
//   make-firmware-packages --diskimage <tool> --out <folder> --file <image name> --firmware <name> --size <bytes>
//       one package of any size (benchmarks)

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>

#include <cstdio>

#include "tools/firmware-service/FirmwarePackages.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCommandLineParser parser;
  parser.addHelpOption();
  const QCommandLineOption tool(QStringLiteral("diskimage"), QStringLiteral("The disk-image tool."), QStringLiteral("path"));
  const QCommandLineOption catalogue(QStringLiteral("catalogue"), QStringLiteral("The catalogue (JSON)."), QStringLiteral("file"));
  const QCommandLineOption out(QStringLiteral("out"), QStringLiteral("The packages folder."), QStringLiteral("folder"));
  const QCommandLineOption file(QStringLiteral("file"), QStringLiteral("One package's file name."), QStringLiteral("name"));
  const QCommandLineOption firmware(QStringLiteral("firmware"), QStringLiteral("Its firmware file's name."), QStringLiteral("name"));
  const QCommandLineOption size(QStringLiteral("size"), QStringLiteral("Its firmware file's size."), QStringLiteral("bytes"));
  parser.addOptions({tool, catalogue, out, file, firmware, size});
  parser.process(app);
  if (!parser.isSet(tool) || !parser.isSet(out)) {
    std::fprintf(stderr, "make-firmware-packages: --diskimage and --out are required\n");
    return 2;
  }
  QString error;
  bool ok = false;
  if (parser.isSet(catalogue)) {
    QFile f(parser.value(catalogue));
    const QJsonDocument doc = f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()) : QJsonDocument();
    if (!doc.isObject()) {
      std::fprintf(stderr, "make-firmware-packages: %s is not a catalogue\n", qPrintable(parser.value(catalogue)));
      return 1;
    }
    ok = firmware_service::makePackages(parser.value(tool), doc.object(), parser.value(out), &error);
  } else if (parser.isSet(file) && parser.isSet(firmware) && parser.isSet(size)) {
    ok = QDir().mkpath(parser.value(out)) &&
         firmware_service::makePackage(parser.value(tool), QDir(parser.value(out)).filePath(parser.value(file)),
                                       parser.value(firmware), parser.value(size).toLongLong(), &error);
  } else {
    std::fprintf(stderr, "make-firmware-packages: give --catalogue, or --file, --firmware and --size\n");
    return 2;
  }
  if (!ok) {
    std::fprintf(stderr, "make-firmware-packages: %s\n", qPrintable(error));
    return 1;
  }
  return 0;
}
