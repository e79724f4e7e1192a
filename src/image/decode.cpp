#include "image/decode.h"

#include <QImage>
#include <QImageReader>

bool DecodeFrameFile(const std::string& path, DecodedImage& out) {
  out = DecodedImage{};
  QImageReader reader(QString::fromStdString(path));
  reader.setDecideFormatFromContent(true);
  const QByteArray format = reader.format().toLower();
  if (format != "jpeg" && format != "jpg" && format != "bmp") return false;
  // Refuse oversized pictures from the header alone, before anything is allocated.
  const QSize size = reader.size();
  if (!size.isValid() || size.width() < 1 || size.height() < 1 || size.width() > kMaxFrameSide ||
      size.height() > kMaxFrameSide)
    return false;
  QImageReader::setAllocationLimit(4096);  // megabytes; a 32767-pixel square frame still fits
  QImage image;
  if (!reader.read(&image) || image.isNull()) return false;
  if (image.width() > kMaxFrameSide || image.height() > kMaxFrameSide) return false;
  image = image.convertToFormat(QImage::Format_RGB32);
  out.width = image.width();
  out.height = image.height();
  out.pixels.resize(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height));
  for (int y = 0; y < out.height; ++y) {
    const auto* line = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
    std::copy(line, line + out.width, out.pixels.begin() + static_cast<std::ptrdiff_t>(y) * out.width);
  }
  return true;
}
