// Information files and the INI layer on any bytes. Invariants: an INI text written from a parsed one
// parses to the same lines and values never exceed the reader's limit; an information file read, written
// and read again gives the same record (so a second rewrite writes the same bytes), and no number written
// is "nan" or "inf".
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "base/ini.h"
#include "frameinfo/info_file.h"
#include "fuzz_support.h"

namespace {

std::string WrittenText(const InfoFileData& data, const std::string& name) {
  const std::string path = fuzz_support::ScratchDir() + name;
  std::remove(path.c_str());
  FUZZ_CHECK(WriteInfoFile(path, data));
  std::string text;
  std::ifstream in(path, std::ios::binary);
  text.assign(std::istreambuf_iterator<char>(in), {});
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = fuzz_support::AsText(data, size);
  const IniDocument document = ParseIni(bytes);
  const std::string iniText = IniText(document);
  const IniDocument reparsed = ParseIni(iniText);
  FUZZ_CHECK(reparsed.lines.size() == document.lines.size());
  for (std::size_t i = 0; i < document.lines.size(); ++i) {
    FUZZ_CHECK(reparsed.lines[i].text == document.lines[i].text && reparsed.lines[i].kind == document.lines[i].kind);
    if (document.lines[i].kind == IniLineKind::Key)
      FUZZ_CHECK(IniGetValue(document, "", document.lines[i].name, "").size() <= kIniValueLimit);
  }

  const std::string path = fuzz_support::WriteScratch("frame.txt", bytes);
  InfoFileData first;
  ReadInfoFile(path, first);
  const std::string written = WrittenText(first, "first.txt");
  // Texts kept as typed (names, field sizes) may hold anything; numbers never become "nan" or "inf".
  for (const char* bad : {"nan", "inf"})
    FUZZ_CHECK(written.find(bad) == std::string::npos || bytes.find(bad) != std::string_view::npos);
  InfoFileData second;
  ReadInfoFile(fuzz_support::ScratchDir() + "first.txt", second);
  FUZZ_CHECK(WrittenText(second, "second.txt") == written);
  for (const double v : {second.info.startMjd, second.info.midMjd, second.info.longitude, second.info.latitude,
                         second.info.exposure, second.plate.ra0Deg, second.plate.dec0Deg, second.plate.mxArcsec,
                         second.plate.myArcsec, second.trackEnds[1].ra, second.trackEnds[2].dec})
    FUZZ_CHECK(std::isfinite(v));
  return 0;
}
