// Database files: element-set columns, epoch keys, the file format and its atomic rewrite, and the
// reader of a satellite's best element set.

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>
#include <system_error>

#include "base/calendar.h"
#include "base/numbers.h"
#include "satdb/satdb.h"
#include "satdb/text_fields.h"
#include "sky/angles.h"

namespace fs = std::filesystem;

std::string_view Columns(std::string_view line, std::size_t first, std::size_t last) {
  if (first == 0 || first > line.size() || last < first) return {};
  return line.substr(first - 1, std::min(last, line.size()) - first + 1);
}

double FieldNumber(std::string_view line, std::size_t first, std::size_t last) {
  const double value = ParseNumber(Columns(line, first, last));
  return std::isfinite(value) ? value : 0.0;
}

std::string_view TrimBlanks(std::string_view text) {
  const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

std::string JoinedList(const std::vector<std::string>& texts) {
  std::string list;
  for (const std::string& text : texts) list += (list.empty() ? "" : ", ") + text;
  return list;
}

std::string FileDecimal(double value, std::string_view pattern) {
  std::string text = FormatNumber(value, pattern);
  std::replace(text.begin(), text.end(), ',', '.');
  return text;
}

std::optional<int> CatalogNumberOfLine1(std::string_view line1) {
  if (line1.size() < 7) return std::nullopt;
  std::string_view field = TrimBlanks(line1.substr(2, 5));
  if (field.empty()) return std::nullopt;
  const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  int value = 0;
  if (field.size() == 5 && field[0] >= 'A' && field[0] <= 'Z' && field[0] != 'I' && field[0] != 'O') {
    // Alpha-5: the letter stands for the two leading digits 10..33, skipping I and O.
    int lead = field[0] - 'A' + 10;
    if (field[0] > 'I') --lead;
    if (field[0] > 'O') --lead;
    value = lead;
    field.remove_prefix(1);
  }
  if (field.empty() || !std::all_of(field.begin(), field.end(), isDigit)) return std::nullopt;
  for (char c : field) value = value * 10 + (c - '0');
  return value;
}

double EpochKey(std::string_view line1) {
  const double k = FieldNumber(line1, 19, 32);
  return k > 61000 ? k + 1900000 : k + 2000000;
}

double PerigeeRadius(double meanMotionRevPerDay, double eccentricity) {
  const double n = meanMotionRevPerDay * 2 * Pi / 86400;
  const double a = std::cbrt(398600.5 / (n * n));
  return a * (1 - eccentricity);
}

namespace {

// Sign of the exponent of an assumed-decimal field from its sign column: +1 for "+" or a blank (or a
// line too short to reach it), -1 for "-", none for anything else.
std::optional<double> ExponentSign(std::string_view line1, std::size_t column) {
  const std::string_view sign = Columns(line1, column, column);
  if (sign.empty() || sign == " " || sign == "+") return 1.0;
  if (sign == "-") return -1.0;
  return std::nullopt;
}

}  // namespace

bool ParseElementSet(std::string_view line1, std::string_view line2, TleRecord& record) {
  record.catalogNumber = CatalogNumberOfLine1(line1).value_or(0);
  record.designator = std::string(Columns(line1, 10, 17));
  int year = RoundToInt(FieldNumber(line1, 19, 20));
  year += year <= 60 ? 2000 : 1900;
  record.epochMjd = MjdFromDate(year, 1, 0, 0) + FieldNumber(line1, 21, 32);
  // B*: sign (54), five mantissa digits read as 0.ddddd (55-59), the exponent's sign (60) and digit (61).
  // Satellites raising their orbits carry positive exponents ("-35880+1" is -3.588).
  const std::optional<double> exponentSign = ExponentSign(line1, 60);
  // The second derivative of mean motion (45-52) is not used, but its exponent sign (51) must be valid too.
  if (!exponentSign || !ExponentSign(line1, 51)) return false;
  const double mantissa = ParseNumber("0." + std::string(Columns(line1, 55, 59)));
  const double exponent = FieldNumber(line1, 61, 61);
  record.bstar = (Columns(line1, 54, 54) == "-" ? -1.0 : 1.0) * mantissa * std::pow(10.0, *exponentSign * exponent);
  record.inclinationDeg = FieldNumber(line2, 9, 16);
  record.raanDeg = FieldNumber(line2, 18, 25);
  record.eccentricity = ParseNumber("0." + std::string(Columns(line2, 27, 33)));
  record.argPerigeeDeg = FieldNumber(line2, 35, 42);
  record.meanAnomalyDeg = FieldNumber(line2, 44, 51);
  record.meanMotion = FieldNumber(line2, 53, 63);
  const double values[] = {record.epochMjd,     record.bstar,         record.inclinationDeg, record.raanDeg,
                           record.eccentricity, record.argPerigeeDeg, record.meanAnomalyDeg, record.meanMotion};
  return std::all_of(std::begin(values), std::end(values), [](double v) { return std::isfinite(v); });
}

namespace {

constexpr std::string_view kDecimal = ".0123456789";
constexpr double kEarthRadiusKm = 6378.137;  // equatorial radius of WGS-84
constexpr std::string_view kDigits = "0123456789";
constexpr std::string_view kSigned = "+-.0123456789";

// The fields ParseElementSet reads, with what each may hold besides blanks around it, whether a digit
// is required, the name the messages give it and its physical range (lowest, highest; no range when
// lowest > highest).
struct FieldRule {
  int line;
  std::size_t first, last;
  std::string_view allowed;
  bool digitRequired;
  const char* name;
  double lowest = 1, highest = 0;
  bool aboveLowest = false;  // the value must exceed lowest (mean motion)
};
constexpr FieldRule kFieldRules[] = {
    {1, 19, 32, kDecimal, true, "эпоха"},
    {1, 34, 43, kSigned, false, "первая производная среднего движения"},
    {1, 45, 50, kSigned, false, "вторая производная среднего движения"},
    {1, 51, 51, "+-", false, "знак порядка второй производной"},
    {1, 52, 52, kDigits, false, "порядок второй производной"},
    {1, 54, 54, "+-", false, "знак B*"},
    {1, 55, 59, kDigits, false, "B*"},
    {1, 60, 60, "+-", false, "знак порядка B*"},
    {1, 61, 61, kDigits, false, "порядок B*"},
    {2, 9, 16, kDecimal, true, "наклонение", 0, 180},
    {2, 18, 25, kDecimal, true, "долгота восходящего узла", 0, 360},
    {2, 27, 33, kDigits, true, "эксцентриситет"},
    {2, 35, 42, kDecimal, true, "аргумент перигея", 0, 360},
    {2, 44, 51, kDecimal, true, "средняя аномалия", 0, 360},
    {2, 53, 63, kDecimal, true, "среднее движение", 0, 20, true},
};

// Columns that stand blank between the fields of line 1 and line 2.
constexpr std::size_t kBlankColumns1[] = {2, 9, 18, 33, 44, 53, 62, 64};
constexpr std::size_t kBlankColumns2[] = {2, 8, 17, 26, 34, 43, 52};

// True when the field holds only blanks and the allowed characters, with a digit when one is required;
// strictly, the characters form one unbroken run (a number is never split by a blank).
bool FieldMadeOf(std::string_view field, std::string_view allowed, bool digitRequired, bool strict) {
  const std::size_t begin = field.find_first_not_of(' ');
  if (begin == std::string_view::npos) return !digitRequired;
  const std::string_view run = field.substr(begin, field.find_last_not_of(' ') - begin + 1);
  bool digit = false;
  for (const char c : run) {
    if (allowed.find(c) == std::string_view::npos && (strict || c != ' ')) return false;
    digit = digit || (c >= '0' && c <= '9');
  }
  return digit || !digitRequired;
}

// A field's text for a message: trimmed and cut to its columns, control characters shown as "?".
std::string FieldText(std::string_view field) {
  std::string text(TrimBlanks(field));
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return text;
}

SetCheck Fault(SetFault fault, int line, std::string reason) {
  return {fault, line, std::move(reason)};
}

}  // namespace

int ElementLineChecksum(std::string_view line) {
  int sum = 0;
  for (const char c : line.substr(0, std::min<std::size_t>(line.size(), kElementLineColumns - 1))) {
    if (c >= '0' && c <= '9') sum += c - '0';
    if (c == '-') sum += 1;
  }
  return sum % 10;
}

namespace {

// The checks of ExamineElementSet; without strict only those a stored set has always had to pass (lengths,
// line numbers, checksums, the characters of the fields), so that no database file written before is
// taken for a foreign one.
SetCheck Examine(std::string_view line1, std::string_view line2, bool strict) {
  const std::string_view lines[] = {line1, line2};
  for (int k = 0; k < 2; ++k) {
    if (lines[k].size() < kElementLineColumns)
      return Fault(SetFault::CutShort, k + 1,
                   "строка короче 69 знаков (" + FormatNumber(static_cast<double>(lines[k].size()), "0") + ")");
  }
  for (int k = 0; k < 2 && strict; ++k) {
    const std::string_view tail = lines[k].substr(kElementLineColumns);
    if (tail.find_first_not_of(" \t") != std::string_view::npos)
      return Fault(SetFault::TooLong, k + 1,
                   "строка длиннее 69 знаков (" + FormatNumber(static_cast<double>(lines[k].size()), "0") + ")");
  }
  if (!StartsWith(line1, "1 ")) return Fault(SetFault::BadField, 1, "строка не начинается с «1 »");
  if (!StartsWith(line2, "2 ")) return Fault(SetFault::BadField, 2, "строка не начинается с «2 »");
  for (int k = 0; k < 2; ++k) {
    const char digit = lines[k][kElementLineColumns - 1];
    if (digit < '0' || digit > '9' || digit - '0' != ElementLineChecksum(lines[k]))
      return Fault(SetFault::BadChecksum, k + 1, "неверная контрольная сумма");
  }
  if (strict && line1.substr(2, 5) != line2.substr(2, 5))
    return Fault(SetFault::NumberMismatch, 2,
                 "номер ИСЗ в строке 2 (" + FieldText(line2.substr(2, 5)) + ") не совпадает с номером в строке 1 (" +
                     FieldText(line1.substr(2, 5)) + ")");
  for (int k = 0; k < 2 && strict; ++k) {
    const auto check = [&](const std::size_t* begin, const std::size_t* end) -> std::optional<std::size_t> {
      for (const std::size_t* c = begin; c != end; ++c)
        if (lines[k][*c - 1] != ' ') return *c;
      return std::nullopt;
    };
    const std::optional<std::size_t> column = k == 0 ? check(std::begin(kBlankColumns1), std::end(kBlankColumns1))
                                                     : check(std::begin(kBlankColumns2), std::end(kBlankColumns2));
    if (column)
      return Fault(SetFault::BadField, k + 1,
                   "в столбце " + FormatNumber(static_cast<double>(*column), "0") +
                       " между полями стоит не пробел (строка сдвинута?)");
  }
  for (const FieldRule& rule : kFieldRules) {
    const std::string_view field = Columns(lines[rule.line - 1], rule.first, rule.last);
    if (!FieldMadeOf(field, rule.allowed, rule.digitRequired, strict))
      return Fault(SetFault::BadField, rule.line,
                   std::string("поле «") + rule.name + "» = «" + FieldText(field) + "»: не число");
  }
  TleRecord elements;
  if (!ParseElementSet(line1, line2, elements))
    return Fault(SetFault::BadField, 1, "значения полей не читаются как числа");
  if (!strict) return {};
  const double day = FieldNumber(line1, 21, 32);
  if (!(day >= 1.0 && day < 367.0))
    return Fault(SetFault::OutOfRange, 1,
                 "поле «эпоха» = " + FieldText(Columns(line1, 19, 32)) + ": день года вне пределов 1..366.99999999");
  for (const FieldRule& rule : kFieldRules) {
    if (rule.lowest > rule.highest) continue;
    const double value = FieldNumber(lines[rule.line - 1], rule.first, rule.last);
    const bool below = rule.aboveLowest ? !(value > rule.lowest) : !(value >= rule.lowest);
    if (below || !(value <= rule.highest))
      return Fault(SetFault::OutOfRange, rule.line,
                   std::string("поле «") + rule.name +
                       "» = " + FieldText(Columns(lines[rule.line - 1], rule.first, rule.last)) + " вне пределов " +
                       FormatNumber(rule.lowest, "0") + ".." + FormatNumber(rule.highest, "0"));
  }
  // An orbit whose perigee lies inside the Earth is no orbit: the propagator fails on it (semi-latus
  // rectum negative, or decayed) at nearly every time, and between the failures gives positions far off.
  const double perigee = PerigeeRadius(elements.meanMotion, elements.eccentricity);
  if (!(perigee >= kEarthRadiusKm))
    return Fault(SetFault::OutOfRange, 2,
                 "перигей под поверхностью Земли (радиус перигея " + FormatNumber(perigee, "0") +
                     " км при эксцентриситете " + FieldText(Columns(line2, 27, 33)) + ")");
  return {};
}

}  // namespace

SetCheck ExamineElementSet(std::string_view line1, std::string_view line2) {
  return Examine(line1, line2, true);
}

SetFault CheckElementSet(std::string_view line1, std::string_view line2) {
  return Examine(line1, line2, false).fault;
}

std::string CleanName(std::string_view name) {
  std::string clean(name);
  for (char& c : clean)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return std::string(TrimBlanks(clean));
}

std::string DatabaseDir(const std::string& appDir) {
  return (fs::path(appDir) / "TLE").string();
}

std::string SatelliteFilePath(const std::string& appDir, int catalogNumber) {
  return (fs::path(appDir) / "TLE" / (FormatNumber(catalogNumber, "00000") + ".tle")).string();
}

std::vector<std::string> ListDatabaseFiles(const std::string& appDir) {
  std::vector<std::string> paths;
  std::error_code ec;
  for (fs::directory_iterator it(DatabaseDir(appDir), ec), end; !ec && it != end; it.increment(ec)) {
    std::string extension = it->path().extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".tle" && it->is_regular_file(ec)) paths.push_back(it->path().string());
  }
  // Shorter names first, so that six-digit numbers follow the five-digit ones.
  std::sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  return paths;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find_first_of("\r\n");
    lines.push_back(WithoutByteOrderMark(text.substr(0, end)));
    if (end == std::string_view::npos) break;
    const bool crLf = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n';
    text.remove_prefix(end + (crLf ? 2 : 1));
  }
  return lines;
}

