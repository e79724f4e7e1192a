#include "frameinfo/info_file.h"

#include <chrono>
#include <filesystem>

#include "frameinfo/numbers.h"

namespace {

// Characters between the last directory separator and the last "." of a path.
std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
  std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || dot < start) dot = path.size();
  return path.substr(start, dot - start);
}

}  // namespace

std::string InfoFileName(const std::string& appDir, const std::string& imagePath) {
  using namespace std::chrono;
  std::error_code ec;
  const auto written = std::filesystem::last_write_time(imagePath, ec);
  sys_seconds stamp{};
  if (!ec) stamp = floor<seconds>(file_clock::to_sys(written));
  const auto day = floor<days>(stamp);
  const year_month_day ymd{day};
  const hh_mm_ss hms{stamp - day};
  const std::string sep(1, std::filesystem::path::preferred_separator);
  return appDir + "Info" + sep + BaseName(imagePath) + "_" + FormatNumber(static_cast<int>(ymd.year()), "0000") + "-" +
         FormatNumber(static_cast<unsigned>(ymd.month()), "00") + "-" +
         FormatNumber(static_cast<unsigned>(ymd.day()), "00") + "_" + FormatNumber(hms.hours().count(), "00") + "-" +
         FormatNumber(hms.minutes().count(), "00") + ".txt";
}
