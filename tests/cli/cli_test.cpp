// orvia-cli through its real executable: exit codes and JSON of the database commands, a satellite's
// position against an independent renderer's, the whole road on a rendered streak frame, command by
// command, each step reading the last one's information file, and a night's frames from a camera left
// pointing at one altitude and azimuth.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <tuple>

#include "framegen/framegen.h"
#include "frameinfo/info_file.h"
#include "satdb/satdb.h"
#include "session/app_lock.h"
#include "session/frame_session.h"
#include "session/pointing.h"
#include "test_paths.h"

namespace fs = std::filesystem;
using nlohmann::json;
using testing_support::ReadFile;
using testing_support::SharedDataDir;
using testing_support::SourceDir;
using testing_support::TempDir;
using testing_support::TestDataDir;
using testing_support::WriteFile;

namespace {

struct CliRun {
  int code = -1;
  std::string out;
  std::string err;
  json doc;  // standard output as JSON (null when it is not)
};

// Runs orvia-cli with --app-dir and the arguments (each quoted), capturing both streams; from the folder
// cwd when one is given.
CliRun RunCli(const TempDir& dir, const std::vector<std::string>& args, const fs::path& cwd = {}) {
  std::string command = cwd.empty() ? std::string() : "cd '" + cwd.string() + "' && ";
  command += std::string("'") + ORVIA_CLI_PATH + "' --app-dir '" + dir.path().string() + "'";
  for (const std::string& a : args) command += " '" + a + "'";
  const fs::path out = dir.path() / "stdout.txt", err = dir.path() / "stderr.txt";
  command += " >'" + out.string() + "' 2>'" + err.string() + "'";
  const int status = std::system(command.c_str());
  CliRun run;
  run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = ReadFile(out);
  run.err = ReadFile(err);
  run.doc = json::parse(run.out, nullptr, false);
  if (run.doc.is_discarded()) run.doc = nullptr;
  return run;
}

constexpr double kDeg = 3.14159265358979323846 / 180.0;

// Angular distance between two J2000 directions in degrees (haversine).
double SeparationDeg(double ra1, double dec1, double ra2, double dec2) {
  const double s = std::sin((dec2 - dec1) * kDeg / 2), t = std::sin((ra2 - ra1) * kDeg / 2);
  return 2 * std::asin(std::sqrt(s * s + std::cos(dec1 * kDeg) * std::cos(dec2 * kDeg) * t * t)) / kDeg;
}

// J2000 RA and Dec (degrees) of altitude alt and azimuth az (from north through east) seen at MJD (UT) from
// latitude lat and east longitude lon (degrees), reckoned apart from the program: a local east-north-up
// vector turned by the USNO's linear sidereal time (0.1 s) and the first-order IAU 1976 precession angles;
// nutation (under 20") left out.
std::array<double, 2> CentreOf(double alt, double az, double lat, double lon, double mjd) {
  const double e = std::cos(alt * kDeg) * std::sin(az * kDeg), n = std::cos(alt * kDeg) * std::cos(az * kDeg),
               u = std::sin(alt * kDeg), sf = std::sin(lat * kDeg), cf = std::cos(lat * kDeg);
  const double sl = std::sin(lon * kDeg), cl = std::cos(lon * kDeg), days = mjd + 2400000.5 - 2451545.0;
  std::array<double, 3> v = {-sl * e - sf * cl * n + cf * cl * u, cl * e - sf * sl * n + cf * sl * u, cf * n + sf * u};
  const auto turn = [&v](double a, int i, int j) {  // the frame turned by a about the third axis
    const double x = v[i], y = v[j];
    v[i] = std::cos(a) * x + std::sin(a) * y;
    v[j] = -std::sin(a) * x + std::cos(a) * y;
  };
  const double t = days / 36525.0, zeta = 2306.2181 / 3600.0 * t * kDeg, theta = 2004.3109 / 3600.0 * t * kDeg;
  turn(-std::fmod(18.697374558 + 24.06570982441908 * days, 24.0) * 15.0 * kDeg, 0, 1);  // Earth -> sky of date
  turn(zeta, 0, 1);  // to J2000: z equals zeta to first order
  turn(-theta, 2, 0);
  turn(zeta, 0, 1);
  const double ra = std::atan2(v[1], v[0]) / kDeg;
  return {ra < 0 ? ra + 360.0 : ra, std::asin(v[2]) / kDeg};
}

}  // namespace

