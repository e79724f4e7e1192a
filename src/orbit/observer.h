#pragma once
// What the observer at the frame's site sees of a satellite: topocentric right ascension and declination
// of propagated positions, and for trajectories the range, the solar phase angle, whether the satellite
// is sunlit and an estimate of its visual magnitude. The site lies on the WGS-84 ellipsoid, the
// propagator's own Earth model (GeodeticToGeocentric; height 0 unless given); no light-time, aberration
// or refraction correction is applied.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "satdb/tle_record.h"
#include "sky/direction.h"
#include "sky/frames.h"
#include "sky/vec3.h"

// One predicted sample of a trajectory.
struct TrajectoryPoint {
  TemeDirection sky;    // topocentric direction in the propagator's frame of date (radians)
  double time = 0.0;    // sample time, MJD (UT)
  float phase = 0.0f;   // angle at the satellite between observer and Sun, degrees (above the horizon only)
  double range = -1.0;  // observer - satellite distance, km; -1 when below the horizon
  int16_t sunlit = 0;   // -1 when sunlit, 0 in the Earth's shadow (above the horizon only)
};

// Whether a satellite is sunlit: -1 when the satellite at satelliteKm sees the Sun at sunKm (both
// geocentric equatorial, km), 0 when the line from the satellite towards the Sun passes within 6378.135 km
// of the Earth's centre on the Sun's side. Method: line-of-sight test of a point Sun against a spherical
// Earth through the point of the line nearest the Earth's centre (Vallado, "Fundamentals of
// Astrodynamics and Applications", section 5.3, line of sight).
int16_t SunlitTest(const Vec3& satelliteKm, const Vec3& sunKm);

// Visual magnitude of a satellite of standard magnitude standardMagnitude (at 1000 km range, half lit;
// 99 when unknown) at rangeKm (km) and phase angle phaseDeg (degrees, at the satellite between observer
// and Sun). Method: inverse-square law of range and the lit fraction (1 + cos phase) / 2 of the
// satellite observers' standard-magnitude convention, m0 - 15.75 + 2.5 log10(range^2 / fraction)
// (15.75 = 2.5 log10(1000^2 * 2)). None when the standard magnitude is unknown, the fraction is 0 or the
// range is not positive.
std::optional<double> MagnitudeEstimate(double standardMagnitude, double rangeKm, double phaseDeg);

// Topocentric directions (right ascension 0..2 pi and declination, TEME of date, radians) of a satellite
// at the sample times timesMjd (MJD, UT) seen from geodetic latitude latitudeRad and east longitude
// longitudeRad (radians) at heightKm (km above the WGS-84 ellipsoid, default 0). Method: the element set
// is initialised once (Sgp4Initialise) and evaluated at every sample (Sgp4Evaluate); the site vector
// (GeodeticToGeocentric) is subtracted and the
// direction taken by full-circle arc tangents; no light-time, aberration or refraction. Sidereal time is
// the IAU 1982 Greenwich mean sidereal time at the first sample plus the longitude, carried to the
// others at 6.30038736 rad per day (Astronomical Almanac, section B). directions is resized to the number
// of samples. Returns false when the element set is refused or on the first sample whose propagation or
// arithmetic fails; the samples before it are kept.
bool SkyTrack(const TleRecord& tle, std::span<const double> timesMjd, double latitudeRad, double longitudeRad,
              std::vector<TemeDirection>& directions, double heightKm = 0.0);

// What every satellite seen from one site at the same sample times shares, computed once: per sample
// the local sidereal time, the site vector and the rotation TEME of date -> J2000 (TemeToJ2000Matrix).
// Sidereal time and site as SkyTrack takes them.
struct ObserverSamples {
  std::vector<double> timesMjd;  // MJD (UT)
  std::vector<double> siderealRad;
  std::vector<Vec3> siteKm;
  std::vector<Rotation3> temeToJ2000;
};

// The samples of the site at geodetic latitude latitudeRad and east longitude longitudeRad (radians),
// heightKm (km) at the times timesMjd (MJD, UT). Empty times or a site or first time that is not finite
// give no samples.
ObserverSamples ObserveFrom(std::span<const double> timesMjd, double latitudeRad, double longitudeRad,
                            double heightKm = 0.0);

// The J2000 directions of a satellite at the samples: SkyTrack's TEME directions each rotated by its
// sample's rotation, the same figures as SkyTrack followed by TemeToJ2000 for every sample. path is
// resized to the number of samples; false as SkyTrack (the samples before a failed one are kept), and
// when there are no samples.
bool SkyPath(const TleRecord& tle, const ObserverSamples& samples, std::vector<J2000Direction>& path);

// Fills every field but time (MJD, UT) of each point: the topocentric direction as SkyTrack computes it,
// and for points at or above the horizon (altitude from the spherical law of cosines with the hour
// angle) the range (km), the phase angle (degrees) towards the Sun of SunPosition, and the sunlit flag
// (SunlitTest); points below it get range -1, phase 0 and sunlit 0. Site at geodetic latitude latitudeRad
// and east longitude longitudeRad (radians), heightKm (km, default 0); the element set is initialised
// once per call.
// Returns false when the element set is refused or on the first sample whose propagation or arithmetic
// fails; the points before it are kept.
bool TrajectoryTrack(const TleRecord& tle, std::vector<TrajectoryPoint>& points, double latitudeRad,
                     double longitudeRad, double heightKm = 0.0);
