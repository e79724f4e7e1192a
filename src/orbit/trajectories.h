#pragma once
// Predicted trajectories over a calibrated frame: sample times over the track window, the marks a
// satellite's positions leave on the frame (orange while sunlit, grey in the Earth's shadow), the
// position table of the single-satellite window, the decision which measured track end the satellite
// passed first, and the drawing of several satellites with their name labels. Predicted directions are
// rotated from TEME of date to J2000, the frame of the plate solution, before use. Everything here
// returns records; nothing is shown.

#include <span>
#include <string>
#include <vector>

#include "astrometry/plate.h"
#include "base/colour.h"
#include "frameinfo/frame_info.h"
#include "orbit/candidates.h"
#include "orbit/observer.h"
#include "sky/fixed_camera.h"

// Time of day of an MJD as "hh:mm:ss.ss" (seconds rounded to 0.01 s, carried into minutes and hours).
std::string TimeText(double mjd);

// Sample times t0 + k * step for k = 0 .. n, n = integer part of (t1 - t0) / step + 0.5; stepSeconds > 0.
std::vector<double> TrajectorySampleTimes(const TrackWindow& window, double stepSeconds);

// Step of a candidate's trajectory: 2 s, or 1 s when the window is shorter than 5 s.
double CandidateStepSeconds(const TrackWindow& window);

// A predicted position on the frame, drawn as a square outline of side 2 * size screen pixels about it.
struct TrajectoryMark {
  float x = 0.0f;  // image pixels
  float y = 0.0f;
  Rgb colour;
  std::string timeText;  // TimeText of the sample
  float size = 2.0f;     // half-side of the drawn square, screen pixels
};

// A satellite's name label on the frame: (x, y) is the image pixel it is placed at; the frame window moves it
// inside the picture by the size of its text.
struct TrajectoryLabel {
  float x = 0.0f;
  float y = 0.0f;
  Rgb colour;
  std::string text;
};

// The frame a trajectory is drawn on.
struct TrajectoryCanvas {
  PlateConstants plate;  // working form of the frame's plate solution
  int imageWidth = 0;    // image pixels
  int imageHeight = 0;
  CameraView camera;  // a still camera's pixels turn with the sky: each sample is drawn where it was seen
};

// Marks of trajectory points: points below the horizon (range -1) are skipped; each other point is
// rotated to J2000 (for a still camera: to the plate's direction of the pixel that saw it at its instant),
// projected with the plate solution and kept when 0 < x < imageWidth and
// 0 < y < imageHeight (strict); colour sunlit when the point is sunlit, shadow otherwise.
std::vector<TrajectoryMark> TrajectoryMarks(std::span<const TrajectoryPoint> points, const TrajectoryCanvas& canvas,
                                            Rgb sunlit, Rgb shadow);

// Trajectory of a candidate over the frame's track window with the candidate step; empty when the
// propagation fails.
std::vector<TrajectoryMark> CandidateTrajectory(const TleRecord& tle, const FrameInfo& info,
                                                const TrajectoryCanvas& canvas, const MarkPalette& palette);

// The text the single-satellite window shows instead of computing for a bad number or step:
// "Проверьте номер ИСЗ", "Увеличьте шаг расчета" (step <= 0.1 s), "Уменьшите шаг расчета" (step > 30 s);
// empty when both are usable.
std::string UsersatEntryProblem(int number, double stepSeconds);

// One line of the position table: time, J2000 RA and DEC, phase, magnitude ("N/A" when unknown or below
// the horizon) and range in km.
std::string TrajectoryPointLine(const TrajectoryPoint& point, float standardMagnitude);

// What the single-satellite window computed for one satellite.
struct SingleTrajectory {
  std::string message;  // box text (caption "Сообщение"), e.g. "Файл <path> не найден."; empty if none
  std::string designator;  // international designator; empty when the file was not found
  std::string displayName;
  std::vector<std::string> lines;  // lines to append to the output box, in order
  std::vector<TrajectoryPoint> points;
  std::vector<TrajectoryMark> marks;
};

// Reads the satellite's best element set for the window start from appDir's database, samples the
// window with the given step and returns the header lines ("Имя ИСЗ = ", "Давность Tle = "), one line
// per point (or "Ошибка при вычислении положений ИСЗ.") and the marks.
SingleTrajectory SingleSatelliteTrajectory(const std::string& appDir, int number, double stepSeconds,
                                           const FrameInfo& info, const TrajectoryCanvas& canvas,
                                           const MarkPalette& palette);

// True when the measured ends must be exchanged so that end 1 is the end the satellite passed first:
// the drawn trajectory (last mark minus first mark) and the track (end 1 to end 2) point
// opposite ways (negative dot product); marks and ends in image pixels. False with fewer than two marks.
bool ExchangeTrackEnds(std::span<const TrajectoryMark> marks, float end1X, float end1Y, float end2X, float end2Y);

// Places a satellite's label at the one of its first and last marks nearer the image's centre (the last on a
// tie); imageWidth and imageHeight in image pixels.
TrajectoryLabel PlaceTrajectoryLabel(const TrajectoryMark& first, const TrajectoryMark& last, const std::string& text,
                                     Rgb colour, float imageWidth, float imageHeight);

// One satellite of the several-satellites drawing.
struct SatelliteRequest {
  int number = 0;
  double stepSeconds = 1.0;
  Rgb colour;
};

// What the several-satellites drawing produced.
struct SeveralTrajectories {
  std::vector<TrajectoryMark> marks;
  std::vector<TrajectoryLabel> labels;
  std::vector<std::string> messages;  // box texts (caption "Сообщение") in order
};

// Draws up to 15 satellites in order, each with its own colour as the sunlit colour; a missing file or a
// failed propagation adds its message and the drawing goes on. With labels on, each satellite that drew
// a mark gets "name (number)" placed by PlaceTrajectoryLabel.
SeveralTrajectories SeveralSatelliteTrajectories(const std::string& appDir,
                                                 std::span<const SatelliteRequest> satellites, bool labels,
                                                 const FrameInfo& info, const TrajectoryCanvas& canvas, Rgb shadow);

// The open frame's satellite state: candidates of the last search and what is drawn over the frame.
struct SatelliteState {
  CandidateList candidates;
  std::vector<TrajectoryMark> marks;
  std::vector<TrajectoryLabel> labels;
};