TEST(CliUsage, ExitCodesAndJsonOfFailures) {
  TempDir dir;
  const CliRun help = RunCli(dir, {"--help"});
  EXPECT_EQ(help.code, 0);
  for (const char* command : {"import-tle", "import-names", "import-mags", "clean", "identify", "measure", "candidates",
                              "trajectory", "iod", "auto", "propagate"})
    EXPECT_NE(help.out.find(command), std::string::npos) << command;

  const CliRun unknown = RunCli(dir, {"--json", "fly"});
  EXPECT_EQ(unknown.code, 1);
  ASSERT_TRUE(unknown.doc.is_object()) << unknown.out;
  EXPECT_EQ(unknown.doc["exit_code"], 1);
  EXPECT_FALSE(unknown.doc["messages"].empty());

  EXPECT_EQ(RunCli(dir, {"identify", "frame.jpg"}).code, 1);                         // neither --marks nor --auto
  EXPECT_EQ(RunCli(dir, {"candidates", "x.jpg", "--max-distance", "ten"}).code, 1);  // not a number
  EXPECT_EQ(RunCli(dir, {"measure"}).code, 1);                                       // no frame
  EXPECT_EQ(RunCli(dir, {"candidates", "x.jpg", "--max-distanse", "5"}).code, 1);    // a misspelt option
  const CliRun missing = RunCli(dir, {"--json", "measure", (dir.path() / "none.jpg").string()});
  EXPECT_EQ(missing.code, 2);
  EXPECT_EQ(missing.doc["exit_code"], 2);
  // A frame that is not a picture.
  WriteFile(dir.path() / "text.jpg", "not a picture");
  EXPECT_EQ(RunCli(dir, {"candidates", (dir.path() / "text.jpg").string()}).code, 2);
}

TEST(CliDatabase, ImportCleanAndTheirCodes) {
  TempDir dir;
  const std::string stations = (TestDataDir() / "tle" / "stations_3line.txt").string();
  const std::string iss = (TestDataDir() / "tle" / "iss_four_epochs.txt").string();
  const CliRun first = RunCli(dir, {"--json", "import-tle", stations, iss});
  ASSERT_EQ(first.code, 0) << first.err;
  // Seven satellites, the ISS among them; its four further epochs go into its file.
  EXPECT_EQ(first.doc["files_created"], 7);
  EXPECT_EQ(first.doc["sets_merged"], 4);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "TLE"), fs::directory_iterator()), 7);
  const CliRun again = RunCli(dir, {"--json", "import-tle", iss});
  EXPECT_EQ(again.doc["sets_duplicate"], 4);
  EXPECT_EQ(again.doc["files_created"], 0);

  // A file that cannot be read stores nothing and says so; the others of the same run are imported.
  const CliRun bad = RunCli(dir, {"--json", "import-tle", (dir.path() / "none.txt").string()});
  EXPECT_EQ(bad.code, 2);
  EXPECT_NE(bad.err.find("none.txt"), std::string::npos);
  ASSERT_EQ(bad.doc["messages"].size(), 1u) << bad.out;  // the program's own words, kept in the document
  EXPECT_NE(bad.doc["messages"][0].get<std::string>().find("Проверьте формат."), std::string::npos);
  EXPECT_EQ(bad.doc["command"], "import-tle");
  EXPECT_EQ(RunCli(dir, {"import-names", (dir.path() / "none.txt").string()}).code, 2);

  // Every set is older than ten days before 2030: all satellites go, and then there is nothing to clean.
  const CliRun cleaned = RunCli(dir, {"--json", "clean", "--age", "10", "--now", "01.01.2030"});
  EXPECT_EQ(cleaned.code, 0) << cleaned.err;
  EXPECT_EQ(cleaned.doc["files_deleted"], 7);
  EXPECT_EQ(RunCli(dir, {"clean", "--age", "10"}).code, 3);
}

// The rendered frames' truth gives the satellite's J2000 place at the streak's true ends, computed by an
// independent propagator and sky-frame chain.
TEST(CliDatabase, PropagateAgreesWithAnIndependentRenderer) {
  const fs::path caseDir = SharedDataDir() / "streaks" / "case_s0901";
  ORVIA_REQUIRE_SHARED_FILE(caseDir / "case_s0901_truth.json");
  const json truth = json::parse(ReadFile(caseDir / "case_s0901_truth.json"));
  const json& sat = truth["satellite"];
  TempDir dir;
  WriteFile(dir.path() / "sat.tle", sat["tle"][0].get<std::string>() + "\n" + sat["tle"][1].get<std::string>() + "\n");
  ASSERT_EQ(RunCli(dir, {"import-tle", (dir.path() / "sat.tle").string()}).code, 0);
  // 18:10:39.240 is the true start; 30 s later the true end.
  const CliRun run =
      RunCli(dir, {"--json", "propagate", "43229", "--date", "08.05.2026", "--time", "18:10:39.24", "--exposure", "30",
                   "--ut-error", "0", "--lon", std::to_string(truth["site"]["lon_deg"].get<double>()), "--lat",
                   std::to_string(truth["site"]["lat_deg"].get<double>()), "--step", "30"});
  ASSERT_EQ(run.code, 0) << run.err;
  const json& points = run.doc["points"];
  ASSERT_EQ(points.size(), 2u) << run.out;
  const char* ends[2] = {"start", "end"};
  for (int i = 0; i < 2; ++i) {
    const json& e = sat[ends[i]];
    // Within 10": the two propagators agree to metres; the difference is the sky-frame models'.
    EXPECT_LT(SeparationDeg(points[i]["ra_deg"], points[i]["dec_deg"], e["ra_j2000_deg"], e["dec_j2000_deg"]),
              10.0 / 3600)
        << ends[i];
  }
}

