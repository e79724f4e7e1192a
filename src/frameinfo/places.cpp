#include "frameinfo/places.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>

#include "base/file_utils.h"
#include "base/numbers.h"
#include "base/sexagesimal.h"

namespace {

// The text without blanks and tabs at either end.
std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Reads the name at the start of a record: a quoted name (with "" standing for one quote) or, in a
// hand-made file, everything up to the first comma. Leaves rest at the comma after the name; false when
// a quoted name is not closed.
bool ReadName(std::string_view record, std::string& name, std::string_view& rest) {
  record = Trim(record);
  if (record.empty() || record.front() != '"') {
    const std::size_t comma = record.find(',');
    name = std::string(Trim(record.substr(0, comma)));
    rest = comma == std::string_view::npos ? std::string_view{} : record.substr(comma);
    return true;
  }
  name.clear();
  for (std::size_t i = 1; i < record.size(); ++i) {
    if (record[i] != '"') {
      name += record[i];
    } else if (i + 1 < record.size() && record[i + 1] == '"') {
      name += '"';
      ++i;
    } else {
      rest = Trim(record.substr(i + 1));
      return true;
    }
  }
  return false;
}

// A numeric field: some digit must be there (ParseNumber alone reads anything as 0).
bool ReadNumber(std::string_view field, double& value) {
  field = Trim(field);
  if (field.find_first_of("0123456789") == std::string_view::npos) return false;
  value = ParseNumber(field);
  return true;
}

// One record line "name",longitude,latitude,code.
bool ParseRecord(std::string_view line, ObserverSite& site) {
  std::string_view rest;
  if (!ReadName(line, site.name, rest)) return false;
  double values[3] = {};
  for (double& v : values) {
    if (rest.empty() || rest.front() != ',') return false;
    rest.remove_prefix(1);
    const std::size_t comma = rest.find(',');
    if (!ReadNumber(rest.substr(0, comma), v)) return false;
    rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma);
  }
  if (!rest.empty()) return false;
  const double code = std::round(values[2]);
  if (code < std::numeric_limits<std::int16_t>::min() || code > std::numeric_limits<std::int16_t>::max()) return false;
  site.longitude = values[0];
  site.latitude = values[1];
  site.code = static_cast<std::int16_t>(RoundToInt(values[2]));
  return true;
}

// A plain number for the file: up to 15 significant digits, "." as decimal point, no leading blank.
std::string FileNumber(double value) {
  return std::string(Trim(NumberText(value)));
}

}  // namespace

std::string PlacesFileName(const std::string& appDir) {
  return appDir + "program_files" + static_cast<char>(std::filesystem::path::preferred_separator) + "station_orvia.ini";
}

PlacesLoad ParsePlaces(std::string_view text) {
  PlacesLoad load;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (Trim(line).empty()) continue;
    ObserverSite site;
    if (static_cast<int>(load.sites.size()) >= kMaxPlaces || !ParseRecord(line, site)) return {false, {}};
    load.sites.push_back(std::move(site));
  }
  if (load.sites.empty()) return {false, {}};
  return load;
}

PlacesLoad LoadPlaces(const std::string& appDir) {
  const std::string path = PlacesFileName(appDir);
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return {};
  std::ifstream in(path, std::ios::binary);
  if (!in) return {false, {}};
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return {false, {}};
  return ParsePlaces(text);
}

std::string PlacesText(const std::vector<ObserverSite>& sites) {
  std::string text;
  for (const ObserverSite& s : sites) {
    std::string quoted;
    for (char c : s.name) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    text += '"' + quoted + "\"," + FileNumber(s.longitude) + ',' + FileNumber(s.latitude) + ',' +
            std::to_string(s.code) + "\r\n";
  }
  return text;
}

WriteResult SavePlaces(const std::string& appDir, const std::vector<ObserverSite>& sites) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(PlacesFileName(appDir)).parent_path(), ec);
  return WriteFileAtomically(PlacesFileName(appDir), PlacesText(sites));
}

std::string PlacesSaveError(const std::string& path, const std::string& reason) {
  return "Не удалось записать файл списка мест наблюдения " + path + ": " + reason +
         ". Новое место не сохранено, прежний список не изменён";
}

std::string PlaceListLine(const ObserverSite& site) {
  return site.name + "    " + FormatNumber(std::fabs(site.longitude), "00.000") + "° " +
         (site.longitude >= 0 ? "E" : "W") + "   " + FormatNumber(std::fabs(site.latitude), "00.000") + "° " +
         (site.latitude >= 0 ? "N" : "S") + "   Код=" + FormatNumber(site.code, "0");
}

DmsParts SplitDms(double degrees) {
  DmsParts p;
  const double v = std::fabs(degrees);
  if (!std::isfinite(v) || v > 1e9) return p;
  const double d = std::trunc(v);
  const double minutes = (v - d) * 60.0;
  const double m = std::trunc(minutes);
  // Tenths are truncated; the 1e-6 absorbs the binary error of values typed in decimal (37.617 deg
  // is 1.2", not 1.1999999").
  double s = std::floor((minutes - m) * 600.0 + 1e-6) / 10.0;
  p.degrees = static_cast<int>(d);
  p.minutes = static_cast<int>(m);
  CarrySexagesimal(p.degrees, p.minutes, s);
  p.seconds = s;
  return p;
}

double JoinDms(double degrees, double minutes, double seconds) {
  return std::abs(RoundToInt(degrees)) + std::abs(RoundToInt(minutes)) / 60.0 + std::fabs(seconds) / 3600.0;
}
