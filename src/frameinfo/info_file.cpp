#include "frameinfo/info_file.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string_view>

#include "base/calendar.h"
#include "base/file_utils.h"
#include "base/ini.h"
#include "base/numbers.h"
#include "sky/angles.h"

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

namespace {

// Bytes of "_YYYY-MM-DD_hh-mm", of the longest distinct-name suffix "_99", and of ".txt".
constexpr std::size_t kStampBytes = 17;
constexpr std::size_t kSuffixBytes = 3;
constexpr std::size_t kExtensionBytes = 4;
// The most distinct names tried for frames that share a base name and stamp.
constexpr int kMostDistinctNames = 99;

// The base name as it goes into the information file's name: unchanged when the whole name fits the file
// system's limit of kMaxFileNameBytes, otherwise cut at a character boundary and followed by "~" and the
// checksum of the whole base name, so that the same image always gives the same shortened name.
std::string FittingBaseName(const std::string& base) {
  const std::size_t room = kMaxFileNameBytes - kStampBytes - kSuffixBytes - kExtensionBytes;
  if (base.size() <= room) return base;
  const std::string tag = "~" + ChecksumText(ContentChecksum(base)).substr(0, 8);
  std::size_t keep = room - tag.size();
  // Never cut inside a UTF-8 sequence: back up over continuation bytes.
  while (keep > 0 && (static_cast<unsigned char>(base[keep]) & 0xC0) == 0x80) --keep;
  return base.substr(0, keep) + tag;
}

// "_YYYY-MM-DD_hh-mm" of the image's last-write time in UTC; time 0 (1970) when it cannot be examined.
std::string ImageStamp(const std::string& imagePath) {
  using namespace std::chrono;
  std::error_code ec;
  const auto written = std::filesystem::last_write_time(imagePath, ec);
  sys_seconds stamp{};
  if (!ec) stamp = floor<seconds>(file_clock::to_sys(written));
  const auto day = floor<days>(stamp);
  const year_month_day ymd{day};
  const hh_mm_ss hms{stamp - day};
  return "_" + FormatNumber(static_cast<int>(ymd.year()), "0000") + "-" +
         FormatNumber(static_cast<unsigned>(ymd.month()), "00") + "-" +
         FormatNumber(static_cast<unsigned>(ymd.day()), "00") + "_" + FormatNumber(hms.hours().count(), "00") + "-" +
         FormatNumber(hms.minutes().count(), "00");
}

// The information-file name with the distinct-name number n (1 gives no suffix, 2 gives "_2").
std::string NumberedInfoFileName(const std::string& appDir, const std::string& imagePath, int n) {
  const std::string sep(1, std::filesystem::path::preferred_separator);
  const std::string suffix = n > 1 ? "_" + FormatNumber(n, "0") : std::string();
  return appDir + "Info" + sep + FittingBaseName(BaseName(imagePath)) + ImageStamp(imagePath) + suffix + ".txt";
}

// The image path as the writer stores it: every CR and LF a blank, at most kIniValueLimit characters.
std::string StoredImagePath(const std::string& imagePath) {
  std::string text = imagePath.substr(0, kIniValueLimit);
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

}  // namespace

std::string InfoFileName(const std::string& appDir, const std::string& imagePath) {
  return NumberedInfoFileName(appDir, imagePath, 1);
}

bool InfoFileBelongsTo(const std::string& path, const std::string& imagePath, int imageWidth, int imageHeight) {
  if (InfoFileTooLarge(path)) return false;  // no frame's information file is that large
  const IniDocument doc = ReadIniFile(path);
  const std::string stored = IniGetValue(doc, "User Info", "FileName", "");
  if (stored.empty()) return true;  // written by hand or by an older version: nothing to tell it by
  const auto dimension = [&doc](std::string_view key) {
    return RoundToInt(ParseNumber(IniGetValue(doc, "User Info", key, "0")));
  };
  if (dimension("Size X") != imageWidth || dimension("Size y") != imageHeight) return false;
  if (stored == StoredImagePath(imagePath)) return true;
  // A frame moved or renamed with its folder: its old path is gone, so no other frame can own the file.
  std::error_code ec;
  // Only an absolute name tells that the old path is gone: a relative one depends on where a program ran.
  return stored.size() < kIniValueLimit && std::filesystem::path(stored).is_absolute() &&
         !std::filesystem::exists(stored, ec) && !ec &&
         BaseName(stored) == BaseName(imagePath);
}

std::string FindInfoFile(const std::string& appDir, const std::string& imagePath, int imageWidth, int imageHeight) {
  for (int n = 1; n <= kMostDistinctNames; ++n) {
    const std::string path = NumberedInfoFileName(appDir, imagePath, n);
    std::error_code ec;
    if (!std::filesystem::exists(path, ec) || InfoFileBelongsTo(path, imagePath, imageWidth, imageHeight)) return path;
  }
  return NumberedInfoFileName(appDir, imagePath, kMostDistinctNames);
}

namespace {

constexpr std::string_view kUser = "User Info";
constexpr std::string_view kProgram = "Program Info";
constexpr std::string_view kSatellite = "Satellite Info";
constexpr std::string_view kSupplemental = "Supplemental Info";

// The plate's lens distortion as "[Program Info]" keys: DistOrder (2 to 5), DistCentre (the polynomial's
// origin and its unit, pixels) and Dist2 .. DistN (the degree's x then y coefficients), numbers with 12
// significant digits and a point whatever the locale. Without distortion the keys are left out (a file
// that had them gets DistOrder=0); an older reader ignores them.
std::string DistortionNumbers(const double* values, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, values[i], std::chars_format::general, 12);
    text += (i ? "," : "") + std::string(buf, r.ptr);
  }
  return text;
}
std::vector<double> ReadDistortionNumbers(const std::string& text) {
  std::vector<double> values;
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end) {
    double v = 0.0;
    const auto r = std::from_chars(p, end, v);
    if (r.ec != std::errc() || !std::isfinite(v)) return {};
    values.push_back(v);
    p = r.ptr;
    if (p < end && *p++ != ',') return {};
  }
  return values;
}

