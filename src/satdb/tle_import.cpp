// Import of TLE files into the satellite database: reading two- and three-line input files and
// Orbit Mean-Elements Messages, creating
// and merging the per-satellite files, the perigee limit, progress and cancel.

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "base/numbers.h"
#include "satdb/omm.h"
#include "satdb/satdb.h"
#include "satdb/text_fields.h"

namespace {

// The name a name line gives: trimmed, without the "0 " line number some catalogues put before it.
std::string NameOfLine(std::string_view line) {
  std::string_view name = TrimBlanks(line);
  if (StartsWith(name, "0 ")) name = TrimBlanks(name.substr(2));
  return std::string(name);
}

// Perigee radius in km of a set, from the mean motion and eccentricity columns of its line 2.
double PerigeeRadiusOfLine2(std::string_view line2) {
  const double eccentricity = ParseNumber("0." + std::string(Columns(line2, 27, 33)));
  return PerigeeRadius(FieldNumber(line2, 53, 63), eccentricity);
}

enum class StoreOutcome { Created, Merged, Duplicate, WriteFailed, Foreign };

// Notes a failed write and its reason (the first one's).
StoreOutcome Failed(const std::string& reason, TleImportResult& result) {
  if (result.writeFailureReason.empty()) result.writeFailureReason = reason;
  return StoreOutcome::WriteFailed;
}

// Creates the satellite's file with the set, or merges the set into the existing file.
StoreOutcome StoreImportedSet(const ImportedSet& set, const std::string& appDir, TaskControl& task,
                              TleImportResult& result) {
  const std::string path = SatelliteFilePath(appDir, set.catalogNumber);
  std::string oldText;
  if (!ReadWholeFile(path, oldText)) {
    std::error_code ec;
    if (std::filesystem::exists(path, ec) || ec)
      return Failed("файл не читается", result);  // never replace unread data
    SatelliteFile file;
    if (!set.name.empty()) file.mNameLine = "mName = " + set.name;
    file.sets.push_back({set.line1, set.line2, set.epochKey});
    const WriteResult written = WriteFileAtomically(path, SatelliteFileText(file));
    return written ? StoreOutcome::Created : Failed(written.reason, result);
  }
  SatelliteFile file = ParseSatelliteFile(oldText);
  task.Yield();
  if (!IsSatelliteFile(file)) {
    if (std::find(result.foreignFiles.begin(), result.foreignFiles.end(), path) == result.foreignFiles.end()) {
      result.foreignFiles.push_back(path);
    }
    return StoreOutcome::Foreign;
  }
  const bool inserted = MergeSet(file, set);
  const WriteResult written = StoreSatelliteFile(path, file, oldText);
  if (!written) return Failed(written.reason, result);
  return inserted ? StoreOutcome::Merged : StoreOutcome::Duplicate;
}

// Counts a set skipped for its fault; false when the set has none.
bool CountFault(SetFault fault, TleImportResult& result) {
  switch (fault) {
    case SetFault::None:
      return false;
    case SetFault::CutShort:
      ++result.setsCutShort;
      break;
    case SetFault::BadChecksum:
      ++result.setsBadChecksum;
      break;
    case SetFault::BadField:
      ++result.setsBadField;
      break;
  }
  return true;
}

// The summary lines of the sets skipped and the files left alone, in the order of the result's fields.
void AddSkipMessages(TleImportResult& result) {
  const auto add = [&result](int count, const std::string& what) {
    if (count > 0) result.messages.push_back(what + FormatNumber(count, "0") + ".");
  };
  add(result.setsBadNumber, "Пропущено наборов TLE с неверным номером ИСЗ: ");
  add(result.setsNumberTooLarge,
      "Пропущено наборов OMM с номером ИСЗ больше 339999 (такой номер нельзя записать в TLE): ");
  add(result.setsCutShort, "Пропущено неполных наборов TLE (строка короче 69 знаков, файл оборван): ");
  add(result.setsBadChecksum, "Пропущено наборов TLE с неверной контрольной суммой: ");
  add(result.setsBadField, "Пропущено наборов TLE с нечисловыми значениями в числовых полях: ");
  if (!result.foreignFiles.empty()) {
    result.messages.push_back(
        "Файлы в папке TLE не похожи на файлы базы и оставлены без изменений (наборов TLE "
        "пропущено: " +
        FormatNumber(result.setsForeignFile, "0") + "): " + JoinedList(result.foreignFiles) + ".");
  }
  if (result.writeFailures > 0) {
    result.messages.push_back(
        "Не удалось записать наборов TLE в базу данных: " + FormatNumber(result.writeFailures, "0") + " (" +
        result.writeFailureReason + "). Прежние файлы базы сохранены.");
  }
}

// Shows the share of sets done, "45.3%", in the progress label.
void ShowPercent(TaskControl& task, std::size_t done, std::size_t total) {
  const double percent = static_cast<double>(done) / static_cast<double>(total) * 100;
  task.SetLabel(FormatNumber(percent, "0.0") + "%");
}

}  // namespace

