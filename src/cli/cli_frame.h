#pragma once
// The program's working files and one frame as orvia-cli holds them between the core calls: the
// application directory prepared as the desktop program prepares it, the frame decoded, its information
// file read, the circumstances given on the command line laid over it, and the file written back.

#include <string>

#include "cli/cli_args.h"
#include "cli/cli_output.h"
#include "session/app_state.h"
#include "session/frame_session.h"

// The working directory and the catalogue. needIndex builds the asterism index when it is missing.
// Returns an exit code (kExitOk when ready).
int PrepareApp(const CliArguments& args, const std::string& executable, bool needIndex, AppState& app, CliOutput& out,
               ProgressTask& progress);

// Opens the frame at path: decodes it, reads its information file (DIR/Info, named after the frame and its
// time stamp) or the one given by --info, then lays the circumstance options over the values read.
// strict: a bad date or time is an error. Returns an exit code.
int OpenCliFrame(const CliArguments& args, const std::string& path, bool strict, FrameSession& session, CliOutput& out);

// Writes the frame's information file. Returns an exit code.
int SaveCliFrame(FrameSession& session, CliOutput& out);

// The exit code of a step that ended so.
int ExitCodeOf(StepError error);

// Lays the circumstance options (--date, --time, --ut-error, --exposure, --lon, --lat, --height, --ra,
// --dec, --field, --alt and --az, --station, --ignore-visibility) over the frame's circumstances and
// collects them as the panel does; a typed RA or DEC without --alt replaces a stored pointing. Returns an
// exit code.
int ApplyCircumstances(const CliArguments& args, bool strict, FrameSession& session, CliOutput& out);

// True when the known-centre mode is asked for: --centre, or any of --ra, --dec, --field, --alt.
bool KnownCentreAsked(const CliArguments& args);
// True when identification goes about the given centre: asked for, or a field of view in the frame's
// circumstances (the information file's FieldUser) or a pointing in altitude and azimuth, unless --blind
// asks for the whole sky.
bool KnownCentreFor(const CliArguments& args, const FrameInfo& info);

// Sky position (radians) as JSON degrees.
nlohmann::json SkyJson(double raRad, double decRad);