// The whole road on a rendered frame: the stars the renderer drew as the marks file, its information
// file for the circumstances, identification about the known centre, the streak's ends, the database
// search, the trajectory and the report.
TEST(CliStreak, FrameToSatelliteToReport) {
  const std::string name = "case_s0901";
  const fs::path caseDir = SharedDataDir() / "streaks" / name;
  ORVIA_REQUIRE_SHARED_FILE(caseDir / (name + ".jpg"));
  ORVIA_REQUIRE_SHARED_FILE(SharedDataDir() / "tle" / "celestrak_visual_2026-05-07_148obj.txt");
  const json truth = json::parse(ReadFile(caseDir / (name + "_truth.json")));
  const json& sat = truth["satellite"];
  TempDir dir;
  fs::copy_file(caseDir / (name + ".jpg"), dir.path() / "frame.jpg");
  const std::string frame = (dir.path() / "frame.jpg").string();

  // The satellite among the 148 of the visual list.
  WriteFile(dir.path() / "sat.tle", sat["tle"][0].get<std::string>() + "\n" + sat["tle"][1].get<std::string>() + "\n");
  ASSERT_EQ(RunCli(dir, {"import-tle", (SharedDataDir() / "tle" / "celestrak_visual_2026-05-07_148obj.txt").string(),
                         (dir.path() / "sat.tle").string()})
                .code,
            0);

  // The 20 brightest drawn stars away from the edges and from the streak, as "x,y" lines.
  const double x1 = sat["start"]["x"], y1 = sat["start"]["y"], x2 = sat["end"]["x"], y2 = sat["end"]["y"];
  std::istringstream csv(ReadFile(caseDir / (name + "_stars.csv")));
  std::string line;
  std::getline(csv, line);
  std::vector<std::array<double, 3>> stars;  // magnitude, x, y
  while (std::getline(csv, line)) {
    double hip, v, ra, dec, x, y;
    if (std::sscanf(line.c_str(), "%lf,%lf,%lf,%lf,%lf,%lf", &hip, &v, &ra, &dec, &x, &y) == 6)
      stars.push_back({v, x, y});
  }
  std::sort(stars.begin(), stars.end());
  const double width = truth["camera"]["width"], height = truth["camera"]["height"];
  std::ostringstream marks;
  int count = 0;
  for (const auto& [v, x, y] : stars) {
    const double off = std::fabs((x2 - x1) * (y1 - y) - (x1 - x) * (y2 - y1)) / std::hypot(x2 - x1, y2 - y1);
    if (x < 40 || y < 40 || x > width - 40 || y > height - 40 || off < 30 || count == 20) continue;
    marks << x << "," << y << "\n";
    ++count;
  }
  WriteFile(dir.path() / "marks.txt", marks.str());

  const json& camera = truth["camera"];
  const CliRun id = RunCli(dir, {"--json", "identify", frame, "--marks", (dir.path() / "marks.txt").string(), "--info",
                                 (caseDir / (name + "_info.txt")).string(), "--ra",
                                 std::to_string(std::lround(camera["center_ra_j2000_deg"].get<double>())), "--dec",
                                 std::to_string(std::lround(camera["center_dec_j2000_deg"].get<double>())), "--field",
                                 std::to_string(std::lround(camera["field_deg"][0].get<double>()))});
  ASSERT_EQ(id.code, 0) << id.err;
  EXPECT_GE(id.doc["identification"]["stars_identified"].get<int>(), 10);
  EXPECT_LT(SeparationDeg(id.doc["identification"]["centre"]["ra_deg"], id.doc["identification"]["centre"]["dec_deg"],
                          camera["center_ra_j2000_deg"], camera["center_dec_j2000_deg"]),
            0.1);

  // From here on the circumstances and the plate come from the frame's own information file.
  const CliRun measured =
      RunCli(dir, {"--json", "measure", frame, "--end1", std::to_string(x1) + "," + std::to_string(y1), "--end2",
                   std::to_string(x2) + "," + std::to_string(y2)});
  ASSERT_EQ(measured.code, 0) << measured.err;
  const json& ends = measured.doc["track"]["ends"];
  ASSERT_EQ(ends.size(), 2u);
  EXPECT_LT(
      SeparationDeg(ends[0]["ra_deg"], ends[0]["dec_deg"], sat["start"]["ra_j2000_deg"], sat["start"]["dec_j2000_deg"]),
      0.02);
  EXPECT_LT(
      SeparationDeg(ends[1]["ra_deg"], ends[1]["dec_deg"], sat["end"]["ra_j2000_deg"], sat["end"]["dec_j2000_deg"]),
      0.02);

  const CliRun candidates = RunCli(dir, {"--json", "candidates", frame});
  ASSERT_EQ(candidates.code, 0) << candidates.err;
  ASSERT_FALSE(candidates.doc["candidates"].empty());
  EXPECT_EQ(candidates.doc["candidates"][0]["norad"], 43229);
  const CliRun text = RunCli(dir, {"candidates", frame});
  EXPECT_EQ(text.out.rfind("43229", 0), 0u) << text.out;  // the list's first row, as the window shows it
  // The true start lies 0.04 s after the stated one; the streak lasts the whole exposure.
  const json& timing = candidates.doc["candidates"][0]["timing"];
  EXPECT_NEAR(timing["clock_offset_s"].get<double>(), truth["time"]["clock_offset_s"].get<double>(), 0.1);
  EXPECT_NEAR(timing["exposure_s"].get<double>(), 30.0, 0.1);
  // Over the frame from the window's start (stated start - UT error) to its end, on the truth's path.
  const CliRun crossings = RunCli(dir, {"--json", "crossings", frame});
  ASSERT_EQ(crossings.code, 0) << crossings.err;
  const json& first = crossings.doc["crossings"][0];  // the first to enter
  const json& truthPath = sat["predicted_path_over_window"];
  EXPECT_EQ(first["norad"], 43229);
  for (const auto& [at, truthAt] :
       {std::pair{first["entry"], truthPath.front()}, std::pair{first["exit"], truthPath.back()}})
    EXPECT_LT(
        std::hypot(at["x"].get<double>() - truthAt[1].get<double>(), at["y"].get<double>() - truthAt[2].get<double>()),
        2.0);

  // The report lands where it is asked for and holds both ends.
  const CliRun iod =
      RunCli(dir, {"--json", "iod", frame, "43229", "--output", (dir.path() / "out" / "r.txt").string()});
  ASSERT_EQ(iod.code, 0) << iod.err;
  std::istringstream report(ReadFile(dir.path() / "out" / "r.txt"));
  int lines = 0;
  while (std::getline(report, line)) {
    EXPECT_EQ(line.substr(0, 5), "43229");
    ++lines;
  }
  EXPECT_EQ(lines, 2);
  // The command line's report is the session's record of the frame it left behind: the same bytes from the
  // frame's information file through the one report builder (measure left the ends as the streak's start
  // and end, and iod kept them so).
  {
    AppState app;
    app.appDir = (dir.path() / "again").string() + "/";
    fs::create_directories(app.appDir);
    FrameState state;
    state.imageWidth = static_cast<std::int16_t>(width);
    state.imageHeight = static_cast<std::int16_t>(height);
    ReadInfoIntoFrame(state, FindInfoFile(dir.path().string() + "/", frame, state.imageWidth, state.imageHeight));
    EXPECT_EQ(state.identifiedNorad, 43229);
    TleRecord tle;
    ASSERT_TRUE(ReadBestSet(SatelliteFilePath(dir.path().string() + "/", 43229), state.info.startMjd, tle));
    FrameSession session(app, state);
    const IodStep step = session.IodReport(43229, tle.designator);
    ASSERT_TRUE(step.Ok()) << step.messages.front();
    EXPECT_EQ(ReadFile(step.report.path), ReadFile(dir.path() / "out" / "r.txt"));
  }
  // The trajectory over the frame runs along the streak.
  const CliRun path = RunCli(dir, {"--json", "trajectory", frame, "43229"});
  ASSERT_EQ(path.code, 0) << path.err;
  ASSERT_GE(path.doc["marks"].size(), 4u);
  for (const json& m : path.doc["marks"]) {
    const double x = m["x"], y = m["y"];
    EXPECT_LT(std::fabs((x2 - x1) * (y1 - y) - (x1 - x) * (y2 - y1)) / std::hypot(x2 - x1, y2 - y1), 3.0);
  }
  // Nothing to search for once the database is empty.
  for (const auto& entry : fs::directory_iterator(dir.path() / "TLE")) fs::remove(entry.path());
  EXPECT_EQ(RunCli(dir, {"candidates", frame}).code, 3);
}

