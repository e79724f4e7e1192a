#include "streak_truth.h"

#include <cmath>
#include <cstdlib>
#include <regex>
#include <string>

#include "test_paths.h"

namespace testing_support {
namespace {

// The value of the first number after "key": at or after position from.
double JsonNumber(const std::string& text, const std::string& key, std::size_t from = 0) {
  const std::size_t at = text.find("\"" + key + "\":", from);
  if (at == std::string::npos) return NAN;
  return std::strtod(text.c_str() + at + key.size() + 3, nullptr);
}

}  // namespace

StreakTruth ReadStreakTruth(const std::filesystem::path& path) {
  const std::string text = ReadFile(path);
  StreakTruth t;
  const std::size_t camera = text.find("\"camera\":");
  t.centreRa = JsonNumber(text, "center_ra_j2000_deg", camera);
  t.centreDec = JsonNumber(text, "center_dec_j2000_deg", camera);
  t.fieldWidth = std::strtod(text.c_str() + text.find("[", text.find("\"field_deg\":", camera)) + 1, nullptr);
  const std::size_t satellite = text.find("\"satellite\":");
  t.norad = static_cast<int>(JsonNumber(text, "norad", satellite));
  const std::size_t start = text.find("\"start\":", satellite), end = text.find("\"end\":", satellite);
  t.x1 = JsonNumber(text, "x", start);
  t.y1 = JsonNumber(text, "y", start);
  t.ra1 = JsonNumber(text, "ra_j2000_deg", start);
  t.dec1 = JsonNumber(text, "dec_j2000_deg", start);
  t.x2 = JsonNumber(text, "x", end);
  t.y2 = JsonNumber(text, "y", end);
  t.ra2 = JsonNumber(text, "ra_j2000_deg", end);
  t.dec2 = JsonNumber(text, "dec_j2000_deg", end);
  t.bow = JsonNumber(text, "path_max_deviation_from_straight_px", satellite);
  // "predicted_path_over_window": [[t, x, y], ...]
  const std::size_t pathAt = text.find("\"predicted_path_over_window\":", satellite);
  const std::size_t pathEnd = text.find('"', pathAt + 30);  // the next key: the array holds numbers only
  const std::regex triple(R"(\[\s*(-?[0-9.eE+-]+)\s*,\s*(-?[0-9.eE+-]+)\s*,\s*(-?[0-9.eE+-]+)\s*\])");
  const std::string pathText = text.substr(pathAt, pathEnd - pathAt);
  for (std::sregex_iterator i(pathText.begin(), pathText.end(), triple), e; i != e; ++i)
    t.path.emplace_back(std::stod((*i)[2]), std::stod((*i)[3]));
  return t;
}


}  // namespace testing_support
