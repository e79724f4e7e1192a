#pragma once
// Track measurement: the marked track ends of a calibrated frame converted to right ascension and
// declination, the track's middle and length, and the ends refined by a local plate solution fitted to
// catalogue stars re-measured on the image around the track. The measurement is reported as text lines
// for the measurement window and written back into the frame's track record.

#include <functional>
#include <string>
#include <vector>

#include "astrometry/identify.h"
#include "astrometry/plate.h"
#include "base/task_control.h"
#include "base/texts.h"
#include "image/detection.h"
#include "sky/fixed_camera.h"

// Messages and texts of the track measurement.
inline constexpr const char* kMeasureNoFrameText = kNoFileText;
inline constexpr const char* kMeasureNoEndsText = "Концы трека не отмечены";
inline constexpr const char* kMeasureNotSolvedText = kNotSolvedText;
inline constexpr const char* kLocalSolutionFailedText = "Локальная привязка не произошла";
inline constexpr const char* kMeasureTrackHint = "Для идентификации выберите Меню: Идентификация->ИСЗ";

// Limits of the local refinement.
inline constexpr int kLocalWantedStars = 10;  // stars a load should find before the radius stops growing
inline constexpr int kLocalRadiusLoads = 3;   // catalogue loads at most
inline constexpr double kLocalRadiusGrowth = 1.5;
inline constexpr int kLocalMinStars = 6;               // fewer loaded or collected stars fail the refinement
inline constexpr int kLocalMaxStars = 25;              // stars collected at most
inline constexpr int kLocalMaxRounds = 10;             // fit-and-reject rounds at most
inline constexpr double kLocalEdgeMargin = 10.0;       // pixels a projected star must keep from the frame's edges
inline constexpr double kLocalTrackMargin = 10.0;      // pixels a star's centroid must keep from the track line
inline constexpr double kLocalDefaultWidthPx = 100.0;  // search radius of a single end, pixels
// A still camera's star trail longer than this (pixels) is not re-measured: its centroid is not trusted.
inline constexpr double kLocalLongestTrailPx = 6.0;

// The precondition message of the measurement command for this frame ("" when it may run): no frame,
// no marked track end, or an unsolved frame, tested in this order.
std::string TrackMeasurementRefusal(bool frameOpen, const TrackEnds& track, const PlateSolution& plate);

// What the track measurement reads of the open, calibrated frame.
struct TrackFrame {
  const BrightnessRaster& brightness;  // for re-measuring catalogue stars on the image
  int frameHalf = 0;                   // marking-frame half-size of those measurements, image pixels
  std::int16_t imageWidth = 0;
  std::int16_t imageHeight = 0;
  const PlateSolution& plate;   // the frame's calibration
  VisibilityFilter visibility;  // leaves out catalogue stars below the horizon
  std::string catalogPath;      // the star catalogue file
  // How the pixels looked at the sky, and when each end was recorded: end 1 at the exposure's start,
  // end 2 at its end (MJD, UT). With a fixed camera each end's position is turned to its own instant.
  CameraView camera;
  double startMjd = 0.0;
  double endMjd = 0.0;
};

// Right ascension in degrees as "hh" "h " "mm" "m " "ss" "s": whole hours, minutes and seconds of time,
// the seconds rounded to the millisecond and then truncated, with carries (24 h wraps to 0 h).
std::string FormatRaHms(double raDeg);
// Declination in degrees as sign, "dd° mm' ss\"": truncated degrees, arcminutes and arcseconds of the
// magnitude, with carries; the sign is "+" for 0 and above.
std::string FormatDecDms(double decDeg);

// Appends a line to a multi-line text: with replace set the line becomes the whole text, otherwise CR LF
// and the line are appended.
void AppendMeasurementLine(std::string& content, const std::string& line, bool replace);

// A straight line a x + b y + c = 0 through image pixels, with norm = sqrt(a^2 + b^2) > 0.
struct TrackLine {
  double a = 0.0;
  double b = 1.0;
  double c = 0.0;
  double norm = 1.0;
};
// The line through the two ends (x1, y1), (x2, y2), pixels. When the ends coincide, or with a single
// end (twoEnds false), the line through (x1, y1) parallel to the image's x axis.
TrackLine MakeTrackLine(double x1, double y1, double x2, double y2, bool twoEnds);
// Distance of pixel (x, y) from the line, pixels.
double DistanceFromLine(const TrackLine& line, double x, double y);

// A catalogue star re-measured on the image: detected centroid (pixels), catalogue position (radians) and
// negated standard coordinates (xi', eta') about the frame's tangent point.
struct LocalStar {
  double cx = 0.0;
  double cy = 0.0;
  double ra = 0.0;
  double dec = 0.0;
  double xi = 0.0;
  double eta = 0.0;
};

