#include "cli/cli_frame.h"

#include <filesystem>

#include "astrometry/asterism.h"
#include "astrometry/pattern_index.h"
#include "base/calendar.h"
#include "base/numbers.h"
#include "frameinfo/info_file.h"
#include "image/decode.h"
#include "image/frame_header.h"
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

}  // namespace

int PrepareApp(const CliArguments& args, const std::string& executable, bool needIndex, AppState& app, CliOutput& out,
               ProgressTask& progress) {
  std::error_code ec;
  const std::string dir = args.appDir.empty() ? fs::absolute(executable, ec).parent_path().string() : args.appDir;
  fs::create_directories(dir, ec);
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

int ApplyCircumstances(const CliArguments& args, bool strict, FrameSession& session, CliOutput& out) {
  FrameInfo& info = session.Frame().info;
  PanelEntries e = PanelEntriesOf(info);
  std::string error;
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
  session.Open(path, std::move(decoded), info);
  return ApplyCircumstances(args, strict, session, out);
}

int SaveCliFrame(FrameSession& session, CliOutput& out) {
  if (session.Save().Ok()) return kExitOk;
  out.Message("cannot write " + session.Frame().infoFilePath);
  return kExitWriteFailed;
}

nlohmann::json SkyJson(double raRad, double decRad) {
  return {{"ra_deg", Normalize360(RadToDeg(raRad))}, {"dec_deg", RadToDeg(decRad)}};
}
