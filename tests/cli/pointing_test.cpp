// A fixed camera given by its altitude and azimuth: the centre the program derives for a frame against one
// computed here a different way (a local east-north-up vector turned by a separate sidereal-time formula and
// a first-order precession), and a night's batch of drawn frames from one pointing, identified by orvia-cli
// about those centres with the pointing typed once.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "framegen/framegen.h"
#include "frameinfo/info_file.h"
#include "session/pointing.h"
#include "test_paths.h"

namespace fs = std::filesystem;
using nlohmann::json;
using testing_support::ReadFile;
using testing_support::SourceDir;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

constexpr double kDeg = 3.14159265358979323846 / 180.0;

// J2000 right ascension and declination (degrees) of the point at altitude alt and azimuth az (from north
// through east) seen at MJD (UT) from geodetic latitude lat and east longitude lon, all in degrees.
// Sidereal time: the USNO's linear expression (good to 0.1 s); precession with the first-order terms of
// the IAU 1976 angles; nutation (under 20") is left out.
std::array<double, 2> CentreOf(double alt, double az, double lat, double lon, double mjd) {
  const double e = std::cos(alt * kDeg) * std::sin(az * kDeg), n = std::cos(alt * kDeg) * std::cos(az * kDeg),
               u = std::sin(alt * kDeg);
  const double sf = std::sin(lat * kDeg), cf = std::cos(lat * kDeg), sl = std::sin(lon * kDeg), cl = std::cos(lon * kDeg);
  std::array<double, 3> v = {-sl * e - sf * cl * n + cf * cl * u, cl * e - sf * sl * n + cf * sl * u, cf * n + sf * u};
  const double days = mjd + 2400000.5 - 2451545.0;
  const double gmst = std::fmod(18.697374558 + 24.06570982441908 * days, 24.0) * 15.0 * kDeg;
  const auto turnZ = [&v](double a) {  // the frame turned by a about the pole
    v = {std::cos(a) * v[0] + std::sin(a) * v[1], -std::sin(a) * v[0] + std::cos(a) * v[1], v[2]};
  };
  turnZ(-gmst);
  const double t = days / 36525.0, zeta = 2306.2181 / 3600.0 * t * kDeg, theta = 2004.3109 / 3600.0 * t * kDeg;
  turnZ(zeta);  // z equals zeta to first order
  v = {std::cos(-theta) * v[0] - std::sin(-theta) * v[2], v[1], std::sin(-theta) * v[0] + std::cos(-theta) * v[2]};
  turnZ(zeta);
  const double ra = std::atan2(v[1], v[0]) / kDeg;
  return {ra < 0 ? ra + 360.0 : ra, std::asin(v[2]) / kDeg};
}

double SeparationDeg(double ra1, double dec1, double ra2, double dec2) {
  const double s = std::sin((dec2 - dec1) * kDeg / 2), t = std::sin((ra2 - ra1) * kDeg / 2);
  return 2 * std::asin(std::sqrt(s * s + std::cos(dec1 * kDeg) * std::cos(dec2 * kDeg) * t * t)) / kDeg;
}

