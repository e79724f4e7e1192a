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
// false on a read or write failure. counted is set when the file existed.
bool RewriteHeaders(const std::string& path, std::string_view name, std::string_view magnitude, HeaderEdit edit,
                    TaskControl& task, bool& counted) {
  std::string oldText;
  counted = false;
  switch (ReadDatabaseFile(path, oldText)) {
    case DatabaseRead::Missing:
      return true;
    case DatabaseRead::Failed:
      return false;
    case DatabaseRead::Read:
      break;
  }
  counted = true;
  SatelliteFile file = ParseSatelliteFile(oldText);
  task.Yield();
  edit(file, name, magnitude);
  return StoreSatelliteFile(path, file, oldText);
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

}  // namespace

bool ImportSsr(const std::string& path, const std::string& appDir, TaskControl& task) {
  std::string text;
  if (!ReadWholeFile(path, text)) return false;
  const std::vector<std::string_view> lines = SplitLines(text);
  std::size_t next = 0;
  bool inBlock = false;
  int count = 0;
  while (next < lines.size() && !task.Cancelled()) {
    if (!inBlock) {
      const std::string_view line = lines[next++];
      if (line.size() > 8 && StartsWith(line, "Satellite")) {
        if (next + 3 > lines.size()) return false;  // the report ends inside the table head
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
    if (next >= lines.size()) return false;  // a record without its name line
    const std::string_view lineB = lines[next++];
    const int number = RoundToInt(FieldNumber(lineA, 17, 21));
    bool counted = false;
    if (!RewriteHeaders(SatelliteFilePath(appDir, number), Columns(lineB, 1, 22), {}, SetSsrName, task, counted)) {
      return false;
    }
    if (counted) ShowRewriteCount(task, ++count);
  }
  return true;
}

bool ImportMagnitudes(const std::string& path, const std::string& appDir, TaskControl& task) {
  std::string text;
  if (!ReadWholeFile(path, text)) return false;
  int count = 0;
  for (const std::string_view line : SplitLines(text)) {
    if (task.Cancelled()) break;
    if (line.size() <= 40 || line.front() == ' ') continue;
    const int number = RoundToInt(FieldNumber(line, 1, 5));
    bool counted = false;
    if (!RewriteHeaders(SatelliteFilePath(appDir, number), Columns(line, 7, 21), Columns(line, 38, 41),
                        SetListNameAndMagnitude, task, counted)) {
      return false;
    }
    if (counted) ShowRewriteCount(task, ++count);
  }
  return true;
}