// Date as day "00" . month "00" . year "0000".
std::string DateText(const CalendarTime& t) {
  return FormatNumber(t.day, "00") + "." + FormatNumber(t.month, "00") + "." + FormatNumber(t.year, "0000");
}

// Time as hour "00" : minute "00" : seconds "00.00" (the seconds with the locale's decimal separator).
std::string TimeText(const CalendarTime& t) {
  return FormatNumber(t.hour, "00") + ":" + FormatNumber(t.minute, "00") + ":" + FormatNumber(t.seconds, "00.00");
}

// Reads a date into a calendar time. On failure the fields that parsed before the failing one take
// their new values; the failing field and the ones after it keep theirs.
void ReadDate(const std::string& text, CalendarTime& t) {
  int year = t.year, month = t.month, day = t.day;
  if (ParseDate(text, year, month, day)) {
    t.year = static_cast<std::int16_t>(year);
    t.month = static_cast<std::int16_t>(month);
    t.day = static_cast<std::int16_t>(day);
    return;
  }
  if (day < 1 || day > 31) return;
  t.day = static_cast<std::int16_t>(day);
  if (month < 1 || month > 12) return;
  t.month = static_cast<std::int16_t>(month);
}

// Reads a time of day into a calendar time, with the same rule for a failing field as ReadDate.
void ReadTime(const std::string& text, CalendarTime& t) {
  int hour = t.hour, minute = t.minute;
  float seconds = t.seconds;
  if (ParseTime(text, hour, minute, seconds)) {
    t.hour = static_cast<std::int16_t>(hour);
    t.minute = static_cast<std::int16_t>(minute);
    t.seconds = seconds;
    return;
  }
  if (hour < 0 || hour > 24) return;
  t.hour = static_cast<std::int16_t>(hour);
  if (minute < 0 || minute > 60) return;
  t.minute = static_cast<std::int16_t>(minute);
}

