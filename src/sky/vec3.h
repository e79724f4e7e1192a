#pragma once
// Three-vectors of doubles (km, or unitless for directions) and the few operations the astronomy code
// needs on them.

#include <array>
#include <cmath>

using Vec3 = std::array<double, 3>;

// Scalar product.
inline double Dot(const Vec3& a, const Vec3& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
// Vector product a x b.
inline Vec3 Cross(const Vec3& a, const Vec3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
// Euclidean length.
inline double Length(const Vec3& a) {
  return std::sqrt(Dot(a, a));
}
// Difference a - b.
inline Vec3 Minus(const Vec3& a, const Vec3& b) {
  return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
// Sum a + b.
inline Vec3 Plus(const Vec3& a, const Vec3& b) {
  return {a[0] + b[0], a[1] + b[1], a[2] + b[2]};
}
// Multiple s a.
inline Vec3 Scaled(const Vec3& a, double s) {
  return {s * a[0], s * a[1], s * a[2]};
}
