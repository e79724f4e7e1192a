#include "astrometry/track.h"

#include <algorithm>
#include <cmath>

#include "base/calendar.h"
#include "base/numbers.h"
#include "base/sexagesimal.h"
#include "image/raster.h"
#include "sky/angles.h"

namespace {

constexpr double kArcsecPerDegree = 3600.0;

// Collects the measurement's lines in the result and hands each to the sink as it comes.
class LineWriter {
public:
  LineWriter(TrackMeasurement& result, const MeasurementLineSink& sink) : result_(result), sink_(sink) {}
  void Add(const std::string& line, bool replace = false) {
    if (replace) result_.lines.clear();
    result_.lines.push_back(line);
    AppendMeasurementLine(result_.text, line, replace);
    if (sink_) sink_(line, replace);
  }

private:
  TrackMeasurement& result_;
  const MeasurementLineSink& sink_;
};

// Number of marked ends the measurement uses (slots fill in order 1, 2).
int MarkedEnds(const TrackEnds& track) {
  return std::min<int>(track.count, 2);
}

// The instant the end in a slot (1 or 2) was recorded.
double EndMjd(const TrackFrame& frame, int slot) {
  return slot == 1 ? frame.startMjd : frame.endMjd;
}

// Turns an end placed with the plate to its own instant.
void TurnToEndInstant(const TrackFrame& frame, TrackPoint& end, int slot) {
  RetimeTrackEnd(end, frame.camera, frame.camera.plateMjd, EndMjd(frame, slot));
}

// "X=..." and the sexagesimal line of one end measured with the frame's plate.
void WriteFrameEndLines(LineWriter& out, const TrackPoint& end) {
  const double raDeg = RadToDeg(end.ra), decDeg = RadToDeg(end.dec);
  out.Add("X=" + FormatNumber(end.x, "0.0") + " Y=" + FormatNumber(end.y, "0.0") +
          " RA = " + FormatNumber(raDeg, "0.0000") + "  DEC = " + FormatNumber(decDeg, "0.0000"));
  out.Add(FormatRaHms(raDeg) + "  " + FormatDecDms(decDeg));
}

// "X = ..." and the sexagesimal line of one end measured with the local plate.
void WriteLocalEndLines(LineWriter& out, const TrackPoint& end) {
  const double raDeg = RadToDeg(end.ra), decDeg = RadToDeg(end.dec);
  out.Add("X = " + FormatNumber(end.x, "0.0") + "   Y = " + FormatNumber(end.y, "0.0") +
          "  RA = " + FormatNumber(raDeg, "0.00000") + "°" + " DEC = " + FormatNumber(decDeg, "0.00000") + "°");
  out.Add(FormatRaHms(raDeg) + "  " + FormatDecDms(decDeg));
}

// Observed minus catalogue offsets of the local stars under the local plate, arcseconds: RA along the
// great circle (times cos DEC), DEC directly; one O-C line per star.
void WriteResiduals(LineWriter& out, const std::vector<LocalStar>& stars, const PlateConstants& local) {
  out.Add("O-C звезд:");
  std::vector<double> dRas, dDecs;
  for (const LocalStar& s : stars) {
    const SkyPosition fitted = PixelToSky(s.cx, s.cy, local);
    double dRa = RadToDeg(fitted.ra - s.ra);
    if (dRa > 90.0) dRa -= 360.0;
    if (dRa < -90.0) dRa += 360.0;
    const double dRaSec = dRa * kArcsecPerDegree * std::cos(fitted.dec);
    const double dDecSec = RadToDeg(fitted.dec - s.dec) * kArcsecPerDegree;
    dRas.push_back(dRaSec);
    dDecs.push_back(dDecSec);
    out.Add("X=" + FormatNumber(s.cx, "0.0") + "  Y=" + FormatNumber(s.cy, "0.0") +
            "  dRA=" + FormatNumber(dRaSec, "0.0") + "\"" + "  dDEC=" + FormatNumber(dDecSec, "0.0") + "\"");
  }
  if (stars.empty()) return;
  const MeanDeviation ra = MeanAndDeviation(dRas, 0, dRas.size() - 1);
  const MeanDeviation dec = MeanAndDeviation(dDecs, 0, dDecs.size() - 1);
  out.Add("dRA = " + FormatNumber(ra.mean, "0.0") + "\"" + "  +/- " + FormatNumber(ra.deviation, "0.0") + "\"");
  out.Add("dDEC = " + FormatNumber(dec.mean, "0.0") + "\"" + "  +/- " + FormatNumber(dec.deviation, "0.0") + "\"");
}

}  // namespace

