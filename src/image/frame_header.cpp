#include "image/frame_header.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <string>

#if __has_include(<unistd.h>)
#include <unistd.h>
#endif

namespace {

// Buffered forward reader over a stream.
class ByteReader {
public:
  explicit ByteReader(std::istream& in) : in_(in) {}

  // The next byte, or -1 at the end of the data.
  int Next() {
    if (pos_ == end_ && !Fill()) return -1;
    return static_cast<unsigned char>(buffer_[pos_++]);
  }
  // Skips count bytes; false when the data ends first.
  bool Skip(std::uint64_t count) {
    while (count > 0) {
      if (pos_ == end_ && !Fill()) return false;
      const std::uint64_t step = std::min<std::uint64_t>(count, end_ - pos_);
      pos_ += static_cast<std::size_t>(step);
      count -= step;
    }
    return true;
  }
  // A big-endian 16-bit value, or -1 at the end of the data.
  int Next16() {
    const int hi = Next();
    const int lo = Next();
    return hi < 0 || lo < 0 ? -1 : (hi << 8) | lo;
  }

private:
  bool Fill() {
    in_.read(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    end_ = static_cast<std::size_t>(std::max<std::streamsize>(in_.gcount(), 0));
    pos_ = 0;
    return end_ > 0;
  }

  std::istream& in_;
  std::array<char, 4096> buffer_{};
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
};

bool IsStartOfFrame(int marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Walks the marker segments of a JPEG after its start-of-image marker: the frame header gives the size,
// every scan's entropy-coded data is skipped byte by byte (0xFF 0x00 is a stuffed byte, 0xFF 0xD0..0xD7
// a restart marker), and the file must reach the end-of-image marker.
FrameHeader WalkJpeg(ByteReader& r) {
  FrameHeader h;
  h.format = FrameFormat::Jpeg;
  bool haveFrame = false;
  bool arithmetic = false;
  std::uint64_t entropyBytes = 0;
  int scans = 0;
  int pending = -1;  // a marker already read while skipping entropy-coded data
  while (true) {
    int marker = pending;
    pending = -1;
    if (marker < 0) {
      if (r.Next() != 0xFF) return h;
      do marker = r.Next();
      while (marker == 0xFF);
      if (marker < 0) return h;
    }
    if (marker == 0xD9) {
      // A picture needs its frame header and a scan; a Huffman-coded scan spends at least one bit on every
      // 8 x 8 block of the full-resolution component.
      const std::uint64_t blocks = static_cast<std::uint64_t>(h.width / 8) * static_cast<std::uint64_t>(h.height / 8);
      h.complete = haveFrame && scans > 0 && !arithmetic && entropyBytes * 8 >= blocks;
      return h;
    }
    if (marker == 0xD8) return h;                                        // a second start of image
    if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) continue;  // markers without a segment
    const int length = r.Next16();
    if (length < 2) return h;
    if (IsStartOfFrame(marker)) {
      if (haveFrame || length < 8) return h;
      r.Next();  // sample precision
      h.height = r.Next16();
      h.width = r.Next16();
      if (h.width <= 0 || h.height <= 0) return h;  // a height defined later by a DNL marker is not read
      haveFrame = true;
      arithmetic = marker >= 0xC9;
      h.unsupported = arithmetic;
      if (!r.Skip(static_cast<std::uint64_t>(length) - 7)) return h;
      continue;
    }
    if (!r.Skip(static_cast<std::uint64_t>(length) - 2)) return h;
    if (marker != 0xDA) continue;
    if (!haveFrame) return h;
    ++scans;
    while (true) {
      const int c = r.Next();
      if (c < 0) return h;
      if (c != 0xFF) {
        ++entropyBytes;
        continue;
      }
      int next = r.Next();
      while (next == 0xFF) next = r.Next();
      if (next < 0) return h;
      if (next == 0x00 || (next >= 0xD0 && next <= 0xD7)) {
        ++entropyBytes;
        continue;
      }
      pending = next;
      break;
    }
  }
}

std::uint32_t Little(const unsigned char* p, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

// Walks the codes of a run-length BMP (8 or 4 bits per pixel). Complete when runs and literal pixels code
// every pixel of every row, each row closed by an end of line (or the last by the end of the picture).
// Moves and early ends would leave pixels that no byte describes: with them, a kilobyte could claim a
// picture of a billion pixels, so they are refused as an unsupported coding.
void WalkRunLength(std::istream& in, FrameHeader& h, bool eightBit) {
  ByteReader r(in);
  const std::int64_t width = h.width;
  std::int64_t x = 0;
  std::int64_t rows = 0;
  while (true) {
    const int count = r.Next();
    const int value = r.Next();
    if (count < 0 || value < 0) return;
    if (count > 0) {  // a run
      x += count;
      if (x > width) return;
      continue;
    }
    if (value == 0 || value == 1) {  // end of line, end of the picture
      if (x != width) {
        h.unsupported = true;  // the rest of the row left undefined
        return;
      }
      x = 0;
      ++rows;
      if (rows == h.height) {  // what follows the last row is not read
        h.complete = true;
        return;
      }
      if (value == 1) {  // rows left undefined
        h.unsupported = true;
        return;
      }
      continue;
    }
    if (value == 2) {  // a move
      h.unsupported = true;
      return;
    }
    // value literal pixels, padded to a 16-bit boundary
    x += value;
    if (x > width) return;
    const std::uint64_t bytes =
        eightBit ? static_cast<std::uint64_t>(value) : (static_cast<std::uint64_t>(value) + 1) / 2;
    if (!r.Skip((bytes + 1) / 2 * 2)) return;
  }
}

// Reads a BMP's file and information headers (after "BM"); an uncompressed picture must hold all its rows.
FrameHeader WalkBmp(std::istream& in, std::uint64_t start) {
  FrameHeader h;
  h.format = FrameFormat::Bmp;
  unsigned char head[12 + 40] = {};  // rest of the file header, then the start of the information header
  in.read(reinterpret_cast<char*>(head), 16);
  if (in.gcount() != 16) return h;
  const std::uint32_t dataOffset = Little(head + 8, 4);
  const std::uint32_t infoSize = Little(head + 12, 4);
  std::int64_t width = 0;
  std::int64_t height = 0;
  std::uint32_t bits = 0;
  std::uint32_t compression = 0;
  if (infoSize == 12) {  // the old core header: 16-bit sizes
    in.read(reinterpret_cast<char*>(head + 16), 8);
    if (in.gcount() != 8) return h;
    width = Little(head + 16, 2);
    height = Little(head + 18, 2);
    bits = Little(head + 22, 2);
  } else if (infoSize >= 40) {
    in.read(reinterpret_cast<char*>(head + 16), 16);
    if (in.gcount() != 16) return h;
    width = static_cast<std::int32_t>(Little(head + 16, 4));
    height = static_cast<std::int32_t>(Little(head + 20, 4));
    bits = Little(head + 26, 2);
    compression = Little(head + 28, 4);
  } else {
    return h;
  }
  if (height < 0) height = -height;  // rows stored from the top
  if (width <= 0 || height <= 0 || width > kMaxFrameSide || height > kMaxFrameSide) return h;
  h.width = static_cast<int>(width);
  h.height = static_cast<int>(height);
  in.clear();
  in.seekg(0, std::ios::end);
  const std::streamoff end = in.tellg();
  if (end < 0 || static_cast<std::uint64_t>(end) < start) return h;
  const std::uint64_t fileSize = static_cast<std::uint64_t>(end) - start;
  const bool uncompressed = compression == 0 || compression == 3 || compression == 6;
  if (compression == 1 || compression == 2) {
    if (bits != (compression == 1 ? 8u : 4u) || dataOffset >= fileSize) return h;
    in.clear();
    in.seekg(static_cast<std::streamoff>(start + dataOffset));
    if (!in) return h;
    WalkRunLength(in, h, compression == 1);
    return h;
  }
  if (!uncompressed) {
    h.unsupported = true;  // JPEG or PNG inside a BMP
    return h;
  }
  if (bits == 0 || bits > 32) return h;
  const std::uint64_t rowBytes = (static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4;
  h.complete = dataOffset + rowBytes * static_cast<std::uint64_t>(height) <= fileSize;
  return h;
}

}  // namespace

FrameHeader ReadFrameHeader(std::istream& in) {
  const std::streamoff startPos = in.tellg();
  const std::uint64_t start = startPos > 0 ? static_cast<std::uint64_t>(startPos) : 0;
  const int first = in.get();
  const int second = in.get();
  if (first == 0xFF && second == 0xD8) {
    ByteReader r(in);
    return WalkJpeg(r);
  }
  if (first == 'B' && second == 'M') return WalkBmp(in, start);
  return FrameHeader{};
}

const char* FrameRefusalText(FrameRefusal refusal) {
  switch (refusal) {
    case FrameRefusal::None:
      return "";
    case FrameRefusal::Unreadable:
      return "Файл не читается или не является изображением JPEG или BMP.";
    case FrameRefusal::TooLarge:
      return "Изображение слишком велико: не хватает памяти или сторона больше 32767 точек.";
    case FrameRefusal::Truncated:
      return "Файл неполон: данные изображения обрываются раньше конца кадра.";
    case FrameRefusal::UnsupportedCoding:
      return "Способ сжатия изображения не поддерживается.";
  }
  return "";
}

std::int64_t FramePixelLimit(std::uint64_t availableBytes) {
  const std::int64_t addressable = static_cast<std::int64_t>(kMaxFrameSide) * kMaxFrameSide;
  if (availableBytes == 0) return addressable;
  const std::uint64_t affordable = availableBytes / 4 * 3 / kFrameBytesPerPixel;
  return static_cast<std::int64_t>(std::min<std::uint64_t>(affordable, static_cast<std::uint64_t>(addressable)));
}

std::uint64_t AvailableMemoryBytes() {
  std::ifstream in("/proc/meminfo");
  std::string key;
  std::uint64_t kibibytes = 0;
  std::string unit;
  while (in >> key >> kibibytes) {
    if (key == "MemAvailable:") return kibibytes * 1024;
    std::getline(in, unit);
  }
#if defined(_SC_AVPHYS_PAGES) && defined(_SC_PAGESIZE)
  const long pages = sysconf(_SC_AVPHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages > 0 && pageSize > 0) return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
#endif
  return 0;
}

std::string FrameOpenErrorText(FrameRefusal refusal) {
  std::string text = "Ошибка при открытии файла.";
  if (const std::string cause = FrameRefusalText(refusal); !cause.empty()) text += "\n" + cause;
  return text;
}
