#pragma once
// The observer on the rotating Earth: Greenwich mean sidereal time, the geocentric vector of a site
// on the WGS-84 ellipsoid, and azimuth and altitude of a direction seen from the site.

#include "sky/direction.h"
#include "sky/vec3.h"

// Equatorial radius (km) and flattening of the WGS-84 ellipsoid, the Earth model of the site and of the
// propagator.
constexpr double kWgs84EquatorialRadiusKm = 6378.137;
constexpr double kWgs84Flattening = 1.0 / 298.257223563;

// Azimuth (from the south, positive towards the west) and altitude, degrees.
struct Horizontal {
  double azimuthDeg = 0.0;   // 0 to below 360
  double altitudeDeg = 0.0;  // -90 to 90
};

// Greenwich mean sidereal time at an MJD (UT, used as UT1), radians 0 to below 2*Pi; no longitude is
// added (local sidereal time = this + east longitude, not reduced).
// Method: the IAU 1982 expression for mean sidereal time at 0h UT with the linear coefficient
// 8640184.812 s, plus 1.0027379093508 sidereal seconds per UT second since 0h.
// Reference: S. Aoki et al., "The new definition of universal time", Astron. Astrophys. 105, 359 (1982);
// J. Meeus, Astronomical Algorithms (2nd ed. 1998), ch. 12, eq. 12.3.
double GreenwichSiderealTime(double mjd);

// Geocentric rectangular vector (km) of a site in the equatorial frame whose x axis points to the
// equinox at hour angle siderealRad from the site's meridian (that is, local sidereal time, radians),
// z towards the north pole. latitudeRad: geodetic latitude (radians); heightKm: height above the
// ellipsoid (km, default 0).
// Method: geodetic to geocentric coordinates on the WGS-84 ellipsoid (a = 6378.137 km,
// f = 1/298.257223563): C = 1 / sqrt(cos^2 phi + (1 - f)^2 sin^2 phi), S = (1 - f)^2 C,
// x = (a C + h) cos phi cos theta, y = (a C + h) cos phi sin theta, z = (a S + h) sin phi.
// Reference: Astronomical Almanac, section K, "Geodetic and geocentric coordinates"; the same
// expressions as the IAU SOFA routine for geodetic to geocentric conversion (gd2gce).
Vec3 GeodeticToGeocentric(double latitudeRad, double siderealRad, double heightKm = 0.0);

// Azimuth and altitude (degrees) of a place of hour angle hourAngleRad and declination decRad (radians),
// seen from geodetic latitude latitudeRad (radians); azimuth from the south, positive towards the west;
// geometric altitude (no refraction).
// Method: the astronomical triangle pole-zenith-body (J. Meeus, Astronomical Algorithms, ch. 13,
// eqs. 13.5-13.6).
Horizontal HorizontalCoordinates(double hourAngleRad, double decRad, double latitudeRad);

// The equatorial place (radians) a camera points at when it looks at altitude altitudeDeg and azimuth
// azimuthDeg (degrees, azimuth from the north through the east, as a compass reads) from geodetic latitude
// latitudeRad at local mean sidereal time siderealRad (radians). The hour angle is counted from the mean
// sidereal time, so the right ascension is referred to the mean equinox on the true equator of date: the
// propagator's TEME frame (TemeToJ2000 takes it to the catalogue's frame). Geometric: the altitude is
// taken as the true one, refraction (at most 0.6 deg at the horizon, 1' at 45 deg) is left out, and so
// is the local vertical's deflection from the ellipsoid's normal.
// Method: the astronomical triangle pole-zenith-place (J. Meeus, Astronomical Algorithms, ch. 13, the
// inverse of eqs. 13.5-13.6): sin d = sin phi sin h + cos phi cos h cos A,
// H = atan2(-sin A cos h, cos phi sin h - sin phi cos h cos A), right ascension = sidereal time - H.
TemeDirection PointingDirection(double altitudeDeg, double azimuthDeg, double latitudeRad, double siderealRad);
