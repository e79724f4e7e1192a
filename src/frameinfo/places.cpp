#include "frameinfo/places.h"

#include <cmath>
#include <filesystem>
#include <limits>

#include "base/file_utils.h"
#include "base/numbers.h"
#include "base/sexagesimal.h"
#include "frameinfo/frame_info.h"

namespace {

// A plain number for the file: up to 15 significant digits, "." as decimal point, no leading blank.
std::string FileNumberText(double value);

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

// One record line "name",longitude,latitude,code with an optional ",height"; "" when it is read, else why
// not.
std::string ParseRecord(std::string_view line, ObserverSite& site) {
  std::string_view rest;
  if (!ReadName(line, site.name, rest)) return "название в кавычках не закрыто";
  double values[4] = {};
  const char* names[4] = {"долгота", "широта", "код", "высота"};
  for (int i = 0; i < 4; ++i) {
    if (i == 3 && rest.empty()) break;  // no height: sea level
    if (rest.empty() || rest.front() != ',') return std::string("нет поля «") + names[i] + "»";
    rest.remove_prefix(1);
    const std::size_t comma = rest.find(',');
    if (!ReadNumber(rest.substr(0, comma), values[i]))
      return std::string("поле «") + names[i] + "» = «" + std::string(Trim(rest.substr(0, comma))) + "» не число";
    rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma);
  }
  if (!rest.empty()) return "лишние поля после высоты";
  const double code = std::round(values[2]);
  if (!(code >= std::numeric_limits<std::int16_t>::min() && code <= std::numeric_limits<std::int16_t>::max()))
    return "код " + FileNumberText(values[2]) + " вне пределов -32768..32767";
  site.longitude = values[0];
  site.latitude = values[1];
  site.code = static_cast<std::int16_t>(RoundToInt(values[2]));
  site.heightM = values[3];
  return PlaceRangeFault(site);
}

// The lines of a text, without their CR LF or LF ends.
std::vector<std::string_view> TextLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
  }
  return lines;
}

bool SamePlace(const ObserverSite& a, const ObserverSite& b) {
  return a.name == b.name && a.longitude == b.longitude && a.latitude == b.latitude && a.code == b.code &&
         a.heightM == b.heightM;
}

}  // namespace

namespace {

std::string FileNumberText(double value) {
  return std::string(Trim(NumberText(value)));
}

}  // namespace

std::string PlaceRangeFault(const ObserverSite& site) {
  if (!(site.longitude >= kLongitudeLowest && site.longitude <= kLongitudeHighest))
    return "долгота " + FileNumberText(site.longitude) + " вне пределов -180..360";
  if (!(site.latitude >= -kLatitudeLimit && site.latitude <= kLatitudeLimit))
    return "широта " + FileNumberText(site.latitude) + " вне пределов -90..90";
  return HeightFault(site.heightM);
}

std::string PlacesLoadMessage(const PlacesLoad& load) {
  if (load.ok && load.problems.empty()) return {};
  std::string message = kPlacesFileError;
  for (std::size_t i = 0; i < load.problems.size() && i < 10; ++i) message += "\n" + load.problems[i];
  if (load.problems.size() > 10)
    message += "\nи ещё строк с ошибками: " + FormatNumber(static_cast<double>(load.problems.size() - 10), "0");
  return message;
}

std::string PlacesFileName(const std::string& appDir) {
  return appDir + "program_files" + static_cast<char>(std::filesystem::path::preferred_separator) + "station_orvia.ini";
}

PlacesLoad ParsePlaces(std::string_view text) {
  PlacesLoad load;
  const std::vector<std::string_view> lines = TextLines(text);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (Trim(lines[i]).empty()) continue;
    const std::string at = "строка " + FormatNumber(static_cast<double>(i + 1), "0") + ": ";
    ObserverSite site;
    const std::string fault = ParseRecord(lines[i], site);
    if (!fault.empty()) {
      load.problems.push_back(at + fault);
    } else if (static_cast<int>(load.sites.size()) >= kMaxPlaces) {
      load.problems.push_back(at + "больше " + FormatNumber(kMaxPlaces, "0") + " мест не загружается");
    } else {
      load.sites.push_back(std::move(site));
    }
  }
  load.ok = !load.sites.empty();
  return load;
}

