#pragma once
// SGP4 orbit propagation from the mean elements of a two-line element set: the near-Earth equations of
// Hoots and Roehrich (Spacetrack Report No. 3, 1980) for periods below 225 minutes, and for longer
// periods the deep-space equations (lunar-solar perturbations and resonances) of their revision by
// Vallado, Crawford, Hujsak and Kelso ("Revisiting Spacetrack Report #3", AIAA 2006-6753). Positions and
// velocities are in the model's Earth-centred inertial frame (TEME: true equator, mean equinox of date).

#include <array>

#include "orbit/sgp4_deep.h"
#include "satdb/tle_record.h"

// Earth model and Kepler-solver settings of the propagator, kept together so that the same code can
// run with other constant sets (the report's own WGS-72 values, for instance).
struct Sgp4Constants {
  double xkmper = 0.0;           // Earth equatorial radius, km (the model's distance unit)
  double xke = 0.0;              // sqrt(GM) in Earth radii^1.5 per minute
  double ck2 = 0.0;              // J2 / 2
  double j3 = 0.0;               // third zonal harmonic (negative for the Earth)
  double ck4 = 0.0;              // -3/8 J4
  int keplerMaxIterations = 0;   // most iterations of the Kepler solver (near-Earth sets; deep-space sets
                                 // use the revised equations' 10 iterations to 1e-12 rad)
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
  double epochMjd = 0.0;             // epoch, MJD (UT); places the Moon and the Sun for deep-space sets
};

// Why a propagation failed. The values 1 to 6 are those of the revised equations (the reference's error
// codes), so that results can be compared with it sample by sample.
enum class Sgp4Error {
  None = 0,
  MeanEccentricity = 1,       // mean eccentricity at or above 1, or below -0.001 after drag
  MeanMotion = 2,             // mean motion zero or negative
  PerturbedEccentricity = 3,  // eccentricity outside 0..1 after the lunar-solar periodics (deep space)
  SemiLatusRectum = 4,        // semi-latus rectum negative
  // 5 (epoch elements sub-orbital) is no longer raised by the revised equations, nor here.
  Decayed = 6,    // radius below one Earth radius: the satellite has decayed
  NonFinite = 7,  // an input or a result not finite (no counterpart in the reference)
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
  bool deepSpace = false;          // period 225 min or more: lunar-solar terms and the simplified drag terms
  double xnodp = 0.0, aodp = 0.0;  // recovered mean motion (rad/min) and semi-major axis (Earth radii)
  double cosio = 0.0, sinio = 0.0, x3thm1 = 0.0, x1mth2 = 0.0, x7thm1 = 0.0;
  double eta = 0.0, c1 = 0.0, c4 = 0.0, c5 = 0.0;
  double xmdot = 0.0, omgdot = 0.0, xnodot = 0.0;
  double omgcof = 0.0, xmcof = 0.0, xnodcf = 0.0, t2cof = 0.0;
  double xlcof = 0.0, aycof = 0.0, delmo = 0.0, sinmo = 0.0;
  double d2 = 0.0, d3 = 0.0, d4 = 0.0, t3cof = 0.0, t4cof = 0.0, t5cof = 0.0;
  DeepSpaceEpoch deepEpoch;  // deep-space sets only
  DeepSpaceModel deep;
};

// The WGS-84 constant set Orvia propagates with: radius 6378.137 km, GM 398600.5 km^3/s^2, J2, J3 and J4
// of WGS-84 (J2 0.00108262998905, J3 -2.53215306e-6, J4 -1.61098761e-6); Kepler's equation iterated up
// to 100 times to 1e-8 rad. Source: NIMA TR8350.2 for the Earth model.
Sgp4Constants Wgs84Constants();

// Converts a database element set (degrees, rev/day, epoch MJD) into propagator elements (radians,
// rev/day, epoch MJD). No validation: Sgp4Initialise judges the values.
Sgp4Elements ElementsFromTle(const TleRecord& tle);

// Initialises the model of an element set with a constant set: recovers the original (un-Kozai'd) mean
// motion and semi-major axis, and computes the secular gravity rates and the drag and long-period
// coefficients (Spacetrack Report No. 3, "SGP4 model" and its listing); near-Earth sets always get the
// full drag terms D2 to D4, deep-space sets (period 225 min or more) the simplified ones and the
// lunar-solar and resonance terms (Vallado et al. 2006, dscom and dsinit). Returns Sgp4Error::None, or
// MeanEccentricity (e0 not in 0..1), MeanMotion (n0 not positive) or NonFinite; model is then not usable.
Sgp4Error Sgp4Initialise(const Sgp4Elements& elements, const Sgp4Constants& constants, Sgp4Model& model);

// Evaluates an initialised model tsinceMin minutes after its epoch: secular gravity and drag update (with
// the deep-space secular and resonance terms), lunar-solar periodics for deep-space sets, long-period
// periodics, Kepler's equation by Newton-Raphson iteration, short-period periodics (Spacetrack Report
// No. 3, "SGP4 model"; Vallado et al. 2006 for deep space and the guards). Position in km, velocity in
// km/s, TEME of the epoch's theory. Returns Sgp4Error::None, or the failure (see Sgp4Error) leaving state
// unchanged.
Sgp4Error Sgp4Evaluate(const Sgp4Model& model, double tsinceMin, Sgp4State& state);

// The same for a series of evaluations of one model: the resonance integration of a 12-hour or 24-hour
// deep-space set continues from where the previous evaluation with this integrator stopped (Vallado et
// al. 2006, dspace), which saves its steps from the epoch at nearby times; the results are identical.
// integrator starts default-constructed and belongs to this model only.
Sgp4Error Sgp4Evaluate(const Sgp4Model& model, double tsinceMin, Sgp4State& state, DeepSpaceIntegrator& integrator);

// Propagates an element set to tsinceMin minutes after its epoch with the given constants: the two steps
// above in one pure call (initialise, then evaluate). On failure state is unchanged.
Sgp4Error Propagate(const Sgp4Elements& elements, double tsinceMin, const Sgp4Constants& constants, Sgp4State& state);

// The same with the WGS-84 constant set.
Sgp4Error Propagate(const Sgp4Elements& elements, double tsinceMin, Sgp4State& state);