double ReadDouble(const IniDocument& doc, std::string_view section, std::string_view key, std::string_view def) {
  return ParseNumber(IniGetValue(doc, section, key, def));
}

// A single-precision value; a number beyond the single range reads as 0 like any unreadable value.
float ReadFloat(const IniDocument& doc, std::string_view section, std::string_view key, std::string_view def) {
  const double value = ReadDouble(doc, section, key, def);
  return std::fabs(value) <= std::numeric_limits<float>::max() ? static_cast<float>(value) : 0.0f;
}

// The remembered list cut into pieces of whole numbers that each fit one value: the first is kept under
// "Multi_traectory" (all that an older reader sees), the others under "Multi_traectory2", "Multi_traectory3"...
std::vector<std::string> RememberedPieces(const std::vector<int>& numbers) {
  std::vector<std::string> pieces(1);
  for (const int number : numbers) {
    const std::string item = FormatNumber(number, "0");
    if (!pieces.back().empty() && pieces.back().size() + 2 + item.size() > kIniValueLimit) pieces.emplace_back();
    if (!pieces.back().empty()) pieces.back() += ", ";
    pieces.back() += item;
  }
  return pieces;
}

// The key of the remembered list's piece k (0 is the first).
std::string RememberedKey(std::size_t k) {
  return k == 0 ? std::string("Multi_traectory") : "Multi_traectory" + std::to_string(k + 1);
}

// The most pieces read back (some 36 numbers each).
constexpr std::size_t kMaxRememberedPieces = 1000;

// Appends the non-zero numbers of a comma-separated list; blanks and text between commas read as 0.
// A one-character value is read as well, so that a one-digit catalogue number written alone comes back.
void AppendRemembered(std::string_view text, std::vector<int>& numbers) {
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    const std::string_view piece = text.substr(start, comma == std::string_view::npos ? text.npos : comma - start);
    const int number = RoundToInt(ParseNumber(piece));
    if (number != 0) numbers.push_back(number);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
}

bool HasPixel(const TrackPoint& p) {
  return p.x != 0.0f && p.y != 0.0f;
}

}  // namespace