int RunCli(const TempDir& dir, const std::vector<std::string>& args, json& doc, std::string& err) {
  std::string command = std::string("'") + ORVIA_CLI_PATH + "' --app-dir '" + dir.path().string() + "'";
  for (const std::string& a : args) command += " '" + a + "'";
  const fs::path out = dir.path() / "stdout.txt", errPath = dir.path() / "stderr.txt";
  command += " >'" + out.string() + "' 2>'" + errPath.string() + "'";
  const int status = std::system(command.c_str());
  doc = json::parse(ReadFile(out), nullptr, false);
  err = ReadFile(errPath);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(Pointing, CentreFollowsTheSkyAsAnIndependentReckoningDoes) {
  struct Case {
    double alt, az, lat, lon, mjd;
  };
  // North, east, south and west, low and high, both hemispheres, the zenith, two dates a century apart.
  const Case cases[] = {{50, 120, 55.7558, 37.6173, 61114.75},  {30, 0, 55.7558, 37.6173, 61114.80},
                        {20, 270, 43.6467, 41.44, 61300.1},     {75, 180, -30.17, -70.8, 61200.3},
                        {90, 33, -33.92, 18.42, 61150.9},       {45, 90, 35.2, -120.6, 51544.5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "alt " << c.alt << " az " << c.az << " lat " << c.lat << " MJD " << c.mjd);
    FrameInfo info;
    info.midTime = CalendarFromMjd(c.mjd, 2026);
    info.latitude = c.lat;
    info.longitude = c.lon;
    info.pointingAltAz = true;
    info.pointingAlt = c.alt;
    info.pointingAz = c.az;
    DeriveFrameTimes(info);
    const std::optional<J2000Direction> centre = PointingCentre(info);
    ASSERT_TRUE(centre.has_value());
    const std::array<double, 2> expected = CentreOf(c.alt, c.az, c.lat, c.lon, info.midMjd);
    EXPECT_LT(SeparationDeg(centre->raRad / kDeg, centre->decRad / kDeg, expected[0], expected[1]), 0.01);
  }
  // No pointing, or no time to turn it by: no centre.
  FrameInfo none;
  EXPECT_FALSE(PointingCentre(none).has_value());
  none.pointingAltAz = true;
  EXPECT_FALSE(PointingCentre(none).has_value());
}

// Five frames over two hours from a camera left pointing at altitude 50 deg, azimuth 120 deg: the sky turns
// 30 deg under it, far more than its field, so one typed centre could serve at most one frame.
TEST(Pointing, ANightFromOneFixedPointingIsIdentifiedAboutItsCentres) {
  TempDir dir;
  const fs::path night = dir.path() / "night";
  fs::create_directories(night);
  const double lat = 55.7558, lon = 37.6173, alt = 50.0, az = 120.0, start = 61114.75;  // 15.03.2026 18:00 UT
  std::vector<std::string> frames;
  std::vector<std::array<double, 2>> centres;
  for (int k = 0; k < 5; ++k) {
    const double mjd = start + k * 30.0 / 1440.0;
    FrameSpec spec;
    spec.centreRaDeg = (centres.emplace_back(CentreOf(alt, az, lat, lon, mjd + 5.0 / 86400.0)))[0];
    spec.centreDecDeg = centres.back()[1];
    spec.scaleArcsec = 60.0;  // 20 x 13 degrees
    spec.rotationDeg = 7.0 * k;
    spec.referenceMagnitude = 4.0;
    spec.referencePeak = 200.0;
    spec.seed = static_cast<std::uint32_t>(k + 1);
    SyntheticFrame drawn;
    ASSERT_TRUE(RenderFrameFromFile((SourceDir() / "data" / "bin8.dat").string(), spec, drawn));
    const std::string name = "f" + std::to_string(k);
    ASSERT_TRUE(WriteBmp((night / (name + ".bmp")).string(), drawn));
    const CalendarTime t = CalendarFromMjd(mjd, 2026);
    WriteFile(night / (name + "_info.txt"),
              "[User Info]\nDate_start=" + std::to_string(t.day) + "." + std::to_string(t.month) + "." +
                  std::to_string(t.year) + "\nUT_start=" + std::to_string(t.hour) + ":" + std::to_string(t.minute) +
                  ":00.0\nExposition=10\nLongitude=" + std::to_string(lon) + "\nLatitude=" + std::to_string(lat) + "\n");
    frames.push_back((night / (name + ".bmp")).string());
  }
  std::vector<std::string> args = {"--json", "auto"};
  args.insert(args.end(), frames.begin(), frames.end());
  for (const char* option : {"--info", "{dir}/{stem}_info.txt", "--alt", "50", "--az", "120", "--field", "20",
                             "--height", "150"})
    args.emplace_back(option);
  json doc;
  std::string err;
  RunCli(dir, args, doc, err);
  ASSERT_TRUE(doc.is_object()) << err;
  ASSERT_EQ(doc["frames"].size(), 5u) << doc.dump();
  for (std::size_t k = 0; k < 5; ++k) {
    const json& f = doc["frames"][k];
    SCOPED_TRACE(f.dump());
    EXPECT_EQ(f["reached"], "streak");  // drawn without a satellite: identified, then no streak
    EXPECT_FALSE(f["identified_blind"].get<bool>());
    EXPECT_GE(f["stars_identified"].get<int>(), 10);
  }
  // The frames' information files keep the pointing and the height: the next command needs neither again.
  InfoFileData kept;
  ReadInfoFile(FindInfoFile(dir.appDir(), frames[4], 1200, 800), kept);
  EXPECT_TRUE(kept.info.pointingAltAz);
  EXPECT_DOUBLE_EQ(kept.info.pointingAz, 120.0);
  EXPECT_DOUBLE_EQ(kept.info.heightM, 150.0);
  ASSERT_EQ(RunCli(dir, {"--json", "identify", frames[4], "--auto"}, doc, err), 0) << err;
  EXPECT_LT(SeparationDeg(doc["identification"]["centre"]["ra_deg"], doc["identification"]["centre"]["dec_deg"],
                          centres[4][0], centres[4][1]),
            0.05);

  // A pointing needs both numbers, and a height out of range is refused by name.
  EXPECT_EQ(RunCli(dir, {"identify", frames[0], "--auto", "--alt", "50"}, doc, err), 1);
  EXPECT_EQ(RunCli(dir, {"identify", frames[0], "--auto", "--height", "12000"}, doc, err), 1);
  EXPECT_NE(err.find("12000"), std::string::npos) << err;
}
