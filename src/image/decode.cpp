#include "image/decode.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QLoggingCategory>
#include <QString>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>

namespace {

// The JPEG decoder reports a scan that stops before its last row only as a warning, and then fills the
// missing rows with grey. Warnings raised while this thread decodes are looked at here on their way to the
// handler that was installed before.
thread_local bool* scanCutShort = nullptr;
std::atomic<QtMessageHandler> earlierHandler{nullptr};

void WatchDecoderWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (scanCutShort != nullptr && type == QtWarningMsg) {
    // "Corrupt JPEG data: premature end of data segment", "Premature end of JPEG file"
    if (message.contains(QLatin1String("premature end"), Qt::CaseInsensitive)) *scanCutShort = true;
  }
  if (const QtMessageHandler earlier = earlierHandler.load())
    earlier(type, context, message);
  else
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

// The JPEG decoder's warnings reach the watcher even where the logging rules silence them.
QLoggingCategory::CategoryFilter earlierFilter = nullptr;
void KeepJpegWarnings(QLoggingCategory* category) {
  if (earlierFilter != nullptr) earlierFilter(category);
  if (qstrcmp(category->categoryName(), "qt.gui.imageio.jpeg") == 0) category->setEnabled(QtWarningMsg, true);
}

// Puts the watcher in front of whatever handler is installed now (once, unless another replaced it since).
void InstallWatcher() {
  static std::mutex lock;
  const std::lock_guard<std::mutex> guard(lock);
  static const bool filtered = [] {
    earlierFilter = QLoggingCategory::installFilter(KeepJpegWarnings);
    return true;
  }();
  (void)filtered;
  const QtMessageHandler previous = qInstallMessageHandler(WatchDecoderWarnings);
  if (previous != WatchDecoderWarnings) earlierHandler.store(previous);
}

bool Refuse(DecodedImage& out, FrameRefusal why) {
  out = DecodedImage{};
  out.refusal = why;
  return false;
}

FrameRefusal HeaderRefusal(const FrameHeader& header) {
  if (header.format == FrameFormat::Unknown) return FrameRefusal::Unreadable;
  if (header.unsupported) return FrameRefusal::UnsupportedCoding;
  if (header.width > kMaxFrameSide || header.height > kMaxFrameSide) return FrameRefusal::TooLarge;
  if (!header.complete) return FrameRefusal::Truncated;
  return FrameRefusal::None;
}

// Decodes the frame of device, whose header has been read as header.
bool Decode(QIODevice& device, const FrameHeader& header, DecodedImage& out, std::int64_t maxPixels) {
  out = DecodedImage{};
  if (const FrameRefusal why = HeaderRefusal(header); why != FrameRefusal::None) return Refuse(out, why);
  const std::int64_t pixelCount = static_cast<std::int64_t>(header.width) * header.height;
  if (pixelCount > maxPixels) return Refuse(out, FrameRefusal::TooLarge);

  QImageReader reader(&device);
  reader.setDecideFormatFromContent(true);
  const QByteArray format = reader.format().toLower();
  const bool jpeg = format == "jpeg" || format == "jpg";
  if (!(jpeg && header.format == FrameFormat::Jpeg) && !(format == "bmp" && header.format == FrameFormat::Bmp))
    return Refuse(out, FrameRefusal::Unreadable);
  if (reader.size() != QSize(header.width, header.height)) return Refuse(out, FrameRefusal::Unreadable);
  // Qt refuses pictures above its allocation limit (in megabytes); the frame's pixels have been weighed
  // against the memory already, so the limit only has to let them through (1 byte per pixel for a
  // palette or grey picture, which Qt holds itself).
  const qint64 needMegabytes = pixelCount * 4 / (1024 * 1024) + 1;
  if (QImageReader::allocationLimit() != 0 && QImageReader::allocationLimit() < needMegabytes)
    QImageReader::setAllocationLimit(static_cast<int>(needMegabytes));

  // The reader writes into a picture of its own size and format when it is given one: here that picture
  // is out's own buffer, so the pixels are never held twice. Grey and palette pictures come back in a
  // picture of their own (1 byte per pixel) and are widened into out; so is a 32-bit BMP with an alpha
  // mask, the one case that holds 8 bytes per pixel for a moment.
  out.width = header.width;
  out.height = header.height;
  out.pixels.assign(static_cast<std::size_t>(pixelCount), 0xFF000000u);
  auto* buffer = reinterpret_cast<uchar*>(out.pixels.data());
  QImage image(buffer, out.width, out.height, static_cast<qsizetype>(out.width) * 4, QImage::Format_RGB32);
  bool cutShort = false;
  bool read = false;
  InstallWatcher();
  scanCutShort = &cutShort;
  read = reader.read(&image);
  scanCutShort = nullptr;
  if (!read || image.isNull() || image.size() != QSize(out.width, out.height))
    return Refuse(out, FrameRefusal::Unreadable);
  if (cutShort) return Refuse(out, FrameRefusal::Truncated);
  if (image.constBits() != buffer) {
    for (int y = 0; y < out.height; ++y) {
      std::uint32_t* row = out.pixels.data() + static_cast<std::size_t>(y) * out.width;
      for (int x = 0; x < out.width; ++x) row[x] = 0xFF000000u | image.pixel(x, y);
    }
  }
  return true;
}

}  // namespace

bool DecodeFrameFile(const std::string& path, DecodedImage& out, std::int64_t maxPixels) {
  out = DecodedImage{};
  FrameHeader header;
  {
    std::ifstream in(path, std::ios::binary);
    if (!in) return Refuse(out, FrameRefusal::Unreadable);
    header = ReadFrameHeader(in);
  }
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) return Refuse(out, FrameRefusal::Unreadable);
  return Decode(file, header, out, maxPixels);
}

bool DecodeFrameFile(const std::string& path, DecodedImage& out) {
  return DecodeFrameFile(path, out, FramePixelLimit(AvailableMemoryBytes()));
}

bool DecodeFrameBytes(const std::string& bytes, DecodedImage& out, std::int64_t maxPixels) {
  out = DecodedImage{};
  FrameHeader header;
  {
    std::istringstream in(bytes);
    header = ReadFrameHeader(in);
  }
  QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  if (!buffer.open(QIODevice::ReadOnly)) return Refuse(out, FrameRefusal::Unreadable);
  return Decode(buffer, header, out, maxPixels);
}
