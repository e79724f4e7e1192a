#include "image/decode.h"

#include <QImage>
#include <QImageReader>
#include <fstream>

bool DecodeFrameFile(const std::string& path, DecodedImage& out, std::int64_t maxPixels) {
  out = DecodedImage{};
  FrameHeader header;
  {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    header = ReadFrameHeader(in);
  }
  if (!header.complete || header.width > kMaxFrameSide || header.height > kMaxFrameSide) return false;
  const std::int64_t pixelCount = static_cast<std::int64_t>(header.width) * header.height;
  if (pixelCount > maxPixels) return false;

  QImageReader reader(QString::fromStdString(path));
  reader.setDecideFormatFromContent(true);
  const QByteArray format = reader.format().toLower();
  const bool jpeg = format == "jpeg" || format == "jpg";
  if (!(jpeg && header.format == FrameFormat::Jpeg) && !(format == "bmp" && header.format == FrameFormat::Bmp))
    return false;
  if (reader.size() != QSize(header.width, header.height)) return false;
  QImageReader::setAllocationLimit(4096);  // megabytes; a 32767-pixel square frame still fits

  // The reader writes into a picture of its own size and format when it is given one: here that picture
  // is out's own buffer, so the pixels are never held twice. Grey and palette pictures come back in a
  // picture of their own (1 byte per pixel) and are widened into out; so is a 32-bit BMP with an alpha
  // mask, the one case that holds 8 bytes per pixel for a moment.
  out.width = header.width;
  out.height = header.height;
  out.pixels.assign(static_cast<std::size_t>(pixelCount), 0xFF000000u);
  auto* buffer = reinterpret_cast<uchar*>(out.pixels.data());
  QImage image(buffer, out.width, out.height, static_cast<qsizetype>(out.width) * 4, QImage::Format_RGB32);
  if (!reader.read(&image) || image.isNull() || image.size() != QSize(out.width, out.height)) {
    out = DecodedImage{};
    return false;
  }
  if (image.constBits() != buffer) {
    for (int y = 0; y < out.height; ++y) {
      std::uint32_t* row = out.pixels.data() + static_cast<std::size_t>(y) * out.width;
      for (int x = 0; x < out.width; ++x) row[x] = 0xFF000000u | image.pixel(x, y);
    }
  }
  return true;
}

bool DecodeFrameFile(const std::string& path, DecodedImage& out) {
  return DecodeFrameFile(path, out, FramePixelLimit(AvailableMemoryBytes()));
}
