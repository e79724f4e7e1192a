#pragma once
// What the observer at the frame's site sees of a satellite: topocentric right ascension and declination
// of propagated positions, and for trajectories the range, the solar phase angle, whether the satellite
// is sunlit and an estimate of its visual magnitude. The site lies on the observer ellipsoid (height 0);
// no light-time, aberration or refraction correction is applied.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "base/sky.h"
#include "satdb/tle_record.h"

// One predicted sample of a trajectory.
struct TrajectoryPoint {
  TemeDirection sky;    // topocentric direction in the propagator's frame of date (radians)
  double time = 0.0;    // sample time, MJD (UT)
  float phase = 0.0f;   // angle at the satellite between observer and Sun, degrees (above the horizon only)
  double range = -1.0;  // observer - satellite distance, km; -1 when below the horizon
  int16_t sunlit = 0;   // -1 when sunlit, 0 in the Earth's shadow (above the horizon only)
};

// Observer position (km) in the equatorial frame for geodetic latitude latitudeRad and local sidereal
// time siderealRad, on the ellipsoid of equatorial radius 6378.155 km and flattening 1/298.26.
std::array<double, 3> SiteVector(double latitudeRad, double siderealRad);

// -1 when a satellite at satelliteKm sees the Sun at sunKm (both geocentric, km), 0 when the line from the
// satellite towards the Sun passes within 6378.135 km of the Earth's centre on the Sun's side.
int16_t SunlitTest(const std::array<double, 3>& satelliteKm, const std::array<double, 3>& sunKm);

// Visual magnitude of a satellite of standard magnitude standardMagnitude (at 1000 km, half lit; 99 when
// unknown) at rangeKm and phase angle phaseDeg: m0 - 15.75 + 2.5 log10(range^2 / fraction) with the lit
// fraction (1 + cos phase) / 2. None when the standard magnitude is unknown, the fraction is 0 or the
// range is not positive.
std::optional<double> MagnitudeEstimate(double standardMagnitude, double rangeKm, double phaseDeg);

// Topocentric directions (TEME of date, radians) of a satellite at the sample times timesMjd (UT) seen
// from geodetic latitude latitudeRad and east longitude longitudeRad. Sidereal time is evaluated once,
// at the first sample, and carried to the others with the Earth's rotation rate. directions is resized
// to the number of samples. Returns false on the first sample whose arithmetic fails; the samples before it
// are kept.
bool SkyTrack(const TleRecord& tle, std::span<const double> timesMjd, double latitudeRad, double longitudeRad,
              std::vector<TemeDirection>& directions);

// Fills every field but time of each point as SkyTrack does, and for points above the horizon the
// range, phase angle and sunlit flag; points below it get range -1, phase 0 and sunlit 0. Returns false
// on the first sample whose arithmetic fails; the points before it are kept.
bool TrajectoryTrack(const TleRecord& tle, std::vector<TrajectoryPoint>& points, double latitudeRad,
                     double longitudeRad);