namespace {

// One value the writer sets.
struct InfoKey {
  std::string_view section;
  std::string key;  // owned: some keys are built ("Dist2")
  std::string value;
};

// Every value the information file keeps of the record, section by section in the file's order; doc is
// the file as it stands (keys written only when set are written again when it already holds them).
std::vector<InfoKey> InfoKeysOf(const InfoFileData& data, const IniDocument& doc) {
  std::vector<InfoKey> keys;
  const FrameInfo& info = data.info;
  const auto set = [&keys](std::string_view section, std::string_view key, std::string value) {
    keys.push_back({section, std::string(key), std::move(value)});
  };
  set(kUser, "FileName", data.imagePath);
  set(kUser, "Size X", NumberText(static_cast<double>(data.imageWidth)));
  set(kUser, "Size y", NumberText(static_cast<double>(data.imageHeight)));
  set(kUser, "Date", DateText(info.midTime));
  set(kUser, "UT", TimeText(info.midTime));
  set(kUser, "Date_start", DateText(info.startTime));
  set(kUser, "UT_start", TimeText(info.startTime));
  set(kUser, "erUT", NumberText(info.utError));
  set(kUser, "Exposition", NumberText(info.exposure));
  set(kUser, "Longitude", NumberText(info.longitude));
  set(kUser, "Latitude", NumberText(info.latitude));
  set(kUser, "RaUser", NumberText(info.raUser));
  set(kUser, "DecUser", NumberText(info.decUser));
  set(kUser, "FieldUser", NumberText(info.fieldUser));
  set(kUser, "FixedCamera", info.fixedCamera ? "1" : "0");
  // The height and the pointing are written only when they say something or the file already holds them,
  // so that the files of sites at sea level without a pointing stay as they were; a pointing no longer set
  // is left empty, which reads as none.
  const auto held = [&doc](std::string_view key) { return IniGetValue(doc, kUser, key, "\n") != "\n"; };
  if (info.heightM != 0.0 || held("Height")) set(kUser, "Height", NumberText(info.heightM));
  if (info.pointingAltAz || held("PointAlt") || held("PointAz")) {
    set(kUser, "PointAlt", info.pointingAltAz ? NumberText(info.pointingAlt) : std::string());
    set(kUser, "PointAz", info.pointingAltAz ? NumberText(info.pointingAz) : std::string());
  }

  const PlateSolution& plate = data.plate;
  set(kProgram, "RA", NumberText(plate.ra0Deg));
  set(kProgram, "DEC", NumberText(plate.dec0Deg));
  set(kProgram, "Mx", NumberText(plate.mxArcsec));
  set(kProgram, "My", NumberText(plate.myArcsec));
  set(kProgram, "PoleUser", info.fieldSizeText);
  set(kProgram, "Angle", NumberText(plate.fDeg));
  set(kProgram, "Gamma", NumberText(plate.gDeg));
  set(kProgram, "Xc", NumberText(plate.xo));
  set(kProgram, "Yc", NumberText(plate.yo));
  const PlateDistortion& lens = plate.distortion;
  if (lens.Present() || !IniGetValue(doc, kProgram, "DistOrder", "").empty()) {
    set(kProgram, "DistOrder", lens.Present() ? std::to_string(lens.order) : "0");
    if (lens.Present()) {
      const double base[3] = {lens.cx, lens.cy, lens.r};
      set(kProgram, "DistCentre", DistortionNumbers(base, 3));
      for (int d = 2, first = 0; d <= lens.order; first += d + 1, ++d) {
        std::vector<double> both(lens.a.begin() + first, lens.a.begin() + first + d + 1);
        both.insert(both.end(), lens.b.begin() + first, lens.b.begin() + first + d + 1);
        set(kProgram, "Dist" + std::to_string(d), DistortionNumbers(both.data(), static_cast<int>(both.size())));
      }
    }
  }

  const TrackPoint& end1 = data.trackEnds[1];
  const TrackPoint& end2 = data.trackEnds[2];
  set(kSatellite, "Norad", NumberText(static_cast<double>(data.identifiedNorad)));
  set(kSatellite, "Name", data.identifiedName);
  set(kSatellite, "Track_X1", NumberText(end1.x));
  set(kSatellite, "Track_Y1", NumberText(end1.y));
  set(kSatellite, "Track_X2", NumberText(end2.x));
  set(kSatellite, "Track_Y2", NumberText(end2.y));
  set(kSatellite, "Track_RA1", NumberText(RadToDeg(end1.ra)));
  set(kSatellite, "Track_DEC1", NumberText(RadToDeg(end1.dec)));
  set(kSatellite, "Track_RA2", NumberText(RadToDeg(end2.ra)));
  set(kSatellite, "Track_DEC2", NumberText(RadToDeg(end2.dec)));
  if (!data.remembered.empty()) {
    const std::vector<std::string> pieces = RememberedPieces(data.remembered);
    for (std::size_t k = 0; k < pieces.size(); ++k) set(kSatellite, RememberedKey(k), pieces[k]);
    // Pieces of a longer list written before are emptied.
    for (std::size_t k = pieces.size(); k < kMaxRememberedPieces; ++k) {
      if (IniGetValue(doc, kSatellite, RememberedKey(k), "\n") == "\n") break;
      set(kSatellite, RememberedKey(k), "");
    }
  }

  set(kSupplemental, "MoonVis", data.moonVisibility);
  set(kSupplemental, "MoonPhase", NumberText(data.moonPhase));
  set(kSupplemental, "DistanceMoon", NumberText(data.moonDistance));
  return keys;
}

}  // namespace

