#include "cli/cli_frame.h"

#include <filesystem>

#include "astrometry/asterism.h"
#include "astrometry/identify.h"
#include "astrometry/pattern_index.h"
#include "base/calendar.h"
#include "base/numbers.h"
#include "frameinfo/info_file.h"
#include "image/decode.h"
#include "image/frame_header.h"
#include "session/app_lock.h"
#include "session/frame_session.h"
#include "session/startup.h"
#include "sky/angles.h"

namespace fs = std::filesystem;

namespace {

// The catalogue shipped beside the executable, for a working directory that has none yet.
void BorrowCatalogue(const std::string& appDir, const std::string& executable) {
  std::error_code ec;
  const fs::path own = fs::path(appDir) / "program_files" / "bin8.dat";
  if (fs::exists(own, ec) || fs::exists(fs::path(appDir) / "bin8.dat", ec)) return;
  const fs::path exeDir = fs::absolute(executable, ec).parent_path();
  for (const fs::path& source : {exeDir / "program_files" / "bin8.dat", exeDir / "bin8.dat"}) {
    if (!fs::exists(source, ec)) continue;
    fs::create_directories(own.parent_path(), ec);
    fs::copy_file(source, own, fs::copy_options::overwrite_existing, ec);
    return;
  }
}

// The --info path for a frame: "{stem}" stands for the frame's name without extension, "{dir}" for its
// folder, so that one option serves a whole folder of frames.
std::string InfoPathFor(const std::string& pattern, const std::string& framePath) {
  std::string path = pattern;
  const fs::path frame(framePath);
  const std::pair<std::string, std::string> keys[] = {{"{stem}", frame.stem().string()},
                                                      {"{dir}", frame.parent_path().string()}};
  for (const auto& [key, value] : keys)
    for (std::size_t at = path.find(key); at != std::string::npos; at = path.find(key, at + value.size()))
      path.replace(at, key.size(), value);
  return path;
}

// The commands that only read the application directory: they run beside any holder of its lock.
bool ReadsOnly(const std::string& command) {
  return command == "propagate" || command == "candidates";
}

// The lock of the application directory, held from the first preparation to the end of the process.
AppDirLock& DirectoryLock() {
  static AppDirLock lock;
  return lock;
}

// Takes the directory's lock for a command that writes, waiting --wait seconds (10 by default) for
// another holder. Returns an exit code.
int LockDirectory(const CliArguments& args, const std::string& dir, CliOutput& out) {
  if (ReadsOnly(args.command)) return kExitOk;
  std::string error;
  const double seconds = NumberOption(args, "wait", error).value_or(10.0);
  if (!error.empty() || seconds < 0 || seconds > 3600) {
    out.Message("option --wait: seconds from 0 to 3600");
    return kExitUsage;
  }
  const AppLockAttempt attempt =
      DirectoryLock().Take(dir, "orvia-cli", std::chrono::milliseconds(static_cast<long long>(seconds * 1000)));
  if (attempt.taken) return kExitOk;
  if (!attempt.reason.empty()) {
    out.Message("cannot lock the application directory " + dir + " (" + AppLockPath(dir) + "): " + attempt.reason);
  } else {
    out.Message("the application directory " + dir + " is in use by " + HolderText(attempt.holder) +
                "; nothing was changed, try again when it ends");
  }
  return kExitWriteFailed;
}

}  // namespace

int PrepareApp(const CliArguments& args, const std::string& executable, bool needIndex, AppState& app, CliOutput& out,
               ProgressTask& progress) {
  std::error_code ec;
  const std::string dir = args.appDir.empty() ? fs::absolute(executable, ec).parent_path().string() : args.appDir;
  fs::create_directories(dir, ec);
  if (const int code = LockDirectory(args, dir, out)) return code;
  app.appDir = WithTrailingSeparator(dir);
  app.logFile.Open(app.appDir + "log.txt");
  BorrowCatalogue(app.appDir, executable);
  StartUpHooks hooks;
  if (needIndex) {
    hooks.buildAsterisms = [&progress](const std::string& catalogue, const std::string& index) {
      progress.Stage("building the asterism index (once)");
      return BuildAsterismFile(catalogue, index, progress);
    };
    hooks.buildPatternIndex = [&progress](const std::string& catalogue, const std::string& index) {
      progress.Stage("building the pattern index (once)");
      return BuildPatternIndexFile(catalogue, index, progress);
    };
  }
  const PrepareResult prepared = PrepareWorkingFiles(app, hooks);
  if (!prepared.ready) {
    out.Message(prepared.message);
    return kExitInput;
  }
  return kExitOk;
}

bool KnownCentreAsked(const CliArguments& args) {
  return args.Has("centre") || args.Has("ra") || args.Has("dec") || args.Has("field") || args.Has("alt");
}

bool KnownCentreFor(const CliArguments& args, const FrameInfo& info) {
  return !args.Has("blind") && (KnownCentreAsked(args) || info.fieldUser > 0.0f || info.pointingAltAz);
}

int ExitCodeOf(StepError error) {
  switch (error) {
    case StepError::None:
      return kExitOk;
    case StepError::BadEntry:
      return kExitUsage;
    case StepError::BadCircumstances:
      return kExitInput;
    case StepError::Refused:
    case StepError::NotFound:
    case StepError::CalculationFailed:
    case StepError::Cancelled:
      return kExitNotFound;
    case StepError::WriteFailed:
      return kExitWriteFailed;
  }
  return kExitNotFound;
}