std::string_view WithoutByteOrderMark(std::string_view text) {
  return StartsWith(text, "\xEF\xBB\xBF") ? text.substr(3) : text;
}

SatelliteFile ParseSatelliteFile(std::string_view text) {
  SatelliteFile file;
  const std::vector<std::string_view> lines = SplitLines(WithoutByteOrderMark(text));
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    if (StartsWith(line, "1") && i + 1 < lines.size() && StartsWith(lines[i + 1], "2")) {
      file.sets.push_back({std::string(line), std::string(lines[i + 1]), EpochKey(line)});
      ++i;
    } else if (StartsWith(line, "Name")) {
      file.nameLine = std::string(line);
    } else if (StartsWith(line, "mName")) {
      file.mNameLine = std::string(line);
    } else if (StartsWith(line, "Mag")) {
      file.magLine = std::string(line);
    } else if (!TrimBlanks(line).empty()) {
      file.otherLines.emplace_back(line);
    }
  }
  return file;
}

bool IsSatelliteFile(const SatelliteFile& file) {
  return std::any_of(file.sets.begin(), file.sets.end(),
                     [](const StoredSet& set) { return CheckElementSet(set.line1, set.line2) == SetFault::None; });
}

std::string SatelliteFileText(const SatelliteFile& file) {
  std::string text;
  const auto add = [&text](std::string_view line) {
    text += line;
    text += "\r\n";
  };
  if (file.nameLine) add(*file.nameLine);
  if (file.mNameLine) add(*file.mNameLine);
  if (file.magLine) add(*file.magLine);
  for (const StoredSet& set : file.sets) {
    add(set.line1);
    add(set.line2);
  }
  // Other lines beginning with "1" go last, so that none of them is followed by a line beginning with
  // "2" and read back as a set.
  for (const std::string& line : file.otherLines)
    if (!StartsWith(line, "1")) add(line);
  for (const std::string& line : file.otherLines)
    if (StartsWith(line, "1")) add(line);
  return text;
}