WriteResult WriteInfoFile(const std::string& path, const InfoFileData& data) {
  if (path.empty()) return {false, "пустое имя файла"};
  IniDocument doc = ReadIniFile(path);
  for (const InfoKey& k : InfoKeysOf(data, doc)) IniSetValue(doc, k.section, k.key, k.value);
  return WriteIniFile(path, doc);
}

InfoMerge WriteInfoFileChanges(const std::string& path, const InfoFileData& before, const InfoFileData& data) {
  InfoMerge merge;
  IniDocument doc = ReadIniFile(path);
  const std::vector<InfoKey> old = InfoKeysOf(before, doc);
  const std::vector<InfoKey> now = InfoKeysOf(data, doc);
  // A section is taken whole: its values belong together (a plate, a track with its satellite).
  for (std::size_t i = 0; i < now.size(); ++i) {
    const bool changed = i >= old.size() || old[i].key != now[i].key || old[i].value != now[i].value;
    if (changed && (merge.sections.empty() || merge.sections.back() != now[i].section))
      merge.sections.emplace_back(now[i].section);
  }
  if (merge.sections.empty()) {
    merge.written.ok = true;
    return merge;
  }
  for (const InfoKey& k : now)
    if (std::find(merge.sections.begin(), merge.sections.end(), k.section) != merge.sections.end())
      IniSetValue(doc, k.section, k.key, k.value);
  merge.written = WriteIniFile(path, doc);
  return merge;
}

std::string InfoFileStamp(const std::string& path) {
  std::string bytes;
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return {};
  ReadWholeFile(path, bytes);
  return ChecksumText(ContentChecksum(bytes)) + "/" + std::to_string(bytes.size());
}

bool InfoFileTooLarge(const std::string& path) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  return !ec && size > kMaxInfoFileBytes;
}