// The automatic road over a folder: a rendered frame goes to its satellite with no mark given, its
// report lands in the reports folder, and a frame that cannot be read does not stop the others but
// sets the exit code. Then the same frame step by step with the automatic star and streak finders.
TEST(CliAuto, FramesToReportsWithoutAClick) {
  const std::string name = "case_s0903";
  const fs::path caseDir = SharedDataDir() / "streaks" / name;
  ORVIA_REQUIRE_SHARED_FILE(caseDir / (name + ".jpg"));
  ORVIA_REQUIRE_SHARED_FILE(SharedDataDir() / "tle" / "celestrak_visual_2026-05-07_148obj.txt");
  const json truth = json::parse(ReadFile(caseDir / (name + "_truth.json")));
  const json& sat = truth["satellite"];
  const int norad = sat["norad"];
  TempDir dir;
  const fs::path night = dir.path() / "night";
  fs::create_directories(night);
  fs::copy_file(caseDir / (name + ".jpg"), night / "a.jpg");
  // The observer's information files: the circumstances and where the camera pointed, to the degree.
  const json& camera = truth["camera"];
  const std::string info = ReadFile(caseDir / (name + "_info.txt")) +
                           "RaUser=" + std::to_string(std::lround(camera["center_ra_j2000_deg"].get<double>())) +
                           "\nDecUser=" + std::to_string(std::lround(camera["center_dec_j2000_deg"].get<double>())) +
                           "\nFieldUser=" + std::to_string(std::lround(camera["field_deg"][0].get<double>())) + "\n";
  WriteFile(night / "a_info.txt", info);
  WriteFile(night / "b.jpg", "not a picture");
  WriteFile(night / "b_info.txt", info);
  WriteFile(dir.path() / "sat.tle", sat["tle"][0].get<std::string>() + "\n" + sat["tle"][1].get<std::string>() + "\n");
  ASSERT_EQ(RunCli(dir, {"import-tle", (SharedDataDir() / "tle" / "celestrak_visual_2026-05-07_148obj.txt").string(),
                         (dir.path() / "sat.tle").string()})
                .code,
            0);

  const CliRun run = RunCli(dir, {"--json", "auto", (night / "a.jpg").string(), (night / "b.jpg").string(), "--info",
                                  "{dir}/{stem}_info.txt", "--reports", (night / "reports").string()});
  EXPECT_EQ(run.code, 2) << run.err;  // the unreadable frame's code, the larger
  ASSERT_EQ(run.doc["frames"].size(), 2u) << run.out;
  const json& a = run.doc["frames"][0];
  EXPECT_EQ(a["exit_code"], 0) << a.dump();
  ASSERT_FALSE(a["candidates"].empty());
  EXPECT_EQ(a["candidates"][0]["norad"], norad);
  EXPECT_EQ(run.doc["frames"][1]["exit_code"], 2);
  const fs::path report = night / "reports" / ("a_iod_" + std::to_string(norad) + ".txt");
  ASSERT_TRUE(fs::exists(report)) << a.dump();
  EXPECT_EQ(ReadFile(report).substr(0, 5), std::to_string(norad).insert(0, 5 - std::to_string(norad).size(), '0'));
  // End 1 is where the satellite was at the start: within a pixel of the renderer's start.
  ASSERT_EQ(a["ends"].size(), 2u);
  EXPECT_LT(std::hypot(a["ends"][0]["x"].get<double>() - sat["start"]["x"].get<double>(),
                       a["ends"][0]["y"].get<double>() - sat["start"]["y"].get<double>()),
            1.0);

  // Step by step: the circumstances are in the frame's information file now.
  const std::string frame = (night / "a.jpg").string();
  const CliRun id = RunCli(dir, {"--json", "identify", frame, "--auto"});
  ASSERT_EQ(id.code, 0) << id.err;
  EXPECT_GE(id.doc["identification"]["stars_identified"].get<int>(), 10);
  const CliRun measured = RunCli(dir, {"--json", "measure", frame, "--auto"});
  ASSERT_EQ(measured.code, 0) << measured.err;
  const json& ends = measured.doc["track"]["ends"];
  ASSERT_EQ(ends.size(), 2u);
  const double d1 =
      SeparationDeg(ends[0]["ra_deg"], ends[0]["dec_deg"], sat["start"]["ra_j2000_deg"], sat["start"]["dec_j2000_deg"]);
  const double d2 =
      SeparationDeg(ends[0]["ra_deg"], ends[0]["dec_deg"], sat["end"]["ra_j2000_deg"], sat["end"]["dec_j2000_deg"]);
  EXPECT_LT(std::min(d1, d2), 0.01);  // the finder does not know which end came first
  EXPECT_EQ(RunCli(dir, {"--json", "candidates", frame}).doc["candidates"][0]["norad"], norad);
}