std::string TrackMeasurementRefusal(bool frameOpen, const TrackEnds& track, const PlateSolution& plate) {
  if (!frameOpen) return kMeasureNoFrameText;
  if (track.count == 0) return kMeasureNoEndsText;
  if (!plate.Solved()) return kMeasureNotSolvedText;
  return {};
}

std::string FormatRaHms(double raDeg) {
  if (!std::isfinite(raDeg)) return {};
  const double hours = Normalize360(raDeg) / 15.0;
  int h = static_cast<int>(hours);
  int m = static_cast<int>((hours - h) * 60.0);
  const double seconds = (hours - h - m / 60.0) * 3600.0;
  // Rounded to the millisecond, then only the whole seconds are shown.
  int s = static_cast<int>(std::trunc((seconds + 0.0005) * 1000.0) / 1000.0);
  CarrySexagesimal(h, m, s);
  if (h > 23) h -= 24;
  return FormatNumber(h, "00") + "h " + FormatNumber(m, "00") + "m " + FormatNumber(s, "00") + "s";
}

std::string FormatDecDms(double decDeg) {
  if (!std::isfinite(decDeg)) return {};
  const char* sign = decDeg >= 0.0 ? "+" : "-";
  const double magnitude = std::fabs(decDeg);
  int d = static_cast<int>(magnitude);
  const double minutes = (magnitude - d) * 60.0;
  int m = static_cast<int>(minutes);
  int s = static_cast<int>((minutes - m) * 60.0);
  CarrySexagesimal(d, m, s);
  return std::string(sign) + FormatNumber(d, "00") + "° " + FormatNumber(m, "00") + "' " + FormatNumber(s, "00") + "\"";
}

void AppendMeasurementLine(std::string& content, const std::string& line, bool replace) {
  if (replace) {
    content = line;
  } else {
    content += "\r\n";
    content += line;
  }
}

TrackLine MakeTrackLine(double x1, double y1, double x2, double y2, bool twoEnds) {
  TrackLine line;
  if (twoEnds) {
    line.a = y1 - y2;
    line.b = x2 - x1;
    line.c = x1 * y2 - y1 * x2;
    line.norm = std::sqrt(line.a * line.a + line.b * line.b);
    if (line.norm > 0.0 && std::isfinite(line.norm)) return line;
  }
  // One end (or two that coincide): the line through it along the image rows.
  line.a = 0.0;
  line.b = 1.0;
  line.c = -y1;
  line.norm = 1.0;
  return line;
}

double DistanceFromLine(const TrackLine& line, double x, double y) {
  return std::fabs(line.a * x + line.b * y + line.c) / line.norm;
}

bool StillCameraTrail(const PlateConstants& plate, double plateMjd, double ra, double dec, double startMjd,
                      double endMjd, double& dx, double& dy) {
  const CameraView still{true, plateMjd};
  const J2000Direction first = still.PlateOf(J2000Direction{ra, dec}, startMjd);
  const J2000Direction last = still.PlateOf(J2000Direction{ra, dec}, endMjd);
  const PixelPosition p1 = SkyToPixel(first.raRad, first.decRad, plate);
  const PixelPosition p2 = SkyToPixel(last.raRad, last.decRad, plate);
  if (!p1.valid || !p2.valid) return false;
  dx = static_cast<double>(p2.x) - p1.x;
  dy = static_cast<double>(p2.y) - p1.y;
  return std::isfinite(dx) && std::isfinite(dy);
}

