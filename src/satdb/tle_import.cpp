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
  std::string name = CleanName(line);
  if (StartsWith(name, "0 ")) name = CleanName(std::string_view(name).substr(2));
  return name;
}

// Where a set stands in its input file, for a message: "Файл <path>, строка <n>" or ", запись <n>".
std::string PlaceOfSet(const std::string& path, const ImportedSet& set) {
  std::string place = "Файл " + path;
  if (set.recordNumber > 0) place += ", запись " + FormatNumber(set.recordNumber, "0");
  if (set.lineNumber > 0) place += ", строка " + FormatNumber(set.lineNumber + (set.faultLine == 2 ? 1 : 0), "0");
  return place;
}

// Notes a problem of the import for the user: the first kMaxImportProblems are listed, all are counted.
void NoteProblem(TleImportResult& result, std::string text) {
  ++result.problemsTotal;
  if (static_cast<int>(result.problems.size()) < kMaxImportProblems) result.problems.push_back(std::move(text));
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
    const std::string name = CleanName(set.name);
    if (!name.empty()) file.mNameLine = "mName = " + name;
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
    case SetFault::TooLong:
      ++result.setsTooLong;
      break;
    case SetFault::NumberMismatch:
      ++result.setsNumberMismatch;
      break;
    case SetFault::OutOfRange:
      ++result.setsOutOfRange;
      break;
    case SetFault::NoLine2:
      ++result.setsNoLine2;
      break;
  }
  return true;
}

// The first cause of each kind of skipped set, filled while importing (messages are made at the end).
struct FirstCauses {
  std::string badNumber, tooLarge;
  std::string byFault[8];
};

// The summary lines of the sets skipped and the files left alone, in the order of the result's fields,
// each with the first cause of its kind.
void AddSkipMessages(TleImportResult& result, const FirstCauses& first) {
  const auto add = [&result](int count, const std::string& what, const std::string& cause) {
    if (count <= 0) return;
    result.messages.push_back(what + FormatNumber(count, "0") + ".");
    result.causes.push_back(cause.empty() ? std::string() : "Первый из них: " + cause);
  };
  const auto of = [&first](SetFault fault) { return first.byFault[static_cast<int>(fault)]; };
  add(result.setsBadNumber, "Пропущено наборов TLE с неверным номером ИСЗ: ", first.badNumber);
  add(result.setsNumberTooLarge,
      "Пропущено наборов OMM с номером ИСЗ больше 339999 (такой номер нельзя записать в TLE): ", first.tooLarge);
  add(result.setsCutShort,
      "Пропущено неполных наборов TLE (строка короче 69 знаков, файл оборван): ", of(SetFault::CutShort));
  add(result.setsBadChecksum, "Пропущено наборов TLE с неверной контрольной суммой: ", of(SetFault::BadChecksum));
  add(result.setsBadField, "Пропущено наборов TLE с нечисловыми значениями в числовых полях: ", of(SetFault::BadField));
  add(result.setsTooLong, "Пропущено наборов TLE с лишним текстом после 69-го знака строки: ", of(SetFault::TooLong));
  add(result.setsNumberMismatch,
      "Пропущено наборов TLE, у которых номера ИСЗ в строках 1 и 2 различаются: ", of(SetFault::NumberMismatch));
  add(result.setsOutOfRange, "Пропущено наборов TLE со значениями вне допустимых пределов: ", of(SetFault::OutOfRange));
  add(result.setsNoLine2, "Пропущено наборов TLE без строки 2: ", of(SetFault::NoLine2));
  if (!result.foreignFiles.empty()) {
    result.messages.push_back(
        "Файлы в папке TLE не похожи на файлы базы и оставлены без изменений (наборов TLE "
        "пропущено: " +
        FormatNumber(result.setsForeignFile, "0") + "): " + JoinedList(result.foreignFiles) + ".");
    result.causes.emplace_back();
  }
  if (result.writeFailures > 0) {
    result.messages.push_back(
        "Не удалось записать наборов TLE в базу данных: " + FormatNumber(result.writeFailures, "0") + " (" +
        result.writeFailureReason + "). Прежние файлы базы сохранены.");
    result.causes.emplace_back();
  }
}

// Shows the share of sets done, "45.3%", in the progress label.
void ShowPercent(TaskControl& task, std::size_t done, std::size_t total) {
  const double percent = static_cast<double>(done) / static_cast<double>(total) * 100;
  task.SetLabel(FormatNumber(percent, "0.0") + "%");
}

}  // namespace

namespace {

// Fills a set's fault, reason and the line at fault from ExamineElementSet.
void Examine(ImportedSet& set) {
  SetCheck check = ExamineElementSet(set.line1, set.line2);
  set.fault = check.fault;
  set.faultLine = check.line;
  set.reason = std::move(check.reason);
}

// Refuses an input file: no sets, and the cause when one is asked for.
bool Refuse(std::vector<ImportedSet>& sets, std::string* cause, std::string text) {
  sets.clear();
  if (cause) *cause = std::move(text);
  return false;
}

}  // namespace