// A failed identification of few marks says how many there were and, when they crowd into one corner,
// towards which edges to add stars.
TEST(CliIdentify, FewMarksFailureCarriesAHintLine) {
  TempDir dir;
  const std::string frame = (dir.path() / "demo.jpg").string();
  fs::copy_file(SourceDir() / "data" / "demo" / "demo_podsat.jpg", frame);
  WriteFile(dir.path() / "marks.txt", "40,40\n90,60\n60,110\n120,130\n");
  const std::vector<std::string> marks = {"--marks", (dir.path() / "marks.txt").string(), "--exact", "--date",
                                          "08.05.2026", "--time", "18:10:39.2", "--exposure", "30", "--lon", "112",
                                          "--lat", "26.5"};
  std::vector<std::string> args = {"--json", "identify", frame};
  args.insert(args.end(), marks.begin(), marks.end());
  const CliRun run = RunCli(dir, args);
  EXPECT_EQ(run.code, 3) << run.err;
  ASSERT_FALSE(run.doc["messages"].empty()) << run.out;
  const std::string message = run.doc["messages"][0];
  EXPECT_EQ(message.substr(0, message.find('\n')), "Идентификация не произошла.");
  EXPECT_NE(message.find("Отмечено звезд: 4."), std::string::npos) << message;
  EXPECT_NE(message.find("нижнему и правому краям"), std::string::npos) << message;

  // A field out of range is refused as the option's error, with no hint.
  for (const char* option : {"--ra", "286", "--dec", "10.5", "--field", "1", "--centre"}) args.push_back(option);
  const CliRun field = RunCli(dir, args);
  EXPECT_EQ(field.code, 1);
  ASSERT_FALSE(field.doc["messages"].empty()) << field.out;
  EXPECT_EQ(field.doc["messages"][0], "option --field: 1 is outside 3..100");
}

