#pragma once
// Directions on the sky that carry their reference frame in their type.
//
// Orvia meets three equatorial frames: the catalogue, the plate solution, the measured track ends
// and the IOD report use the mean equator and equinox of J2000.0; the SGP4 propagator delivers
// directions in its true-equator, mean-equinox frame of the element set's date (TEME); the Moon and
// Sun theory gives the mean equator and equinox of date. A direction of one frame cannot be compared
// with or assigned to one of another without an explicit conversion. Angles are radians; right
// ascension 0..2*pi, declination -pi/2..pi/2. Numeric kernels keep plain doubles inside.

#include <array>
#include <cmath>

#include "sky/angles.h"
#include "sky/vec3.h"

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

// Scalar product of two vectors of the same frame (Dot of the kernel's 3-vectors).
template <SkyFrame Frame>
double Dot(const SkyVector<Frame>& a, const SkyVector<Frame>& b) {
  return Dot(Vec3{a.x, a.y, a.z}, Vec3{b.x, b.y, b.z});
}

// Vector product a x b of two vectors of the same frame, in that frame.
template <SkyFrame Frame>
SkyVector<Frame> Cross(const SkyVector<Frame>& a, const SkyVector<Frame>& b) {
  const Vec3 c = Cross(Vec3{a.x, a.y, a.z}, Vec3{b.x, b.y, b.z});
  return {c[0], c[1], c[2]};
}

// Unit vector of a direction (x towards the equinox, z towards the pole).
template <SkyFrame Frame>
SkyVector<Frame> ToVector(const SkyDirection<Frame>& d) {
  const double c = std::cos(d.decRad);
  return {c * std::cos(d.raRad), c * std::sin(d.raRad), std::sin(d.decRad)};
}

// Right ascension (0 to below 2*pi) and declination of any non-zero rectangular vector (x towards the
// equinox, z towards the pole), radians, by full-circle arc tangents.
template <SkyFrame Frame>
SkyDirection<Frame> DirectionOf(const std::array<double, 3>& v) {
  double ra = ArcTan2(v[1], v[0]);
  if (ra < 0.0) ra += 2.0 * Pi;
  return {ra, ArcTan2(v[2], std::sqrt(v[0] * v[0] + v[1] * v[1]))};
}

// Direction of any non-zero vector; right ascension brought into 0..2*pi.
template <SkyFrame Frame>
SkyDirection<Frame> ToDirection(const SkyVector<Frame>& v) {
  return DirectionOf<Frame>(std::array<double, 3>{v.x, v.y, v.z});
}

// Angle between two directions of the same frame, radians 0..pi (AngularSeparation).
template <SkyFrame Frame>
double Separation(const SkyDirection<Frame>& a, const SkyDirection<Frame>& b) {
  return AngularSeparation(a.raRad, a.decRad, b.raRad, b.decRad);
}
