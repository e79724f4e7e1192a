#pragma once
// Near-Earth SGP4 orbit propagation (Hoots and Roehrich, Spacetrack Report No. 3, 1980) from the mean
// elements of a two-line element set. Every element set, whatever its period, goes through the
// near-Earth equations; there is no deep-space branch.

#include <array>

#include "satdb/tle_record.h"

// Earth model and Kepler-solver settings of the propagator, kept together so that the same code can
// run with other constant sets (the report's own WGS-72 values, for instance).
struct Sgp4Constants {
  double xkmper = 0.0;           // Earth equatorial radius, km (the model's distance unit)
  double xke = 0.0;              // sqrt(GM) in Earth radii^1.5 per minute
  double ck2 = 0.0;              // J2 / 2
  double j3 = 0.0;               // third zonal harmonic (negative for the Earth)
  double ck4 = 0.0;              // -3/8 J4
  int keplerMaxIterations = 0;   // most iterations of the Kepler solver
  double keplerTolerance = 0.0;  // the solver stops once a correction is no larger than this, rad
};

// Mean elements of one element set in the units the propagator takes.
struct Sgp4Elements {
  double meanMotionRevPerDay = 0.0;  // n0, revolutions per day
  double eccentricity = 0.0;         // e0
  double inclinationRad = 0.0;       // i0
  double bstar = 0.0;                // B*, 1/Earth radii
  double argPerigeeRad = 0.0;        // omega0
  double meanAnomalyRad = 0.0;       // M0
  double raanRad = 0.0;              // right ascension of the ascending node, Omega0
};

// Position and velocity in the model's Earth-centred inertial frame (true equator, mean equinox).
struct Sgp4State {
  std::array<double, 3> positionKm{};
  std::array<double, 3> velocityKmS{};
};

// The time-independent terms of the model for one element set and one constant set.
struct Sgp4Model {
  Sgp4Constants constants;
  Sgp4Elements elements;
  double xnodp = 0.0, aodp = 0.0;  // recovered mean motion (rad/min) and semi-major axis (Earth radii)
  double cosio = 0.0, sinio = 0.0, x3thm1 = 0.0, x1mth2 = 0.0, x7thm1 = 0.0;
  double eta = 0.0, c1 = 0.0, c4 = 0.0, c5 = 0.0;
  double xmdot = 0.0, omgdot = 0.0, xnodot = 0.0;
  double omgcof = 0.0, xmcof = 0.0, xnodcf = 0.0, t2cof = 0.0;
  double xlcof = 0.0, aycof = 0.0, delmo = 0.0, sinmo = 0.0;
  double d2 = 0.0, d3 = 0.0, d4 = 0.0, t3cof = 0.0, t4cof = 0.0, t5cof = 0.0;
};

// The WGS-84 constant set Orvia propagates with: radius 6378.137 km, GM 398600.5 km^3/s^2,
// J2, J3, J4 of WGS-84, Kepler's equation iterated up to 100 times to 1e-8 rad.
Sgp4Constants Wgs84Constants();

// Converts a database element set (degrees, rev/day) into propagator elements (radians, rev/day).
Sgp4Elements ElementsFromTle(const TleRecord& tle);

// Initialises the model for an element set: recovers the original mean motion and semi-major axis and
// computes the secular, drag (always the full set, D2 to D4) and long-period coefficients.
// Returns false when the arithmetic fails (eccentricity 0 or not below 1, mean motion 0 or negative,
// a non-finite term); model is then not usable.
bool Sgp4Initialise(const Sgp4Elements& elements, const Sgp4Constants& constants, Sgp4Model& model);

// Evaluates an initialised model tsinceMin minutes after the epoch: secular gravity and drag update,
// long-period periodics, Kepler's equation by Newton-Raphson iteration, short-period periodics.
// Position in km, velocity in km/s. Returns false, leaving state unchanged, when the arithmetic fails
// or any result is not finite.
bool Sgp4Evaluate(const Sgp4Model& model, double tsinceMin, Sgp4State& state);

// Propagates an element set to tsinceMin minutes after its epoch with the given constants: the two
// steps above in one pure call. Returns false on an arithmetic failure; state is then unchanged.
bool Propagate(const Sgp4Elements& elements, double tsinceMin, const Sgp4Constants& constants, Sgp4State& state);

// The same with the WGS-84 constant set.
bool Propagate(const Sgp4Elements& elements, double tsinceMin, Sgp4State& state);