TEST(Pointing, CentreFollowsTheSkyAsAnIndependentReckoningDoes) {
  // North, east, south, west, the zenith; both hemispheres; two dates a quarter of a century apart.
  const double cases[][5] = {{50, 120, 55.7558, 37.6173, 61114.75}, {30, 0, 55.7558, 37.6173, 61114.8},
                             {20, 270, 43.6467, 41.44, 61300.1},    {75, 180, -30.17, -70.8, 61200.3},
                             {90, 33, -33.92, 18.42, 61150.9},      {45, 90, 35.2, -120.6, 51544.5}};
  for (const auto& [alt, az, lat, lon, mjd] : cases) {
    FrameInfo info;
    info.midTime = CalendarFromMjd(mjd, 2026);
    std::tie(info.longitude, info.latitude, info.pointingAltAz, info.pointingAlt, info.pointingAz) =
        std::tuple(lon, lat, true, alt, az);
    DeriveFrameTimes(info);
    const J2000Direction centre = PointingCentre(info).value();
    const std::array<double, 2> expected = CentreOf(alt, az, lat, lon, info.midMjd);
    EXPECT_LT(SeparationDeg(centre.raRad / kDeg, centre.decRad / kDeg, expected[0], expected[1]), 0.01) << mjd;
  }
}

// Five frames over two hours from a camera left pointing at altitude 50 deg, azimuth 120 deg: the sky turns
// 30 deg under it, more than its field, so one typed centre could serve at most one frame.
TEST(Pointing, ANightFromOneFixedPointingIsIdentifiedAboutItsCentres) {
  TempDir dir;
  fs::create_directories(dir.path() / "night");
  std::vector<std::string> args = {"--json", "auto"};
  std::array<double, 2> centre{};
  for (int k = 0; k < 5; ++k) {  // 15.03.2026 from 18:00 UT every 30 minutes, 10 s exposures
    centre = CentreOf(50, 120, 55.7558, 37.6173, 61114.75 + k / 48.0 + 5.0 / 86400.0);
    FrameSpec drawing;  // 20 x 13 degrees
    std::tie(drawing.centreRaDeg, drawing.centreDecDeg, drawing.scaleArcsec, drawing.rotationDeg) =
        std::tuple(centre[0], centre[1], 60.0, 7.0 * k);
    std::tie(drawing.referenceMagnitude, drawing.referencePeak, drawing.seed) = std::tuple(4.0, 200.0, k + 1u);
    SyntheticFrame drawn;
    ASSERT_TRUE(RenderFrameFromFile((SourceDir() / "data" / "bin8.dat").string(), drawing, drawn));
    args.push_back((dir.path() / "night" / ("f" + std::to_string(k) + ".bmp")).string());
    ASSERT_TRUE(WriteBmp(args.back(), drawn));
    WriteFile(args.back() + ".txt", "[User Info]\nDate_start=15.03.2026\nUT_start=" + std::to_string(18 + k / 2) +
                                        (k % 2 ? ":30" : ":00") + ":00\nExposition=10\n");
  }
  const std::string last = args.back();
  for (const char* option : {"--info", "{dir}/{stem}.bmp.txt", "--lat", "55.7558", "--lon", "37.6173", "--height",
                             "150", "--alt", "50", "--az", "120", "--field", "20"})
    args.emplace_back(option);
  const CliRun run = RunCli(dir, args);
  ASSERT_EQ(run.doc["frames"].size(), 5u) << run.err;
  for (const json& f : run.doc["frames"]) {  // drawn without a satellite: identified about the centre, no streak
    EXPECT_EQ(f["reached"], "streak") << f.dump();
    EXPECT_FALSE(f["identified_blind"].get<bool>()) << f.dump();
  }
  // The frame's information file keeps the pointing and the height: the next command needs neither again.
  InfoFileData kept;
  ReadInfoFile(FindInfoFile(dir.appDir(), last, 1200, 800), kept);
  EXPECT_DOUBLE_EQ(kept.info.heightM, 150.0);
  const CliRun id = RunCli(dir, {"--json", "identify", last, "--auto"});
  ASSERT_EQ(id.code, 0) << id.err;
  const json& solved = id.doc["identification"]["centre"];
  EXPECT_LT(SeparationDeg(solved["ra_deg"], solved["dec_deg"], centre[0], centre[1]), 0.05);
  // A pointing needs both numbers, and a height out of range is refused by name.
  EXPECT_EQ(RunCli(dir, {"identify", last, "--auto", "--alt", "50"}).code, 1);
  EXPECT_NE(RunCli(dir, {"identify", last, "--auto", "--height", "12000"}).err.find("12000"), std::string::npos);
}