bool ReadTleInput(const std::string& path, std::vector<ImportedSet>& sets, std::string* cause) {
  sets.clear();
  if (cause) cause->clear();
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) return Refuse(sets, cause, "Файл " + path + " не читается.");
  const std::string_view text = WithoutByteOrderMark(bytes);
  if (text.find('\0') != std::string::npos)
    return Refuse(sets, cause, "Файл " + path + " содержит двоичные данные, а не текст.");
  const ElementInputForm form = ElementInputFormOf(text);
  if (form != ElementInputForm::TwoLine) {
    std::vector<OmmSet> records;
    std::string why;
    if (!ReadOmmText(text, form, records, &why)) return Refuse(sets, cause, "Файл " + path + ": " + why);
    int number = 0;
    for (OmmSet& record : records) {
      ImportedSet set;
      set.recordNumber = ++number;
      set.name = CleanName(record.name);
      set.numberTooLarge = !record.fitsTwoLine;
      if (record.fitsTwoLine) {
        set.line1 = std::move(record.line1);
        set.line2 = std::move(record.line2);
        set.catalogNumber = static_cast<int>(record.catalogNumber);
        set.numberValid = true;
        set.epochKey = EpochKey(set.line1);
        Examine(set);
      }
      sets.push_back(std::move(set));
    }
    if (sets.empty()) return Refuse(sets, cause, "Файл " + path + ": в сообщении OMM нет ни одной записи.");
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
    const std::string at = "Файл " + path + ", строка " + FormatNumber(static_cast<double>(i + 1), "0") + ": ";
    if (i + 1 >= lines.size()) return Refuse(sets, cause, at + "за строкой 1 нет строки 2 (файл оборван).");
    ImportedSet set;
    set.lineNumber = static_cast<int>(i + 1);
    set.line1 = std::string(line);
    const std::optional<int> number = CatalogNumberOfLine1(line);
    set.numberValid = number.has_value();
    set.catalogNumber = number.value_or(0);
    set.epochKey = EpochKey(line);
    set.name = name;
    if (!StartsWith(lines[i + 1], "2")) {
      // The line 2 is missing: the next line starts the next set or names it, and is read as such.
      set.fault = SetFault::NoLine2;
      set.faultLine = 1;
      set.reason = "за строкой 1 нет строки 2";
      set.epochKey = 0.0;
      sets.push_back(std::move(set));
      continue;
    }
    set.line2 = std::string(lines[++i]);
    TleRecord elements;
    if (!ParseElementSet(set.line1, set.line2, elements)) {
      // A set whose columns cannot be read (an exponent sign other than +, - or blank).
      const SetCheck check = ExamineElementSet(set.line1, set.line2);
      return Refuse(sets, cause, at + (check.reason.empty() ? "значения полей не читаются" : check.reason) + ".");
    }
    Examine(set);
    sets.push_back(std::move(set));
  }
  if (sets.empty()) return Refuse(sets, cause, "Файл " + path + ": в файле нет ни одного набора TLE (строки «1 »).");
  // Lines of at most column 69 (plus blanks) are what the database stores.
  for (ImportedSet& set : sets) {
    if (set.fault != SetFault::None) continue;
    set.line1.resize(std::min(set.line1.size(), kElementLineColumns));
    set.line2.resize(std::min(set.line2.size(), kElementLineColumns));
  }
  return true;
}

bool MergeSet(SatelliteFile& file, const ImportedSet& set) {
  // A name from a TLE file never replaces an existing mName line.
  const std::string name = CleanName(set.name);
  if (!file.mNameLine && !name.empty()) file.mNameLine = "mName = " + name;
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
  FirstCauses first;
  for (const std::string& path : paths) {
    task.SetText("Вводятся TLE из файла " + path);
    task.Yield();
    std::string cause;
    const bool read = ReadTleInput(path, sets, &cause);
    if (task.Cancelled()) {
      result.cancelled = true;
      break;
    }
    if (!read) {
      result.messages.push_back("Ошибка в файле " + path + " . Проверьте формат.");
      result.causes.push_back(cause);
      NoteProblem(result, cause);
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
      const auto note = [&](std::string& firstCause, const std::string& reason) {
        const std::string text = PlaceOfSet(path, set) + ": " + reason + ".";
        if (firstCause.empty()) firstCause = text;
        NoteProblem(result, text);
      };
      if (set.numberTooLarge) {
        ++result.setsNumberTooLarge;
        note(first.tooLarge, "номер ИСЗ больше 339999");
      } else if (!set.numberValid) {
        ++result.setsBadNumber;
        note(first.badNumber, "номер ИСЗ (столбцы 3-7) не читается");
      } else if (CountFault(set.fault, result)) {
        note(first.byFault[static_cast<int>(set.fault)], set.reason);  // skipped: not an element set
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
  AddSkipMessages(result, first);
  return result;
}

std::vector<std::string> ImportMessagesWithCauses(const TleImportResult& result) {
  std::vector<std::string> texts;
  texts.reserve(result.messages.size());
  for (std::size_t i = 0; i < result.messages.size(); ++i) {
    const bool hasCause = i < result.causes.size() && !result.causes[i].empty();
    texts.push_back(hasCause ? result.messages[i] + "\n" + result.causes[i] : result.messages[i]);
  }
  return texts;
}
