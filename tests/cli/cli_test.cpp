// orvia-cli through its real executable: exit codes and JSON of the database commands, a satellite's
// position against an independent renderer's, and the whole road on a rendered streak frame, command by
// command, each step reading the last one's information file.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "frameinfo/info_file.h"
#include "satdb/satdb.h"
#include "session/frame_session.h"
#include "test_paths.h"

namespace fs = std::filesystem;
using nlohmann::json;
using testing_support::ReadFile;
using testing_support::SharedDataDir;
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

// Runs orvia-cli with --app-dir and the arguments (each quoted), capturing both streams.
CliRun RunCli(const TempDir& dir, const std::vector<std::string>& args) {
  std::string command = std::string("'") + ORVIA_CLI_PATH + "' --app-dir '" + dir.path().string() + "'";
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