std::vector<std::string> ReadInfoFile(const std::string& path, InfoFileData& data) {
  // A file larger than any information file reads as an empty one: every key takes its default.
  std::vector<std::string> messages;
  const bool tooLarge = InfoFileTooLarge(path);
  if (tooLarge)
    messages.push_back("Информационный файл " + path + " больше " +
                       NumberText(kMaxInfoFileBytes / 1024.0 / 1024.0) + " МБ и не прочитан");
  const IniDocument doc = tooLarge ? IniDocument{} : ReadIniFile(path);
  FrameInfo& info = data.info;
  ReadDate(IniGetValue(doc, kUser, "Date", "00.00.0000"), info.midTime);
  ReadTime(IniGetValue(doc, kUser, "UT", "00:00:00.00"), info.midTime);
  ReadDate(IniGetValue(doc, kUser, "Date_start", "00.00.0000"), info.startTime);
  ReadTime(IniGetValue(doc, kUser, "UT_start", "00:00:00.00"), info.startTime);
  info.utError = ReadFloat(doc, kUser, "erUT", "0");
  info.exposure = ReadDouble(doc, kUser, "Exposition", "0.0");
  info.longitude = ReadDouble(doc, kUser, "Longitude", "0.0");
  info.latitude = ReadDouble(doc, kUser, "Latitude", "0.0");
  info.raUser = ReadDouble(doc, kUser, "RaUser", "0.0");
  info.decUser = ReadDouble(doc, kUser, "DecUser", "0.0");
  info.fieldUser = ReadFloat(doc, kUser, "FieldUser", "0.0");
  info.fixedCamera = ReadDouble(doc, kUser, "FixedCamera", "0") != 0.0;  // a file without it: a followed sky
  // A height outside the accepted range reads as 0 like any unreadable value; the panel and the command
  // line name a bad height where it is typed.
  const double height = ReadDouble(doc, kUser, "Height", "0");
  info.heightM = HeightFault(height).empty() ? height : 0.0;
  // A pointing needs both its numbers; an altitude outside 0..90 degrees is none.
  const std::string pointAlt = IniGetValue(doc, kUser, "PointAlt", "");
  const std::string pointAz = IniGetValue(doc, kUser, "PointAz", "");
  const double altitude = ParseNumber(pointAlt), azimuth = ParseNumber(pointAz);
  info.pointingAltAz =
      !pointAlt.empty() && !pointAz.empty() && altitude >= 0.0 && altitude <= 90.0 && std::isfinite(azimuth);
  info.pointingAlt = info.pointingAltAz ? altitude : 0.0;
  info.pointingAz = info.pointingAltAz ? Normalize360(azimuth) : 0.0;

  PlateSolution& plate = data.plate;
  plate.ra0Deg = ReadDouble(doc, kProgram, "RA", "0.0");
  plate.dec0Deg = ReadDouble(doc, kProgram, "DEC", "0.0");
  plate.mxArcsec = ReadDouble(doc, kProgram, "Mx", "0.0");
  plate.myArcsec = ReadDouble(doc, kProgram, "My", "0.0");
  info.fieldSizeText = IniGetValue(doc, kProgram, "PoleUser", "0x0");
  plate.fDeg = ReadDouble(doc, kProgram, "Angle", "0.0");
  plate.gDeg = ReadDouble(doc, kProgram, "Gamma", "0.0");
  plate.xo = ReadDouble(doc, kProgram, "Xc", "0.0");
  plate.yo = ReadDouble(doc, kProgram, "Yc", "0.0");
  // A distortion that does not read whole is dropped: the linear plate stands alone.
  plate.distortion = PlateDistortion();
  PlateDistortion lens;
  lens.order = std::atoi(IniGetValue(doc, kProgram, "DistOrder", "0").c_str());
  const std::vector<double> base = ReadDistortionNumbers(IniGetValue(doc, kProgram, "DistCentre", ""));
  bool whole = lens.order >= 2 && lens.order <= kMaxDistortionOrder && base.size() == 3 && base[2] > 0.0;
  for (int d = 2, first = 0; whole && d <= lens.order; first += d + 1, ++d) {
    const std::vector<double> both = ReadDistortionNumbers(IniGetValue(doc, kProgram, "Dist" + std::to_string(d), ""));
    whole = both.size() == static_cast<std::size_t>(2 * (d + 1));
    for (int k = 0; whole && k <= d; ++k) {
      lens.a[static_cast<std::size_t>(first + k)] = both[static_cast<std::size_t>(k)];
      lens.b[static_cast<std::size_t>(first + k)] = both[static_cast<std::size_t>(d + 1 + k)];
    }
  }
  if (whole) {
    lens.cx = base[0];
    lens.cy = base[1];
    lens.r = base[2];
    plate.distortion = lens;
  }

  TrackPoint& end1 = data.trackEnds[1];
  TrackPoint& end2 = data.trackEnds[2];
  data.identifiedNorad = RoundToInt(ReadDouble(doc, kSatellite, "Norad", "0"));
  data.identifiedName = IniGetValue(doc, kSatellite, "Name", "unknown");
  end1.x = ReadFloat(doc, kSatellite, "Track_X1", "0");
  end1.y = ReadFloat(doc, kSatellite, "Track_Y1", "0");
  end2.x = ReadFloat(doc, kSatellite, "Track_X2", "0");
  end2.y = ReadFloat(doc, kSatellite, "Track_Y2", "0");
  end1.ra = DegToRad(ReadDouble(doc, kSatellite, "Track_RA1", "0"));
  end1.dec = DegToRad(ReadDouble(doc, kSatellite, "Track_DEC1", "0"));
  end2.ra = DegToRad(ReadDouble(doc, kSatellite, "Track_RA2", "0"));
  end2.dec = DegToRad(ReadDouble(doc, kSatellite, "Track_DEC2", "0"));
  AppendRemembered(IniGetListValue(doc, kSatellite, "Multi_traectory", " ", ','), data.remembered);
  for (std::size_t k = 1; k < kMaxRememberedPieces; ++k) {
    if (IniGetValue(doc, kSatellite, RememberedKey(k), "\n") == "\n") break;
    AppendRemembered(IniGetListValue(doc, kSatellite, RememberedKey(k), " ", ','), data.remembered);
  }

  data.moonVisibility = IniGetValue(doc, kSupplemental, "MoonVis", "No");
  data.moonPhase = ReadFloat(doc, kSupplemental, "MoonPhase", "0");
  data.moonDistance = ReadFloat(doc, kSupplemental, "DistanceMoon", "0");

  // A value outside its physical range is not used: it keeps its default and the message names it.
  const auto check = [&](std::string_view section, std::string_view key, auto& value, double low, double high,
                         double unit = 1.0) {
    const double v = static_cast<double>(value) / unit;
    if (v >= low && v <= high) return;
    messages.push_back("Информационный файл " + path + ": " + std::string(key) + " = " +
                       IniGetValue(doc, section, key, "") + " вне пределов " + NumberText(low) + ".." +
                       NumberText(high) + ", не используется");
    value = 0;
  };
  check(kUser, "erUT", info.utError, 0.0, kMaxUtError);
  check(kUser, "Exposition", info.exposure, 0.0, kMaxExposureSeconds);
  check(kUser, "Longitude", info.longitude, -180.0, 360.0);  // east longitudes up to 360, as places take them
  check(kUser, "Latitude", info.latitude, -90.0, 90.0);
  check(kUser, "RaUser", info.raUser, 0.0, 360.0);
  check(kUser, "DecUser", info.decUser, -90.0, 90.0);
  check(kUser, "FieldUser", info.fieldUser, 0.0, 180.0);
  check(kProgram, "RA", plate.ra0Deg, -360.0, 360.0);
  check(kProgram, "DEC", plate.dec0Deg, -90.0, 90.0);
  check(kProgram, "Mx", plate.mxArcsec, -36000.0, 36000.0);
  check(kProgram, "My", plate.myArcsec, -36000.0, 36000.0);
  check(kProgram, "Angle", plate.fDeg, -720.0, 720.0);
  check(kProgram, "Gamma", plate.gDeg, -720.0, 720.0);
  check(kProgram, "Xc", plate.xo, -1e6, 1e6);
  check(kProgram, "Yc", plate.yo, -1e6, 1e6);
  check(kSatellite, "Norad", data.identifiedNorad, 0.0, 999999.0);
  // Track ends lie on the frame (its size is known when a frame is open).
  const double frameWidth = data.imageWidth > 0 ? data.imageWidth : 32767.0;
  const double frameHeight = data.imageHeight > 0 ? data.imageHeight : 32767.0;
  check(kSatellite, "Track_X1", end1.x, 0.0, frameWidth);
  check(kSatellite, "Track_Y1", end1.y, 0.0, frameHeight);
  check(kSatellite, "Track_X2", end2.x, 0.0, frameWidth);
  check(kSatellite, "Track_Y2", end2.y, 0.0, frameHeight);
  const double degree = DegToRad(1.0);
  check(kSatellite, "Track_RA1", end1.ra, -360.0, 360.0, degree);
  check(kSatellite, "Track_DEC1", end1.dec, -90.0, 90.0, degree);
  check(kSatellite, "Track_RA2", end2.ra, -360.0, 360.0, degree);
  check(kSatellite, "Track_DEC2", end2.dec, -90.0, 90.0, degree);

  // A pixel of 0 on either axis means the end was never marked; end 2 counts only after end 1. The
  // ends were just replaced by the file's, so a count kept from before would point at ends now at 0.
  data.trackEnds.count = HasPixel(end1) ? (HasPixel(end2) ? 2 : 1) : 0;
  DeriveStartFromMid(info);
  DeriveWorkingForm(plate);
  return messages;
}
