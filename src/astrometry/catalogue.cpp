#include "astrometry/catalogue.h"

#include <bit>
#include <cstring>
#include <fstream>

#include "sky/angles.h"

namespace {

// Little-endian IEEE single at p.
float ReadSingle(const unsigned char* p) {
  std::uint32_t bits = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                       (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
  return std::bit_cast<float>(bits);
}

void AppendSingle(std::string& out, float value) {
  std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
}

}  // namespace

bool ReadCatalogueRecords(const std::string& path, std::vector<CatalogueRecord>& records) {
  records.clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  in.seekg(0, std::ios::beg);
  if (size < 0) return false;
  const std::size_t count = static_cast<std::size_t>(size) / kCatalogueRecordBytes;
  std::vector<unsigned char> bytes(count * kCatalogueRecordBytes);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  // A short read keeps the complete records that did arrive.
  const std::size_t got = static_cast<std::size_t>(in.gcount()) / kCatalogueRecordBytes;
  records.resize(got);
  for (std::size_t i = 0; i < got; ++i) {
    const unsigned char* p = bytes.data() + i * kCatalogueRecordBytes;
    records[i] = {ReadSingle(p), ReadSingle(p + 4), ReadSingle(p + 8)};
  }
  return true;
}

bool ReadCatalogue(const std::string& path, std::vector<CatalogStar>& stars) {
  stars.clear();
  std::vector<CatalogueRecord> records;
  if (!ReadCatalogueRecords(path, records)) return false;
  stars.reserve(records.size());
  for (const CatalogueRecord& r : records) {
    stars.push_back({static_cast<float>(r.raOffset + Pi), r.dec, r.magnitude});
  }
  return true;
}

std::string EncodeCatalogue(const std::vector<CatalogueRecord>& records) {
  std::string out;
  out.reserve(records.size() * kCatalogueRecordBytes);
  for (const CatalogueRecord& r : records) {
    AppendSingle(out, r.raOffset);
    AppendSingle(out, r.dec);
    AppendSingle(out, r.magnitude);
  }
  return out;
}
