// The local firmware service: serves a firmware catalogue and its packages on the loopback
// interface, so the application can walk its whole road without the maker's service.
//
//   firmware-service --port 8471 --catalogue catalogue.json --packages <folder>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QUrl>

#include <cstdio>

#include "tools/firmware-service/FirmwareService.h"
#include "tools/firmware-service/HttpServer.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("firmware-service"));
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Serves a firmware catalogue and its packages on 127.0.0.1."));
  parser.addHelpOption();
  const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Port to listen on (0: any free one)."),
                                      QStringLiteral("port"), QStringLiteral("8471"));
  const QCommandLineOption catalogueOption(QStringLiteral("catalogue"), QStringLiteral("The catalogue file (JSON)."),
                                           QStringLiteral("file"));
  const QCommandLineOption packagesOption(QStringLiteral("packages"), QStringLiteral("The folder of packages."),
                                          QStringLiteral("folder"));
  parser.addOptions({portOption, catalogueOption, packagesOption});
  parser.process(app);
  if (!parser.isSet(catalogueOption) || !parser.isSet(packagesOption)) {
    std::fprintf(stderr, "firmware-service: --catalogue and --packages are required\n");
    return 2;
  }
  bool portOk = false;
  const uint port = parser.value(portOption).toUInt(&portOk);
  if (!portOk || port > 65535) {
    std::fprintf(stderr, "firmware-service: bad port\n");
    return 2;
  }

  firmware_service::FirmwareService service({}, {});
  QString error;
  if (!firmware_service::FirmwareService::load(parser.value(catalogueOption), parser.value(packagesOption), &service,
                                               &error)) {
    std::fprintf(stderr, "firmware-service: %s\n", qPrintable(error));
    return 1;
  }
  QUrl base;
  firmware_service::HttpServer server([&](const firmware_service::HttpRequest& r) { return service.handle(r, base); });
  if (!server.listen(static_cast<quint16>(port))) {
    std::fprintf(stderr, "firmware-service: cannot listen on port %u: %s\n", port, qPrintable(server.errorString()));
    return 1;
  }
  base = server.baseUrl();
  std::printf("firmware-service: listening on %s\n", qPrintable(base.toString()));
  std::fflush(stdout);
  return QCoreApplication::exec();
}
