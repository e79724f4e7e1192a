#pragma once
// Angles: the program's value of pi, degree/radian conversion, the clamped arc cosine, the full-circle
// arc tangent, reduction into one turn, and the angular separation of two directions.

// The value of pi every angle conversion in Orvia uses (fifteen significant digits). It is the only
// definition of pi in the program.
constexpr double Pi = 3.14159265358979;

// One arcsecond in radians.
constexpr double ArcsecToRad = Pi / (180.0 * 3600.0);

// Degrees to radians with Pi.
double DegToRad(double degrees);
// Radians to degrees with Pi.
double RadToDeg(double radians);
// Arc cosine in radians (0..pi) of any x; x is clamped into -1..1 first.
double ArcCos(double x);
// Angle of the vector (x, y) in radians, -pi..pi; y first as in atan2.
double ArcTan2(double y, double x);
// The same angle in degrees brought into 0 to below 360; NaN for an infinite or NaN angle.
double Normalize360(double degrees);
// The same angle in radians brought into 0 to below 2*Pi; NaN for an infinite or NaN angle.
double NormalizeTwoPi(double radians);

// Angular separation of two directions given by right ascension and declination (or longitude and
// latitude), all radians; result 0..pi. Method: the Vincenty form of the great-circle distance,
// atan2(sqrt((cos d2 sin da)^2 + (cos d1 sin d2 - sin d1 cos d2 cos da)^2),
//       sin d1 sin d2 + cos d1 cos d2 cos da),
// accurate at every separation, small or near pi (T. Vincenty, Survey Review 23, 88 (1975); the form of
// the IAU SOFA routine for the separation of two directions).
double AngularSeparation(double ra1, double dec1, double ra2, double dec2);