std::vector<LocalStar> CollectLocalStars(const TrackFrame& frame, const std::vector<ReferenceStar>& stars,
                                         const TrackLine& line) {
  std::vector<LocalStar> collected;
  const PlateConstants& plate = frame.plate.working;
  const double maxX = frame.imageWidth - kLocalEdgeMargin, maxY = frame.imageHeight - kLocalEdgeMargin;
  for (const ReferenceStar& star : stars) {
    if (collected.size() >= static_cast<std::size_t>(kLocalMaxStars)) break;
    const PixelPosition p = SkyToPixel(star.ra, star.dec, plate);
    if (!p.valid) continue;
    const double px = p.x, py = p.y;
    if (!(px >= kLocalEdgeMargin && px <= maxX && py >= kLocalEdgeMargin && py <= maxY)) continue;
    if (frame.camera.fixed) {
      double dx = 0.0, dy = 0.0;
      if (!StillCameraTrail(plate, frame.camera.plateMjd, star.ra, star.dec, frame.startMjd, frame.endMjd, dx, dy) ||
          !(std::hypot(dx, dy) <= kLocalLongestTrailPx))
        continue;
    }
    const StarMeasurement found =
        MeasureStar(frame.brightness, static_cast<int>(px), static_cast<int>(py), frame.frameHalf);
    if (!found.found) continue;
    if (!(DistanceFromLine(line, found.sx, found.sy) >= kLocalTrackMargin)) continue;
    const StandardCoordinates sc = SkyToStandard(star.ra, star.dec, plate.ra0, plate.dec0);
    if (!sc.valid) continue;
    collected.push_back({found.sx, found.sy, star.ra, star.dec, sc.xi, sc.eta});
  }
  return collected;
}

bool FitLocalPlate(const std::vector<LocalStar>& stars, double ra0, double dec0, PlateConstants& local) {
  if (stars.size() < 3) return false;
  std::vector<std::array<double, 4>> xiRows, etaRows;
  xiRows.reserve(stars.size());
  etaRows.reserve(stars.size());
  for (const LocalStar& s : stars) {
    xiRows.push_back({s.cx, s.cy, 1.0, s.xi});
    etaRows.push_back({s.cx, s.cy, 1.0, s.eta});
  }
  return FitStandardConstants(xiRows, etaRows, ra0, dec0, local);
}

bool FitWithRejection(std::vector<LocalStar>& stars, double ra0, double dec0, PlateConstants& local) {
  bool fitted = false;
  for (int round = 0; round < kLocalMaxRounds && stars.size() > 5; ++round) {
    PlateConstants p;
    if (!FitLocalPlate(stars, ra0, dec0, p)) return false;
    local = p;
    fitted = true;
    std::size_t worst = 0;
    double worstResidual = -1.0;
    for (std::size_t i = 0; i < stars.size(); ++i) {
      const SkyPosition sky = PixelToSky(stars[i].cx, stars[i].cy, p);
      const double residual = AngularSeparation(sky.ra, sky.dec, stars[i].ra, stars[i].dec);
      if (residual > worstResidual) {
        worstResidual = residual;
        worst = i;
      }
    }
    stars[worst] = stars.back();
    stars.pop_back();
  }
  return fitted;
}

bool RefineTrackLocally(const TrackFrame& frame, TrackEnds& track, double midRa, double midDec, double lengthDeg,
                        TaskControl& task, TrackMeasurement& result, const MeasurementLineSink& sink) {
  LineWriter out(result, sink);
  out.Add(" ");
  const int ends = MarkedEnds(track);
  if (ends == 0 || !frame.plate.Solved()) return false;
  const TrackPoint& first = track[1];
  const TrackPoint& second = track[2];
  const TrackLine line = MakeTrackLine(first.x, first.y, second.x, second.y, ends == 2);

  double radiusDeg = lengthDeg;
  if (!(radiusDeg > 0.0 && std::isfinite(radiusDeg)))
    radiusDeg = std::fabs(frame.plate.mxArcsec) * kLocalDefaultWidthPx / kArcsecPerDegree;
  if (!(radiusDeg > 0.0 && std::isfinite(radiusDeg))) return false;

  const VisibilityFilter& visibility = frame.visibility;
  ReferenceList nearby;
  LoadReferenceStarsInField(frame.catalogPath, visibility, midRa, midDec, radiusDeg, nearby, task);
  task.Yield();
  for (int loads = 1; nearby.size() < kLocalWantedStars && loads < kLocalRadiusLoads; ++loads) {
    radiusDeg *= kLocalRadiusGrowth;
    LoadReferenceStarsInField(frame.catalogPath, visibility, midRa, midDec, radiusDeg, nearby, task);
    task.Yield();
  }
  if (nearby.size() < kLocalMinStars) return false;

  std::vector<LocalStar> stars = CollectLocalStars(frame, nearby.stars, line);
  if (stars.size() < static_cast<std::size_t>(kLocalMinStars)) return false;
  // With a lens distortion the local plate is fitted on the stars' ideal pixels and keeps the distortion.
  const PlateDistortion& lens = frame.plate.working.distortion;
  if (lens.Present()) {
    for (LocalStar& s : stars) UndistortPixel(lens, s.cx, s.cy, s.cx, s.cy);
  }
  PlateConstants local;
  if (!FitWithRejection(stars, frame.plate.working.ra0, frame.plate.working.dec0, local)) return false;

  WriteResiduals(out, stars, local);
  local.distortion = lens;
  if (lens.Present()) {
    for (LocalStar& s : stars) DistortPixel(lens, s.cx, s.cy, s.cx, s.cy);
  }
  out.Add("Трек:");
  for (int slot = 1; slot <= ends; ++slot) {
    TrackPoint& end = track[static_cast<std::size_t>(slot)];
    PlaceTrackEndOnSky(end, local);
    TurnToEndInstant(frame, end, slot);
    WriteLocalEndLines(out, end);
  }
  result.localMarks.clear();
  for (const LocalStar& s : stars) result.localMarks.push_back({static_cast<float>(s.cx), static_cast<float>(s.cy)});
  return true;
}