PlacesLoad LoadPlaces(const std::string& appDir) {
  const std::string path = PlacesFileName(appDir);
  std::error_code ec;
  if (!std::filesystem::exists(path, ec) && !ec) return {};
  std::string text;
  if (!ReadWholeFile(path, text)) return {false, {}, {"Файл " + path + " не читается"}};
  PlacesLoad load = ParsePlaces(text);
  for (std::string& problem : load.problems) problem = "Файл " + path + ", " + problem;
  return load;
}

std::string PlacesText(const std::vector<ObserverSite>& sites) {
  std::string text;
  for (const ObserverSite& s : sites) {
    std::string quoted;
    for (char c : s.name) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    text += '"' + quoted + "\"," + FileNumberText(s.longitude) + ',' + FileNumberText(s.latitude) + ',' +
            std::to_string(s.code) + (s.heightM != 0.0 ? ',' + FileNumberText(s.heightM) : std::string()) + "\r\n";
  }
  return text;
}

WriteResult SavePlaces(const std::string& appDir, const std::vector<ObserverSite>& sites) {
  const std::string path = PlacesFileName(appDir);
  for (const ObserverSite& site : sites)
    if (const std::string fault = PlaceRangeFault(site); !fault.empty())
      return {false, "место «" + site.name + "»: " + fault};
  std::string old;
  std::error_code ec;
  if (!ReadWholeFile(path, old) && (std::filesystem::exists(path, ec) || ec))
    return {false, "файл не читается"};  // never replace what could not be read
  // Every line the file holds now stays as it is; the places of the list it already holds are not added
  // again (each stored line stands for one of them).
  std::string text;
  std::vector<bool> stored(sites.size(), false);
  for (const std::string_view line : TextLines(old)) {
    if (Trim(line).empty()) continue;
    text += std::string(line) + "\r\n";
    ObserverSite site;
    if (!ParseRecord(line, site).empty()) continue;
    for (std::size_t i = 0; i < sites.size(); ++i) {
      if (!stored[i] && SamePlace(sites[i], site)) {
        stored[i] = true;
        break;
      }
    }
  }
  for (std::size_t i = 0; i < sites.size(); ++i)
    if (!stored[i]) text += PlacesText({sites[i]});
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  return WriteFileAtomically(path, text);
}

WriteResult GivePlacesCode(const std::string& appDir, double longitude, double latitude, std::int16_t code,
                           int& places) {
  places = 0;
  const std::string path = PlacesFileName(appDir);
  std::string old;
  std::error_code ec;
  if (!ReadWholeFile(path, old)) {
    if (std::filesystem::exists(path, ec) || ec) return {false, "файл не читается"};
    return {true, {}};  // no places file: nothing to give the code to
  }
  std::string text;
  for (const std::string_view line : TextLines(old)) {
    if (Trim(line).empty()) continue;
    ObserverSite site;
    if (ParseRecord(line, site).empty() && site.code == 0 && std::fabs(site.longitude - longitude) < 1e-5 &&
        std::fabs(site.latitude - latitude) < 1e-5) {
      site.code = code;
      text += PlacesText({site});
      ++places;
    } else {
      text += std::string(line) + "\r\n";
    }
  }
  if (places == 0) return {true, {}};
  return WriteFileAtomically(path, text);
}

std::string PlacesSaveError(const std::string& path, const std::string& reason) {
  return "Не удалось записать файл списка мест наблюдения " + path + ": " + reason +
         ". Новое место не сохранено, прежний список не изменён";
}

std::string PlaceListLine(const ObserverSite& site) {
  return site.name + "    " + FormatNumber(std::fabs(site.longitude), "00.000") + "° " +
         (site.longitude >= 0 ? "E" : "W") + "   " + FormatNumber(std::fabs(site.latitude), "00.000") + "° " +
         (site.latitude >= 0 ? "N" : "S") + "   Код=" + FormatNumber(site.code, "0") +
         (site.heightM != 0.0 ? "   Высота=" + FormatNumber(site.heightM, "0") + " м" : std::string());
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
