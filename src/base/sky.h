#pragma once
// Directions on the sky that carry their reference frame in their type.
//
// Orvia meets three equatorial frames: the catalogue, the plate solution, the measured track ends
// and the IOD report use the mean equator and equinox of J2000.0; the SGP4 propagator delivers
// directions in its true-equator, mean-equinox frame of the element set's date (TEME); the Moon and
// Sun theory gives the mean equator and equinox of date. A direction of one frame cannot be compared
// with or assigned to one of another without an explicit conversion. Angles are radians; right
// ascension 0..2*pi, declination -pi/2..pi/2. Numeric kernels keep plain doubles inside.

#include <cmath>

enum class SkyFrame { J2000, Teme, MeanOfDate };

template <SkyFrame Frame>
struct SkyDirection {
  double raRad = 0.0;   // right ascension, radians
  double decRad = 0.0;  // declination, radians
};

using J2000Direction = SkyDirection<SkyFrame::J2000>;
using TemeDirection = SkyDirection<SkyFrame::Teme>;
using MeanOfDateDirection = SkyDirection<SkyFrame::MeanOfDate>;

// A unit vector in the same frame as the direction it came from.
template <SkyFrame Frame>
struct SkyVector {
  double x = 0.0, y = 0.0, z = 0.0;
};

// Unit vector of a direction (x towards the equinox, z towards the pole).
template <SkyFrame Frame>
SkyVector<Frame> ToVector(const SkyDirection<Frame>& d) {
  const double c = std::cos(d.decRad);
  return {c * std::cos(d.raRad), c * std::sin(d.raRad), std::sin(d.decRad)};
}

// Direction of any non-zero vector; right ascension brought into 0..2*pi.
template <SkyFrame Frame>
SkyDirection<Frame> ToDirection(const SkyVector<Frame>& v) {
  const double twoPi = 6.283185307179586;
  double ra = std::atan2(v.y, v.x);
  if (ra < 0.0) ra += twoPi;
  return {ra, std::atan2(v.z, std::hypot(v.x, v.y))};
}

// Angle between two directions of the same frame, radians 0..pi (atan2 of cross and dot products,
// accurate at all separations).
template <SkyFrame Frame>
double Separation(const SkyDirection<Frame>& a, const SkyDirection<Frame>& b) {
  const SkyVector<Frame> u = ToVector(a), v = ToVector(b);
  const double cx = u.y * v.z - u.z * v.y, cy = u.z * v.x - u.x * v.z, cz = u.x * v.y - u.y * v.x;
  return std::atan2(std::sqrt(cx * cx + cy * cy + cz * cz), u.x * v.x + u.y * v.y + u.z * v.z);
}
