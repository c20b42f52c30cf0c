#include "camera/CardFiles.h"

#include <QByteArrayView>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringDecoder>

#include <cstring>

#include "camera/VokReference.h"
#include "platform/FileNames.h"

namespace {

// How many names a download tries before it gives up on finding a free one.
constexpr int kMaxCandidates = 10000;

// Makes a new, empty file under the first free candidate name and returns its path; empty
// when none could be made. Making it exclusively keeps the name ours until the download
// fills it.
QString reserveFile(const QString& folder, const QString& name) {
  if (folder.isEmpty() || !QDir().mkpath(folder)) return {};
  const QDir dir(folder);
  for (int n = 0; n < kMaxCandidates; ++n) {
    const QString path = dir.filePath(candidateFileName(name, n));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) return path;
    const QFileInfo there(path);
    if (!there.exists() && !there.isSymLink()) return {};  // not taken, just not makeable
  }
  return {};
}

}  // namespace

DownloadFolders DownloadFolders::standard() {
  return {QStandardPaths::writableLocation(QStandardPaths::PicturesLocation),
          QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)};
}

std::optional<QString> plainFileName(const char* bytes, std::size_t size) {
  const auto* end = static_cast<const char*>(std::memchr(bytes, 0, size));
  if (!end) return std::nullopt;  // not terminated within its record
  const QByteArrayView raw(bytes, end - bytes);
  QStringDecoder decoder(QStringDecoder::Utf8);
  const QString name = decoder(raw);
  if (decoder.hasError() || !platform::isPlainFileName(name)) return std::nullopt;
  return name;
}

std::optional<QString> plainFileName(const tagVokDirectoryItemInfo& info) {
  constexpr std::size_t offset = offsetof(tagVokDirectoryItemInfo, szFileName);
  return plainFileName(reinterpret_cast<const char*>(&info) + offset, sizeof info - offset);
}

QString candidateFileName(const QString& name, int n) {
  if (n == 0) return name;
  const QString suffix = QLatin1Char('-') + QString::number(n);
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  if (dot <= 0) return name + suffix;
  return name.left(dot) + suffix + name.mid(dot);
}

VokError downloadItemToFolder(VokDirectoryItemRef item, const QString& folder, const ItemDownload& how,
                              QString* savedPath) {
  tagVokDirectoryItemInfo info{};
  if (const VokError status = VokGetDirectoryItemInfo(item, &info)) return status;
  if (how.onRecordRead) how.onRecordRead();
  const std::optional<QString> name = plainFileName(info);
  if (!name) return kStatusUnsafeItemName;
  const QString path = reserveFile(folder, *name);
  if (path.isEmpty()) return kStatusLocalFile;

  VokReference stream;
  VokError status = stream.obtain(
      [&](VokBaseRef* out) { return VokCreateFileStream(QFile::encodeName(path).constData(), 1, 2, out); });
  if (status == VOK_ERR_OK && how.progress) status = VokSetProgressCallback(stream.get(), how.progress, 2, how.context);
  if (status == VOK_ERR_OK) status = VokDownload(item, info.size, stream.get());
  if (status == VOK_ERR_OK) status = VokDownloadComplete(item);
  stream.reset();  // the SDK lets go of the file before it may be removed
  if (status != VOK_ERR_OK) {
    QFile::remove(path);
  } else if (savedPath) {
    *savedPath = path;
  }
  return status;
}