// ---- Two programs on one application directory, and hostile inputs ----

TEST(CliLock, WritersStopWhileTheDirectoryIsHeldAndReadersDoNot) {
  TempDir dir;
  const std::string iss = (TestDataDir() / "tle" / "iss_four_epochs.txt").string();
  AppDirLock desktop;
  ASSERT_TRUE(desktop.Take(dir.appDir(), "orvia").taken);
  const CliRun refused = RunCli(dir, {"--wait", "0.3", "import-tle", iss});
  EXPECT_EQ(refused.code, 4);
  EXPECT_NE(refused.err.find("in use by orvia, pid " + std::to_string(getpid())), std::string::npos) << refused.err;
  EXPECT_FALSE(fs::exists(dir.path() / "TLE") && !fs::is_empty(dir.path() / "TLE"));
  const CliRun reading = RunCli(dir, {"propagate", "25544", "--date", "01.05.2026", "--time", "20:00:00"});
  EXPECT_EQ(reading.err.find("in use"), std::string::npos) << reading.err;
  desktop.Release();
  EXPECT_EQ(RunCli(dir, {"import-tle", iss}).code, 0);
}

// Two programs at once import eight versions of the same 148 satellites (each once) with cleanups between:
// every set ends up stored, and every run says it did its work.
TEST(CliLock, TwoProgramsHammeringOneDirectoryLoseNothing) {
  const fs::path visual = SharedDataDir() / "tle" / "celestrak_visual_2026-05-07_148obj.txt";
  ORVIA_REQUIRE_SHARED_FILE(visual);
  TempDir dir;
  // Version k has every epoch k hundredths of a day later (its checksum made anew).
  std::vector<std::string> versions(8);
  std::istringstream in(ReadFile(visual));
  int satellites = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("1 ", 0) != 0 && line.rfind("2 ", 0) != 0) continue;
    satellites += line[0] == '1';
    for (int k = 0; k < 8; ++k) {
      std::string shifted = line.substr(0, 69);
      if (line[0] == '1') {
        shifted[25] = static_cast<char>('0' + (shifted[25] - '0' + k + 1) % 10);
        int sum = 0;
        for (std::size_t i = 0; i < 68; ++i) sum += std::isdigit(static_cast<unsigned char>(shifted[i])) ? shifted[i] - '0' : shifted[i] == '-';
        shifted[68] = static_cast<char>('0' + sum % 10);
      }
      versions[static_cast<std::size_t>(k)] += shifted + "\n";
    }
  }
  const std::string cli = std::string("'") + ORVIA_CLI_PATH + "' --quiet --wait 60 --app-dir '" + dir.path().string() + "' ";
  const std::string failures = (dir.path() / "failures.txt").string();
  std::string command;
  for (int program = 0; program < 2; ++program) {
    std::string body;
    for (int k = program; k < 8; k += 2) {
      const fs::path file = dir.path() / ("v" + std::to_string(k) + ".txt");
      WriteFile(file, versions[static_cast<std::size_t>(k)]);
      for (const std::string& step : {"import-tle '" + file.string() + "'", std::string("clean --age 3650 --now 01.06.2026")})
        body += cli + step + " >/dev/null 2>&1 || echo '" + step + "' >>'" + failures + "'; ";
    }
    command += "( " + body + ") & ";
  }
  ASSERT_EQ(std::system((command + "wait").c_str()), 0);
  EXPECT_FALSE(fs::exists(failures)) << ReadFile(failures);
  int files = 0;
  for (const auto& entry : fs::directory_iterator(dir.path() / "TLE")) {
    EXPECT_EQ(entry.path().extension(), ".tle") << entry.path();  // no temporary file left either
    std::istringstream stored(ReadFile(entry.path()));
    int sets = 0;
    for (std::string line; std::getline(stored, line);) sets += line.rfind("1 ", 0) == 0;
    EXPECT_EQ(sets, 8) << entry.path();
    ++files;
  }
  EXPECT_EQ(files, satellites);
}

