// Names from a satellite situation report and names with standard magnitudes from a fixed-column list,
// written as header lines of the satellites' database files.

#include <filesystem>
#include <system_error>

#include "base/numbers.h"
#include "satdb/satdb.h"
#include "satdb/text_fields.h"

namespace {

enum class DatabaseRead { Missing, Read, Failed };

// Reads a satellite's database file; Missing when the satellite has none.
DatabaseRead ReadDatabaseFile(const std::string& path, std::string& text) {
  if (ReadWholeFile(path, text)) return DatabaseRead::Read;
  std::error_code ec;
  return std::filesystem::exists(path, ec) || ec ? DatabaseRead::Failed : DatabaseRead::Missing;
}

// Shows the number of rewritten files in the progress label every 200 rewrites and yields.
void ShowRewriteCount(TaskControl& task, int count) {
  if (count % 200 != 0) return;
  task.SetLabel(FormatNumber(count, "0"));
  task.Yield();
}

// What one list record does to a database file's content.
using HeaderEdit = void (*)(SatelliteFile& file, std::string_view name, std::string_view magnitude);

// Rewrites the file of the satellite with the edited headers, keeping its sets. Missing files are skipped;
// failure on a read or write failure, with the message naming the file and the system's reason for a
// failed write. counted is set when the file existed.
NamesImportResult RewriteHeaders(const std::string& path, std::string_view name, std::string_view magnitude,
                                 HeaderEdit edit, TaskControl& task, bool& counted) {
  std::string oldText;
  counted = false;
  switch (ReadDatabaseFile(path, oldText)) {
    case DatabaseRead::Missing:
      return {true, {}};
    case DatabaseRead::Failed:
      return {};
    case DatabaseRead::Read:
      break;
  }
  SatelliteFile file = ParseSatelliteFile(oldText);
  task.Yield();
  if (!IsSatelliteFile(file)) return {true, {}};  // a user's file under a satellite's name stays untouched
  counted = true;
  edit(file, name, magnitude);
  const WriteResult written = StoreSatelliteFile(path, file, oldText);
  if (written) return {true, {}};
  return {false, "Не удалось записать файл базы данных " + path + ": " + written.reason +
                     ". Файл оставлен без изменений, ввод прерван."};
}

// The report's name becomes the only header line.
void SetSsrName(SatelliteFile& file, std::string_view name, std::string_view) {
  file.nameLine = "Name = " + std::string(name);
  file.mNameLine.reset();
  file.magLine.reset();
}

// The list's name and magnitude replace mName and Mag; Name stays. A record with a blank magnitude field
// leaves the stored magnitude as it is, rather than recording a magnitude of 0.
void SetListNameAndMagnitude(SatelliteFile& file, std::string_view name, std::string_view magnitude) {
  file.mNameLine = "mName = " + std::string(name);
  if (!TrimBlanks(magnitude).empty()) file.magLine = "Mag = " + FileDecimal(ParseNumber(magnitude), "0.00");
}

// True when columns first..last hold only blanks and digits, at least one digit.
bool NumberColumns(std::string_view line, std::size_t first, std::size_t last) {
  const std::string_view field = Columns(line, first, last);
  if (field.size() != last - first + 1) return false;
  bool digit = false;
  for (const char c : field) {
    if (c != ' ' && (c < '0' || c > '9')) return false;
    digit = digit || c != ' ';
  }
  return digit;
}

// Records looked at to tell a file's layout.
constexpr int kLayoutSample = 5;

// True when the first records of a magnitude list have the expected columns: the number in 1-5, a blank
// in 6, the name starting in 7, a blank in 37 and a number (or blanks) in 38-41.
bool LooksLikeMagnitudeList(const std::vector<std::string_view>& lines) {
  int seen = 0;
  for (const std::string_view line : lines) {
    if (line.size() <= 40 || line.front() == ' ') continue;
    const std::string_view magnitude = Columns(line, 38, 41);
    const bool numeric = magnitude.find_first_not_of(" +-.0123456789") == std::string_view::npos;
    if (!NumberColumns(line, 1, 5) || line[5] != ' ' || line[6] == ' ' || line[36] != ' ' || !numeric) return false;
    if (++seen == kLayoutSample) break;
  }
  return seen > 0;
}

// True when a situation report has a "Satellite" header followed, after its three lines, by records whose
// line A carries a catalogue number in columns 17-21.
bool LooksLikeSsr(const std::vector<std::string_view>& lines) {
  std::size_t next = 0;
  while (next < lines.size() && !(lines[next].size() > 8 && StartsWith(lines[next], "Satellite"))) ++next;
  next += 4;
  int seen = 0;
  for (; next + 1 < lines.size() && seen < kLayoutSample; next += 2, ++seen) {
    const std::string_view lineA = lines[next];
    if (lineA.empty() || lineA.front() == ' ') break;
    if (!NumberColumns(lineA, 17, 21)) return false;
  }
  return seen > 0;
}

}  // namespace

