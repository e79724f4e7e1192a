#include "session/remembered_use.h"

#include <cmath>

#include "base/ini.h"
#include "base/numbers.h"

namespace {
constexpr const char* kSiteSection = "Site";
constexpr const char* kFolderSection = "Folders";

// A coordinate value of the file, or nothing when the key is missing, not a number or beyond the limit.
std::optional<double> Coordinate(const IniDocument& ini, const char* key, double limitDeg) {
  const std::string text = IniGetValue(ini, kSiteSection, key, "");
  if (text.find_first_of("0123456789") == std::string::npos) return std::nullopt;
  const double value = ParseNumber(text);
  if (!std::isfinite(value) || std::fabs(value) > limitDeg) return std::nullopt;
  return value;
}
}  // namespace

std::string RememberedUseFileName(const std::string& appDir) {
  return appDir + "program_files/last_used.ini";
}

RememberedUse ReadRememberedUse(const std::string& appDir) {
  const IniDocument ini = ReadIniFile(RememberedUseFileName(appDir));
  RememberedUse remembered;
  const std::optional<double> longitude = Coordinate(ini, "Longitude", 180.0);
  const std::optional<double> latitude = Coordinate(ini, "Latitude", 90.0);
  if (longitude && latitude) {
    ObserverSite site;
    site.longitude = *longitude;
    site.latitude = *latitude;
    const double code = ParseNumber(IniGetValue(ini, kSiteSection, "Station", "0"));
    site.code = static_cast<std::int16_t>(code >= 0 && code <= 9999 ? RoundToInt(code) : 0);
    remembered.site = site;
  }
  remembered.tleFolder = IniGetValue(ini, kFolderSection, "TLE", "");
  return remembered;
}

WriteResult WriteRememberedUse(const std::string& appDir, const RememberedUse& remembered) {
  const std::string path = RememberedUseFileName(appDir);
  IniDocument ini = ReadIniFile(path);
  if (remembered.site) {
    IniSetValue(ini, kSiteSection, "Longitude", NumberText(remembered.site->longitude));
    IniSetValue(ini, kSiteSection, "Latitude", NumberText(remembered.site->latitude));
    IniSetValue(ini, kSiteSection, "Station", std::to_string(remembered.site->code));
  }
  if (!remembered.tleFolder.empty()) IniSetValue(ini, kFolderSection, "TLE", remembered.tleFolder);
  return WriteIniFile(path, ini);
}