// The circumstance options that must lie within a physical range, checked before anything is computed.
std::string OptionOutOfRange(const CliArguments& args) {
  struct Range {
    const char* name;
    double low, high;
  };
  static constexpr Range ranges[] = {{"exposure", 0.0, kMaxExposureSeconds},
                                     {"ut-error", 0.0, kMaxUtError},
                                     {"lon", -180.0, 360.0},  // east longitudes up to 360, as places take them
                                     {"lat", -90.0, 90.0},
                                     {"ra", 0.0, 360.0},
                                     {"dec", -90.0, 90.0},
                                     {"field", kMinFieldOfViewDeg, kMaxFieldOfViewDeg}};
  for (const Range& r : ranges) {
    std::string error;
    const std::optional<double> value = NumberOption(args, r.name, error);
    if (!error.empty()) return error;
    if (value && !(*value >= r.low && *value <= r.high))
      return std::string("option --") + r.name + ": " + args.Text(r.name) + " is outside " + FormatNumber(r.low, "0.###") +
             ".." + FormatNumber(r.high, "0.###");
  }
  return {};
}

int ApplyCircumstances(const CliArguments& args, bool strict, FrameSession& session, CliOutput& out) {
  FrameInfo& info = session.Frame().info;
  PanelEntries e = PanelEntriesOf(info);
  std::string error = OptionOutOfRange(args);
  if (!error.empty()) {
    out.Message(error);
    return kExitUsage;
  }
  const auto text = [&](const char* name, std::string& field) {
    if (args.Has(name)) field = args.Text(name);
  };
  text("date", e.date);
  text("time", e.time);
  text("ut-error", e.utError);
  text("exposure", e.exposure);
  text("ra", e.ra);
  text("dec", e.dec);
  text("field", e.field);
  text("height", e.height);
  // A pointing needs both its numbers; either given alone is a usage error.
  if (args.Has("alt") != args.Has("az")) {
    out.Message("options --alt and --az go together");
    return kExitUsage;
  }
  if (args.Has("alt")) {
    e.altAz = true;
    text("alt", e.pointAlt);
    text("az", e.pointAz);
  } else if (args.Has("ra") || args.Has("dec")) {
    e.altAz = false;  // a typed centre replaces a pointing the information file holds
  }
  // Every command refuses a height outside its range, also those that read the rest leniently.
  if (const std::optional<double> height = NumberOption(args, "height", error); height && error.empty()) {
    if (const std::string fault = HeightFault(*height); !fault.empty()) {
      out.Message(fault);
      return kExitUsage;
    }
  }
  // Signed degrees on the command line; the panel takes a magnitude and an E/W or N/S switch.
  const auto signedAngle = [&](const char* name, std::string& field, bool& negative) {
    const std::optional<double> value = NumberOption(args, name, error);
    if (!value) return;
    negative = *value < 0;
    field = args.Text(name);
    if (!field.empty() && (field[0] == '-' || field[0] == '+')) field.erase(0, 1);
  };
  signedAngle("lon", e.longitude, e.west);
  signedAngle("lat", e.latitude, e.south);
  const std::optional<double> station = NumberOption(args, "station", error);
  if (!error.empty()) {
    out.Message(error);
    return kExitUsage;
  }
  if (station) info.stationCode = static_cast<std::int16_t>(RoundToInt(*station));
  if (args.Has("ignore-visibility")) info.considerVisibility = false;
  if (args.Has("fixed-camera")) e.fixedCamera = true;
  const CircumstancesStep collected = session.Circumstances(e, strict);
  if (collected.collected.utErrorRewritten)
    out.Message("UT error limited to " + collected.collected.utErrorText + " s");
  for (const std::string& message : collected.messages) out.Message(message);
  return ExitCodeOf(collected.error);
}

int OpenCliFrame(const CliArguments& args, const std::string& path, bool strict, FrameSession& session,
                 CliOutput& out) {
  DecodedImage decoded;
  if (!DecodeFrameFile(path, decoded)) {
    out.Message("Ошибка при открытии файла. " + path);
    if (const std::string cause = FrameRefusalText(decoded.refusal); !cause.empty()) out.Message(cause);
    return kExitInput;
  }
  if (args.Has("frame-size")) {
    std::string error;
    const std::optional<double> index = NumberOption(args, "frame-size", error);
    if (!index || *index < 0 || *index > 7) {
      out.Message("option --frame-size: a number 0..7");
      return kExitUsage;
    }
    session.Frame().frameSizeIndex = static_cast<std::uint8_t>(*index);
  }
  std::string info;
  if (args.Has("info")) {
    info = InfoPathFor(args.Text("info"), path);
    std::error_code ec;
    if (!fs::is_regular_file(info, ec)) {
      out.Message("no information file " + info);
      return kExitInput;
    }
  }
  // The frame is known by its absolute path, as the desktop program knows it: a relative name would
  // match another folder's frame of the same name.
  std::error_code ec;
  const fs::path absolute = fs::absolute(path, ec).lexically_normal();
  const OpenStep opened = session.Open(ec ? path : absolute.string(), std::move(decoded), info);
  for (const std::string& message : opened.messages) out.Message(message);
  return ApplyCircumstances(args, strict, session, out);
}

int SaveCliFrame(FrameSession& session, CliOutput& out) {
  const StepResult saved = session.Save();
  if (saved.Ok()) {
    for (const std::string& message : saved.messages) out.Message(message);
    return kExitOk;
  }
  out.Message("cannot write " + session.Frame().infoFilePath +
              (saved.messages.empty() ? std::string() : ": " + saved.messages.front()));
  return kExitWriteFailed;
}

nlohmann::json SkyJson(double raRad, double decRad) {
  return {{"ra_deg", Normalize360(RadToDeg(raRad))}, {"dec_deg", RadToDeg(decRad)}};
}
