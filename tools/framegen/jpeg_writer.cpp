#include "framegen/jpeg_writer.h"

#include <QImage>
#include <QString>

bool WriteJpeg(const std::string& path, const SyntheticFrame& frame, int quality) {
  if (frame.width < 1 || frame.height < 1) return false;
  QImage image(frame.width, frame.height, QImage::Format_Grayscale8);
  for (int r = 0; r < frame.height; ++r) {
    uchar* line = image.scanLine(r);
    for (int c = 0; c < frame.width; ++c) line[c] = frame.grey[static_cast<std::size_t>(r) * frame.width + c];
  }
  return image.save(QString::fromStdString(path), "JPG", quality);
}
