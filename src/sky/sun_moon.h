#pragma once
// Positions of the Moon and the Sun of low precision (about a hundredth of a degree), the Moon's
// illuminated fraction, and both bodies as an observer on the Earth's surface sees them.
// Vectors are geocentric equatorial rectangular coordinates in km, x towards the equinox, z towards the
// north pole, referred to the mean equator and equinox of date.
//
// Time: the theories take Terrestrial Time; the frame gives Universal Time, and DeltaTSeconds bridges
// the two (the Moon moves 0.01 deg in the 69 s of 2026).

#include "sky/direction.h"
#include "sky/site.h"
#include "sky/vec3.h"

// A body seen from a site on or above the WGS-84 ellipsoid: its topocentric place, without
// aberration, in the frame of the star catalogue and in the mean frame of date, and its geometric
// altitude (no refraction).
struct TopocentricPlace {
  J2000Direction j2000;        // mean equator and equinox of J2000.0
  MeanOfDateDirection ofDate;  // mean equator and equinox of date
  Horizontal horizon;          // azimuth from the south, geometric altitude, degrees
};

// TT - UT in seconds at an MJD (UT): the observed values at five-year steps from 1950, linearly
// interpolated; before 1950 the polynomial fits of Espenak and Meeus (Morrison and Stephenson's
// parabola before 1900). After 2025 the last value is kept: the Earth's rotation has hardly slowed
// since 2017, and what it will do is not predictable (the usual extrapolating polynomials already give
// 75 s for 2026, 6 s too much); a minute's error in 2100 moves the Moon by 0.01 deg.
double DeltaTSeconds(double mjdUt);

// Geocentric Moon vector (km, mean equator and equinox of date) at an MJD (TT), by the low-precision lunar theory
// referred to the epoch 1900 January 0.5 (mean arguments with their additive corrections, longitude terms down to
// 0.0005 deg, latitude terms down to 0.001 deg, the full parallax series; distance from the parallax).
// Source: J. Meeus, Astronomical Formulae for Calculators (4th ed. 1988), "Position of the Moon".
Vec3 MoonPosition(double mjd);

// Geocentric Sun vector (km, mean equator and equinox of date) at an MJD (TT; in UT the Sun
// is late by 0.001 deg, well inside the theory's 0.01 deg): mean anomaly and longitude with the equation of centre,
// at the fixed distance 149597892.1111 km, rotated to the equator by the obliquity 23.439281 deg.
// Source: the same handbook, "Solar coordinates" (low accuracy).
Vec3 SunPosition(double mjd);

// Illuminated fraction of the Moon (0 to 1) from the geocentric Moon and Sun vectors: (1 + cos i) / 2
// with i the angle at the Moon between the Earth and the Sun. Source: the same handbook, "Illuminated
// fraction of the Moon's disk".
double IlluminatedFraction(const Vec3& moon, const Vec3& sun);

// The Moon seen from a site at an MJD (UT) at east longitude longitudeRad and geodetic latitude
// latitudeRad (radians), heightKm (km above the WGS-84 ellipsoid, default 0; 3 km move the Moon by up to
// 1.6"): the lunar theory at TT = UT + DeltaTSeconds, less the site's geocentric vector
// (GeodeticToGeocentric: WGS-84 at the site's height, turned by the mean sidereal time), precessed to J2000
// (IAU 1976). The altitude is geometric, without refraction, from the topocentric place of date;
// nutation is left out of it (below 0.005 deg).
TopocentricPlace MoonTopocentric(double mjdUt, double longitudeRad, double latitudeRad, double heightKm = 0.0);

// The Sun seen from a site at an MJD (UT), computed as MoonTopocentric; the altitude is geometric.
TopocentricPlace SunTopocentric(double mjdUt, double longitudeRad, double latitudeRad, double heightKm = 0.0);
