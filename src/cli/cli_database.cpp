// The database commands of orvia-cli: importing element sets, names and magnitudes, and cleaning up.

#include <chrono>
#include <filesystem>

#include "base/calendar.h"
#include "cli/cli_frame.h"
#include "cli/cli_run.h"
#include "satdb/satdb.h"

namespace fs = std::filesystem;

namespace {

// Now as an MJD (UT).
double NowMjd() {
  const auto seconds = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
  return 40587.0 + seconds / 86400.0;
}

}  // namespace

int ImportTle(Run& run) {
  if (!NeedOperands(run, 1, "FILE")) return kExitUsage;
  Numbers number{run, {}};
  const std::optional<double> perigee = number("perigee");
  if (number.Bad()) return kExitUsage;
  AppState app;
  if (const int code = PrepareApp(run.args, run.executable, false, app, run.out, run.progress)) return code;
  run.progress.Stage("importing element sets");
  const TleImportResult r = ImportTleFiles(run.args.operands, perigee.value_or(-1.0), app.appDir, run.progress);
  for (const std::string& message : ImportMessagesWithCauses(r)) run.out.Message(message);
  // Every file that was not read whole is an unreadable input.
  int code = !r.cancelled && r.filesRead < static_cast<int>(run.args.operands.size()) ? kExitInput : kExitOk;
  if (r.writeFailures > 0) code = Worse(code, kExitWriteFailed);
  run.out.Json().update(nlohmann::json{{"files_created", r.filesCreated},
                                       {"sets_merged", r.setsMerged},
                                       {"sets_duplicate", r.setsDuplicate},
                                       {"sets_above_limit", r.setsAboveLimit},
                                       {"sets_bad_number", r.setsBadNumber},
                                       {"sets_number_too_large", r.setsNumberTooLarge},
                                       {"write_failures", r.writeFailures}});
  run.out.Line("files created: " + std::to_string(r.filesCreated) + ", sets merged: " + std::to_string(r.setsMerged) +
               ", duplicates: " + std::to_string(r.setsDuplicate) +
               ", above the perigee limit: " + std::to_string(r.setsAboveLimit) +
               ", bad numbers: " + std::to_string(r.setsBadNumber + r.setsNumberTooLarge));
  return code;
}

int ImportList(Run& run, bool magnitudes) {
  if (!NeedOperands(run, 1, "FILE")) return kExitUsage;
  AppState app;
  if (const int code = PrepareApp(run.args, run.executable, false, app, run.out, run.progress)) return code;
  const std::string& path = run.args.operands[0];
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) {
    run.out.Message("no file " + path);
    return kExitInput;
  }
  run.progress.Stage(magnitudes ? "importing names and magnitudes" : "importing names");
  const NamesImportResult result =
      magnitudes ? ImportMagnitudes(path, app.appDir, run.progress) : ImportSsr(path, app.appDir, run.progress);
  const bool ok = result.ok;
  run.out.Json().update(nlohmann::json{{"ok", ok}, {"message", result.message}});
  run.out.Line(ok ? "done" : "failed");
  if (!ok) {
    run.out.Message(result.message.empty() ? "the list or a database file could not be read or written: " + path
                                           : result.message);
  }
  return ok ? kExitOk : kExitInput;
}

int Clean(Run& run) {
  Numbers number{run, {}};
  CleanupLimits limits;
  limits.perigeeKm = number("perigee");
  limits.ageDays = number("age");
  if (number.Bad()) return kExitUsage;
  double now = NowMjd();
  if (run.args.Has("now")) {
    int year = 0, month = 0, day = 0;
    if (!ParseDate(run.args.Text("now"), year, month, day)) {
      run.out.Message("option --now: a date DD.MM.YYYY");
      return kExitUsage;
    }
    now = MjdFromDate(year, month, day, 0.0);
  }
  AppState app;
  if (const int code = PrepareApp(run.args, run.executable, false, app, run.out, run.progress)) return code;
  run.progress.Stage("cleaning the database");
  const CleanupResult r = CleanDatabase(app.appDir, limits, now, run.progress);
  for (const std::string& message : r.messages) run.out.Message(message);
  int code = kExitOk;
  if (r.filesTotal == 0 && !r.cancelled) code = kExitNotFound;  // an empty database
  if (r.failures > 0 || !r.foreignFiles.empty()) code = kExitWriteFailed;
  run.out.Json().update(nlohmann::json{
      {"files_deleted", r.filesDeleted}, {"files_pruned", r.filesPruned}, {"sets_removed", r.setsRemoved}});
  run.out.Line("files deleted: " + std::to_string(r.filesDeleted) + ", files pruned: " + std::to_string(r.filesPruned) +
               ", sets removed: " + std::to_string(r.setsRemoved));
  return code;
}
