#include "cli/cli_args.h"

#include <cmath>
#include <cstdlib>
#include <set>

namespace {

// Options that take no value.
const std::set<std::string>& Switches() {
  static const std::set<std::string> names = {"json", "quiet", "exact",    "centre", "ignore-visibility",
                                              "auto", "help",  "remember", "blind", "fixed-camera"};
  return names;
}

// Options that take a value.
const std::set<std::string>& ValueOptions() {
  static const std::set<std::string> names = {
      "app-dir", "info",   "date",         "time",          "ut-error",   "exposure",   "lon",      "lat",
      "ra",      "dec",    "field",        "station",       "marks",      "frame-size", "stars",    "end1",
      "end2",    "streak", "max-distance", "max-direction", "period-min", "period-max", "incl-min", "incl-max",
      "step",    "output", "reports",      "perigee",       "age",        "now",        "height",   "alt",
      "az",      "wait"};
  return names;
}

// A finite number of the whole text, "," accepted as the decimal point.
std::optional<double> WholeNumber(std::string text) {
  for (char& c : text)
    if (c == ',') c = '.';
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || *end != '\0' || !std::isfinite(value)) return std::nullopt;
  return value;
}

}  // namespace

std::string CliArguments::Text(const std::string& name) const {
  const auto it = options.find(name);
  return it == options.end() ? std::string() : it->second;
}

std::string ParseArguments(int argc, char** argv, CliArguments& args) {
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word.size() > 2 && word.starts_with("--")) {
      std::string name = word.substr(2), value;
      const std::size_t eq = name.find('=');
      const bool inlineValue = eq != std::string::npos;
      if (inlineValue) {
        value = name.substr(eq + 1);
        name.resize(eq);
      }
      if (!Switches().count(name) && !ValueOptions().count(name)) return "unknown option --" + name;
      if (Switches().count(name)) {
        if (inlineValue) return "option --" + name + " takes no value";
      } else if (!inlineValue) {
        if (i + 1 >= argc) return "option --" + name + " needs a value";
        value = argv[++i];
      }
      if (name == "app-dir")
        args.appDir = value;
      else if (name == "json")
        args.json = true;
      else if (name == "quiet")
        args.quiet = true;
      else
        args.options[name] = value;
    } else if (args.command.empty()) {
      args.command = word;
    } else {
      args.operands.push_back(word);
    }
  }
  return {};
}

std::optional<double> NumberOption(const CliArguments& args, const std::string& name, std::string& error) {
  if (!args.Has(name)) return std::nullopt;
  const std::optional<double> value = WholeNumber(args.Text(name));
  if (!value) error = "option --" + name + ": not a number: " + args.Text(name);
  return value;
}

bool ParsePoint(const std::string& text, double& x, double& y) {
  const std::size_t cut = text.find_first_of(", ;");
  if (cut == std::string::npos) return false;
  const std::optional<double> a = WholeNumber(text.substr(0, cut));
  const std::optional<double> b = WholeNumber(text.substr(text.find_first_not_of(", ;", cut)));
  if (!a || !b) return false;
  x = *a;
  y = *b;
  return true;
}

const char* UsageText() {
  return R"(orvia-cli [--app-dir DIR] [--json] [--quiet] [--wait S] COMMAND [OPERANDS] [OPTIONS]

A command that changes the application directory takes its lock, waiting up to --wait seconds
(10 by default) while the desktop program or another orvia-cli holds it.

Satellite database
  import-tle FILE... [--perigee KM]      import element sets (TLE, three-line, OMM CSV/XML/JSON)
  import-names FILE                       names from a satellite situation report
  import-mags FILE                        names and standard magnitudes from a fixed-column list
  clean [--perigee KM] [--age DAYS] [--now DD.MM.YYYY]
                                          delete high or stale satellites, prune old element sets
  propagate NORAD [--step S] CIRCUMSTANCES
                                          the satellite's positions over the exposure window
Frames (state kept in the frame's information file in DIR/Info, as the desktop program keeps it)
  identify FRAME --marks FILE [--exact] [--frame-size 0..7] [--centre] CIRCUMSTANCES
  identify FRAME --auto [--stars N] [--centre] CIRCUMSTANCES
                                          mark stars, identify them, calibrate the frame
  measure FRAME [--end1 X,Y --end2 X,Y] [--exact] [--frame-size 0..7]
  measure FRAME --auto [--streak N]       mark the track ends (or find the streak) and measure the track
  candidates FRAME [--max-distance DEG] [--max-direction DEG] [--period-min MIN] [--period-max MIN]
                   [--incl-min DEG] [--incl-max DEG]
                                          search the database for the satellite of the track
  trajectory FRAME NORAD [--step S] [--remember]
                                          the satellite's predicted path over the frame
  crossings FRAME                         every satellite of the database predicted to cross the
                                          calibrated frame during the exposure (+- the UT error)
  iod FRAME [NORAD] [--output FILE]       the IOD report of the measured ends
  auto FRAME... [--reports DIR] [--stars N] [candidate filter options] CIRCUMSTANCES
                                          the whole chain: stars, identification, streak, track,
                                          candidates, report of the first candidate

CIRCUMSTANCES (override the frame's information file, value by value)
  --info FILE ({stem} and {dir} stand for the frame's name and folder)
  --date DD.MM.YYYY  --time HH:MM:SS.S (exposure start, UT)  --ut-error S  --exposure S
  --lon DEG (east +)  --lat DEG (north +)  --height M (above the WGS-84 ellipsoid, -500..9000)
  --ra DEG --dec DEG --field DEG (known centre; also used when the information file holds a field of
  view or a pointing)  --alt DEG --az DEG (a fixed camera's pointing, azimuth from north through east:
  each frame's centre follows from its time and site)  --blind (whole sky even so)
  --station CODE  --ignore-visibility
  --fixed-camera (the camera stood still on its tripod: the stars are trails)

Exit codes: 0 done; 1 usage error; 2 an input could not be read (file, frame, catalogue,
circumstances); 3 nothing found (too few stars, no identification, no track, no candidate);
4 a result could not be written (or the application directory is in use). With several frames, the largest code of any frame.
Progress goes to standard error; results to standard output (one JSON document with --json).
)";
}
