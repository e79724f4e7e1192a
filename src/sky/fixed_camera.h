#pragma once
// The view of a camera that stood still on its tripod during the exposure. The Earth turns it with the
// site, so each pixel keeps its hour angle and declination, not its right ascension. Its stars are short
// trails whose middles give the plate solution, so the plate describes the sky at the middle of the
// exposure; at any other instant a pixel looks at the plate's direction turned about the celestial pole
// of date through the sidereal angle elapsed since then (15.041" per second of UT, eastwards in right
// ascension as time goes on).
//
// Method: the direction is referred to the TEME frame of the date (the true equator, whose pole the
// Earth turns about), its right ascension is shifted by the angle, and it is referred back to J2000
// (TemeToJ2000 and J2000ToTeme of sky/frames.h at the instant asked for; the frame of date moves by less
// than 0.0001" over an exposure). The angle is the sidereal rate times the UT interval, 6.30038736 rad per
// day (Astronomical Almanac, section B). A mount that followed the sky keeps every direction unchanged.

#include "sky/direction.h"

// Sidereal angle the sky turns through from fromMjd to toMjd (MJD, UT), radians; negative backwards.
double SiderealTurn(double fromMjd, double toMjd);

// How a frame's pixels look at the sky during its exposure.
struct CameraView {
  bool fixed = false;     // the camera stood still; false for a mount that followed the sky
  double plateMjd = 0.0;  // the instant the plate solution describes: the middle of the exposure, MJD (UT)

  // The J2000 direction a pixel looks at at mjd, given the direction the plate gives it.
  J2000Direction SkyAt(const J2000Direction& plate, double mjd) const;
  // The inverse: the plate's direction of the pixel that looks at sky at mjd.
  J2000Direction PlateOf(const J2000Direction& sky, double mjd) const;
  // The plate's direction of the pixel that looks at a TEME direction of the date mjd at that instant
  // (for a followed sky simply TemeToJ2000 of it).
  J2000Direction PlateOf(const TemeDirection& seen, double mjd) const;
};