NamesImportResult ImportSsr(const std::string& path, const std::string& appDir, TaskControl& task) {
  std::string text;
  if (!ReadWholeFile(path, text)) return {};
  const std::vector<std::string_view> lines = SplitLines(WithoutByteOrderMark(text));
  if (!LooksLikeSsr(lines)) {
    return {false, "Файл " + path +
                       " не похож на ssr-файл: в нём нет строки заголовка «Satellite» с записями под ней (номер ИСЗ "
                       "в колонках 17-21). База данных не изменена."};
  }
  std::size_t next = 0;
  bool inBlock = false;
  int count = 0;
  while (next < lines.size() && !task.Cancelled()) {
    if (!inBlock) {
      const std::string_view line = lines[next++];
      if (line.size() > 8 && StartsWith(line, "Satellite")) {
        if (next + 3 > lines.size()) return {};  // the report ends inside the table head
        next += 3;
        inBlock = true;
      }
    }
    if (!inBlock || next >= lines.size()) continue;
    const std::string_view lineA = lines[next++];
    if (lineA.empty() || lineA.front() == ' ') {
      inBlock = false;
      continue;
    }
    if (next >= lines.size()) return {};  // a record without its name line
    const std::string_view lineB = lines[next++];
    const int number = RoundToInt(FieldNumber(lineA, 17, 21));
    bool counted = false;
    const NamesImportResult rewritten =
        RewriteHeaders(SatelliteFilePath(appDir, number), Columns(lineB, 1, 22), {}, SetSsrName, task, counted);
    if (!rewritten) return rewritten;
    if (counted) ShowRewriteCount(task, ++count);
  }
  return {true, {}};
}

NamesImportResult ImportMagnitudes(const std::string& path, const std::string& appDir, TaskControl& task) {
  std::string text;
  if (!ReadWholeFile(path, text)) return {};
  const std::vector<std::string_view> lines = SplitLines(WithoutByteOrderMark(text));
  if (!LooksLikeMagnitudeList(lines)) {
    return {false, "Файл " + path +
                       " не похож на список имён и звёздных величин: в первых строках нет номера ИСЗ в колонках 1-5, "
                       "имени с колонки 7 и звёздной величины в колонках 38-41. База данных не изменена."};
  }
  int count = 0;
  for (const std::string_view line : lines) {
    if (task.Cancelled()) break;
    if (line.size() <= 40 || line.front() == ' ') continue;
    const int number = RoundToInt(FieldNumber(line, 1, 5));
    bool counted = false;
    const NamesImportResult rewritten = RewriteHeaders(SatelliteFilePath(appDir, number), Columns(line, 7, 21),
                                                       Columns(line, 38, 41), SetListNameAndMagnitude, task, counted);
    if (!rewritten) return rewritten;
    if (counted) ShowRewriteCount(task, ++count);
  }
  return {true, {}};
}