void PlaceTrackEndOnSky(TrackPoint& end, const PlateConstants& plate) {
  const SkyPosition sky = PixelToSky(end.x, end.y, plate);
  if (!std::isfinite(sky.ra) || !std::isfinite(sky.dec)) return;
  end.ra = sky.ra;
  end.dec = sky.dec;
}

void PlaceTrackEndOnSky(TrackPoint& end, const PlateConstants& plate, const CameraView& camera, double mjd) {
  PlaceTrackEndOnSky(end, plate);
  RetimeTrackEnd(end, camera, camera.plateMjd, mjd);
}

void RetimeTrackEnd(TrackPoint& end, const CameraView& camera, double fromMjd, double toMjd) {
  if (!camera.fixed) return;
  const J2000Direction sky = camera.SkyAt(camera.PlateOf(J2000Direction{end.ra, end.dec}, fromMjd), toMjd);
  if (!std::isfinite(sky.raRad) || !std::isfinite(sky.decRad)) return;
  end.ra = sky.raRad;
  end.dec = sky.decRad;
}

TrackMeasurement MeasureTrack(const TrackFrame& frame, TrackEnds& track, TaskControl& task,
                              const MeasurementLineSink& sink) {
  TrackMeasurement result;
  const int ends = MarkedEnds(track);
  if (ends == 0 || !frame.plate.Solved()) return result;
  const PlateConstants& plate = frame.plate.working;
  TrackPoint& middle = track[0];
  TrackPoint& first = track[1];
  TrackPoint& second = track[2];
  middle.x = ends == 2 ? (first.x + second.x) / 2.0f : first.x;
  middle.y = ends == 2 ? (first.y + second.y) / 2.0f : first.y;
  const SkyPosition mid = PixelToSky(middle.x, middle.y, plate);
  middle.ra = mid.ra;
  middle.dec = mid.dec;
  for (int slot = 1; slot <= ends; ++slot) PlaceTrackEndOnSky(track[static_cast<std::size_t>(slot)], plate);
  // The length on the plate: the stretch of sky around the track that the refinement searches.
  const double lengthDeg = ends == 2 ? RadToDeg(AngularSeparation(first.ra, first.dec, second.ra, second.dec)) : 0.0;
  for (int slot = 1; slot <= ends; ++slot) TurnToEndInstant(frame, track[static_cast<std::size_t>(slot)], slot);

  LineWriter out(result, sink);
  out.Add("Середина трека: ", true);
  out.Add("RA = " + FormatNumber(RadToDeg(mid.ra), "0.00"));
  out.Add("DEC = " + FormatNumber(RadToDeg(mid.dec), "0.00"));
  if (ends == 2) out.Add("Длина трека = " + FormatNumber(lengthDeg, "0.00") + " град.");
  for (int slot = 1; slot <= ends; ++slot) WriteFrameEndLines(out, track[static_cast<std::size_t>(slot)]);
  out.Add("Уточняем... ");
  task.Yield();

  result.refined = RefineTrackLocally(frame, track, mid.ra, mid.dec, lengthDeg, task, result, sink);
  if (!result.refined) {
    result.failureText = kLocalSolutionFailedText;
    out.Add(kLocalSolutionFailedText);
  }
  return result;
}