bool ReadTleInput(const std::string& path, std::vector<ImportedSet>& sets) {
  sets.clear();
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) return false;
  const std::string_view text = WithoutByteOrderMark(bytes);
  if (text.find('\0') != std::string::npos) return false;  // binary data, not a text file
  const ElementInputForm form = ElementInputFormOf(text);
  if (form != ElementInputForm::TwoLine) {
    std::vector<OmmSet> records;
    if (!ReadOmmText(text, form, records)) return false;
    for (OmmSet& record : records) {
      ImportedSet set;
      set.name = std::move(record.name);
      set.numberTooLarge = !record.fitsTwoLine;
      if (record.fitsTwoLine) {
        set.line1 = std::move(record.line1);
        set.line2 = std::move(record.line2);
        set.catalogNumber = static_cast<int>(record.catalogNumber);
        set.numberValid = true;
        set.epochKey = EpochKey(set.line1);
        set.fault = CheckElementSet(set.line1, set.line2);
      }
      sets.push_back(std::move(set));
    }
    return true;
  }
  const std::vector<std::string_view> lines = SplitLines(text);
  std::string name;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    if (!StartsWith(line, "1 ")) {
      name = NameOfLine(line);
      continue;
    }
    if (i + 1 >= lines.size()) {
      sets.clear();
      return false;  // the file ends right after a line 1
    }
    ImportedSet set;
    set.line1 = std::string(line);
    set.line2 = std::string(lines[++i]);
    TleRecord elements;
    if (!ParseElementSet(set.line1, set.line2, elements)) {
      sets.clear();
      return false;  // a set whose columns cannot be read (an exponent sign other than +, - or blank)
    }
    set.fault = CheckElementSet(set.line1, set.line2);
    const std::optional<int> number = CatalogNumberOfLine1(line);
    set.numberValid = number.has_value();
    set.catalogNumber = number.value_or(0);
    set.epochKey = EpochKey(line);
    set.name = name;
    sets.push_back(std::move(set));
  }
  return true;
}

bool MergeSet(SatelliteFile& file, const ImportedSet& set) {
  // A name from a TLE file never replaces an existing mName line.
  if (!file.mNameLine && !set.name.empty()) file.mNameLine = "mName = " + std::string(TrimBlanks(set.name));
  const double key = set.epochKey;
  double previous = 200000000;
  for (std::size_t i = 0; i <= file.sets.size(); ++i) {
    const double next = i < file.sets.size() ? file.sets[i].epochKey : 0.0;
    if (previous > key && key >= next) {
      if (next == key) return false;  // this epoch is already stored
      file.sets.insert(file.sets.begin() + static_cast<std::ptrdiff_t>(i), StoredSet{set.line1, set.line2, key});
      return true;
    }
    previous = next;
  }
  return false;
}

TleImportResult ImportTleFiles(const std::vector<std::string>& paths, double perigeeLimitKm, const std::string& appDir,
                               TaskControl& task) {
  TleImportResult result;
  std::error_code ec;
  std::filesystem::create_directories(DatabaseDir(appDir), ec);  // normally made at start-up
  RemoveLeftoverTemporaries(DatabaseDir(appDir));
  std::vector<ImportedSet> sets;
  for (const std::string& path : paths) {
    task.SetText("Вводятся TLE из файла " + path);
    task.Yield();
    const bool read = ReadTleInput(path, sets);
    if (task.Cancelled()) {
      result.cancelled = true;
      break;
    }
    if (!read) {
      result.messages.push_back("Ошибка в файле " + path + " . Проверьте формат.");
      continue;
    }
    ++result.filesRead;
    for (std::size_t k = 1; k <= sets.size(); ++k) {
      ShowPercent(task, k, sets.size());
      if (task.Cancelled()) {
        result.cancelled = true;
        break;
      }
      const ImportedSet& set = sets[k - 1];
      if (set.numberTooLarge) {
        ++result.setsNumberTooLarge;
      } else if (!set.numberValid) {
        ++result.setsBadNumber;
      } else if (CountFault(set.fault, result)) {
        // skipped: not an element set
      } else if (perigeeLimitKm != -1 && !(PerigeeRadiusOfLine2(set.line2) <= perigeeLimitKm)) {
        ++result.setsAboveLimit;  // also a perigee that cannot be computed (mean motion 0)
      } else {
        switch (StoreImportedSet(set, appDir, task, result)) {
          case StoreOutcome::Created:
            ++result.filesCreated;
            break;
          case StoreOutcome::Merged:
            ++result.setsMerged;
            break;
          case StoreOutcome::Duplicate:
            ++result.setsDuplicate;
            break;
          case StoreOutcome::WriteFailed:
            ++result.writeFailures;
            break;
          case StoreOutcome::Foreign:
            ++result.setsForeignFile;
            break;
        }
      }
      if (k % 50 == 0) task.Yield();
    }
    if (result.cancelled) break;
  }
  AddSkipMessages(result);
  return result;
}