WriteResult StoreSatelliteFile(const std::string& path, const SatelliteFile& file, std::string_view oldText) {
  const std::string text = SatelliteFileText(file);
  if (text == oldText) return {true, {}};
  return WriteFileAtomically(path, text);
}

bool ReadBestSet(const std::string& path, double mjd, TleRecord& record) {
  record = TleRecord{};
  std::string text;
  if (!ReadWholeFile(path, text)) {
    record.ageDays = 10000;
    return false;
  }
  double best = 10000;
  double stopBound = 1000000;
  std::string_view bestLine1, bestLine2;
  const std::vector<std::string_view> lines = SplitLines(WithoutByteOrderMark(text));
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    if (StartsWith(line, "Name")) {
      record.name = std::string(Columns(line, 8, line.size()));
    } else if (StartsWith(line, "mName")) {
      record.mName = std::string(Columns(line, 9, line.size()));
    } else if (StartsWith(line, "Mag")) {
      const float magnitude = static_cast<float>(FieldNumber(line, 7, line.size()));
      record.standardMagnitude = std::isfinite(magnitude) ? magnitude : 99.0f;
    } else if (StartsWith(line, "1")) {
      // A final line 1 without its line 2 (a cut-off file) holds no elements and is no set; a line 1
      // followed by another line 1 is a stray line, and the set starts at the next one.
      if (i + 1 >= lines.size()) break;
      if (!StartsWith(lines[i + 1], "2")) continue;
      const std::string_view line2 = lines[++i];
      // Only the epoch is needed to choose; the chosen set is read in full after the loop.
      int year = RoundToInt(FieldNumber(line, 19, 20));
      year += year <= 60 ? 2000 : 1900;
      const double epoch = MjdFromDate(year, 1, 0, 0) + FieldNumber(line, 21, 32);
      const double d = std::fabs(epoch - mjd);
      if (!std::isfinite(d)) continue;
      if (d > stopBound) break;  // newest first: the distance only grows from here on
      if (d >= best) continue;
      if (CheckElementSet(line, line2) != SetFault::None) continue;  // damaged lines never propagate
      bestLine1 = line;
      bestLine2 = line2;
      best = d;
      stopBound = d;
    }
  }
  if (!bestLine1.empty()) {
    TleRecord elements = record;
    if (ParseElementSet(bestLine1, bestLine2, elements)) {
      record = elements;
    } else {
      best = 10000;
    }
  }
  record.ageDays = best;
  return true;
}