// The trail a camera standing still draws of a star at (ra, dec) (J2000, radians) under the plate, whose
// instant is camera.plateMjd, from startMjd to endMjd (MJD, UT): the vector from its pixel at the start to
// its pixel at the end. False when either pixel is off the projection.
bool StillCameraTrail(const PlateConstants& plate, double plateMjd, double ra, double dec, double startMjd,
                      double endMjd, double& dx, double& dy);

// Re-measures catalogue stars on the image for the local solution, in list order, stopping at 25: each is
// projected with the frame's plate, kept only when its projection lies at least 10 pixels inside every
// edge, a star is detected at the integer part of the projection (nothing recorded), and the detected
// centroid lies at least 10 pixels from the track line. With a fixed camera a star whose trail is longer
// than kLocalLongestTrailPx is left out.
std::vector<LocalStar> CollectLocalStars(const TrackFrame& frame, const std::vector<ReferenceStar>& stars,
                                         const TrackLine& line);

// Fits the six plate constants to the local stars about the frame's tangent point (ra0, dec0 in radians)
// by least squares, without re-centring, and applies the skew test (within 5 degrees of 0 or of 180
// degrees). False (local untouched) for fewer than three stars, collinear stars, a vanishing determinant,
// a non-finite constant or a failed skew.
bool FitLocalPlate(const std::vector<LocalStar>& stars, double ra0, double dec0, PlateConstants& local);

// Fit-and-reject of the local solution: up to 10 rounds while more than 5 stars remain, each fitting all
// remaining stars and then removing the star with the largest residual (the first on ties; the last star
// takes its place). The constants of the last fit are the result; the star removed after it is gone from
// stars. False when a fit fails.
bool FitWithRejection(std::vector<LocalStar>& stars, double ra0, double dec0, PlateConstants& local);

// Image position of one star used by the local solution; the frame window marks it.
struct LocalReferenceMark {
  float x = 0.0f;  // image pixels
  float y = 0.0f;
};
// What a measurement produced.
struct TrackMeasurement {
  std::string text;                            // the measurement window's whole text, lines joined by CR LF
  std::vector<std::string> lines;              // the same lines one by one
  bool refined = false;                        // the local solution succeeded and the ends carry its positions
  std::string failureText;                     // kLocalSolutionFailedText when the local solution failed, else ""
  std::vector<LocalReferenceMark> localMarks;  // stars of the local solution (replace the previous marks)
};

// Receives each measurement line as it is produced (replace: the line starts a new text).
using MeasurementLineSink = std::function<void(const std::string& line, bool replace)>;

// Refines the track ends with a local plate solution from catalogue stars around the middle point
// (midRa, midDec in radians) within the track length (degrees; 0 for a single end, then 100 pixels' worth),
// widening the search up to three loads; stars below the horizon are left out as in identification.
// Appends its lines to result and, on success, overwrites the RA and DEC of the marked ends and fills
// result.localMarks. False when too few stars are found or a fit fails; the ends are then untouched.
bool RefineTrackLocally(const TrackFrame& frame, TrackEnds& track, double midRa, double midDec, double lengthDeg,
                        TaskControl& task, TrackMeasurement& result, const MeasurementLineSink& sink = {});

// Writes a track end's sky position (J2000, radians) from its image position with the plate constants
// (the frame's or a local solution's); a position that is not finite leaves the end as it was.
void PlaceTrackEndOnSky(TrackPoint& end, const PlateConstants& plate);
// The same for an end recorded at mjd (MJD, UT) by a camera with the given view: the plate's position
// turned to that instant.
void PlaceTrackEndOnSky(TrackPoint& end, const PlateConstants& plate, const CameraView& camera, double mjd);
// An end's sky position recorded at fromMjd moved to the position its pixel has at toMjd (for ends that
// exchange their instants); unchanged for a followed sky.
void RetimeTrackEnd(TrackPoint& end, const CameraView& camera, double fromMjd, double toMjd);

// Measures the marked track of a solved frame: the middle (stored in entry 0), the length on the plate, each
// end's RA and DEC with the frame's plate (stored in its entry; with a fixed camera turned to the end's
// instant), then the local refinement. Lines go to the result and, as they are
// produced, to the sink. The caller checks the preconditions (TrackMeasurementRefusal, frame information).
TrackMeasurement MeasureTrack(const TrackFrame& frame, TrackEnds& track, TaskControl& task,
                              const MeasurementLineSink& sink = {});