// Frames a/IMG_0001.jpg and b/IMG_0001.jpg of the same size and time stamp.
TEST(CliFrameFiles, AFrameNeverTakesAnotherFramesInformation) {
  const fs::path source = SharedDataDir() / "streaks" / "case_s0901" / "case_s0901.jpg";
  ORVIA_REQUIRE_SHARED_FILE(source);
  const json camera = json::parse(ReadFile(source.parent_path() / "case_s0901_truth.json"))["camera"];
  TempDir dir;
  const fs::path a = dir.path() / "a" / "IMG_0001.jpg", b = dir.path() / "b" / "IMG_0001.jpg";
  for (const fs::path& p : {a, b}) {
    fs::create_directories(p.parent_path());
    fs::copy_file(source, p);
    fs::last_write_time(p, fs::last_write_time(source));
  }
  const std::string infoA = FindInfoFile(dir.appDir(), a.string(), camera["width"], camera["height"]);
  // a's information as an older command line wrote it: solved, identified, both ends at pixels whose sky
  // places were never measured, and the frame named relative to where it ran.
  const auto writeInfoOfA = [&](const std::string& name) {
    WriteFile(infoA, "[User Info]\nFileName=" + name + "\nSize X=" + camera["width"].dump() +
                         "\nSize y=" + camera["height"].dump() +
                         "\nDate_start=08.05.2026\nUT_start=18:10:39\nExposition=30\nLongitude=30\nLatitude=55\n"
                         "[Program Info]\nMx=40\nMy=40\n[Satellite Info]\nNorad=25544\n"
                         "Track_X1=100\nTrack_Y1=100\nTrack_X2=300\nTrack_Y2=200\n");
  };
  writeInfoOfA("a/IMG_0001.jpg");
  const std::string before = ReadFile(infoA);
  // From another folder a's relative name names nothing there: it is not taken for b's file moved.
  const CliRun other = RunCli(dir, {"iod", "../b/IMG_0001.jpg"}, a.parent_path());
  // b has no circumstances of its own.
  EXPECT_TRUE(other.code == 2 && other.err.find("Ошибка ввода даты") != std::string::npos) << other.err;
  EXPECT_EQ(ReadFile(infoA), before);

  // a's own file under its absolute name: its ends have no sky place, so there is no report of zeros.
  writeInfoOfA(a.string());
  const CliRun zero = RunCli(dir, {"iod", "a/IMG_0001.jpg", "--output", "r.txt"}, dir.path());
  EXPECT_EQ(zero.code, 3) << zero.err;
  EXPECT_NE(zero.err.find(kIodEndsNotMeasuredText), std::string::npos) << zero.err;
  EXPECT_FALSE(fs::exists(dir.path() / "r.txt"));
}

TEST(CliInput, ValuesOutsideTheirRangesAreRefusedOrNamed) {
  TempDir dir;
  const std::vector<std::string> when = {"propagate", "25544", "--date", "01.05.2026", "--time", "20:00:00"};
  // Options: a usage error naming the option and the value.
  for (const auto& [option, value] : std::vector<std::pair<std::string, std::string>>{
           {"--lat", "95"}, {"--lon", "500"}, {"--exposure", "-5"}, {"--exposure", "1e8"}, {"--field", "101"}}) {
    std::vector<std::string> args = when;
    args.insert(args.end(), {option, value});
    const CliRun run = RunCli(dir, args);
    EXPECT_EQ(run.code, 1) << option << " " << value;
    EXPECT_NE(run.err.find("option " + option + ": " + value), std::string::npos) << run.err;
  }
  // An information file: each value outside its range named with the file and key, and not used.
  const fs::path info = dir.path() / "info.txt";
  WriteFile(info, "[User Info]\nExposition=1e9\nLongitude=500\nLatitude=-200\nRaUser=1e308\n"
                  "[Satellite Info]\nTrack_X1=-50000\nTrack_Y1=1e6\n");
  std::vector<std::string> args = when;
  args.insert(args.end(), {"--info", info.string()});
  const CliRun run = RunCli(dir, args);
  for (const char* named : {"Exposition = 1e9", "Longitude = 500", "Latitude = -200", "RaUser = 1e308",
                            "Track_X1 = -50000", "Track_Y1 = 1e6"})
    EXPECT_NE(run.err.find(info.string() + ": " + named), std::string::npos) << named << "\n" << run.err;
  // A file far beyond any information file's size is not read at all.
  WriteFile(info, "[User Info]\nExposition=10\n" + std::string(2 << 20, ';'));
  EXPECT_NE(RunCli(dir, args).err.find("не прочитан"), std::string::npos);
  // A date its element sets cannot reach: nothing to show, and the reason said.
  ASSERT_EQ(RunCli(dir, {"import-tle", (TestDataDir() / "tle" / "iss_four_epochs.txt").string()}).code, 0);
  const CliRun far = RunCli(dir, {"--json", "propagate", "25544", "--date", "01.05.2036", "--time", "20:00:00"});
  EXPECT_TRUE(far.code == 3 && !far.doc["messages"].empty()) << far.out;
}
