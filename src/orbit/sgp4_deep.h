#pragma once
// Deep-space part of the propagator (SDP4) for element sets whose period is 225 minutes or more: the
// secular and long-period perturbations by the Moon and the Sun, and the resonances of 12-hour and
// 24-hour orbits with the Earth's tesseral harmonics, integrated numerically. A port of the revised
// equations of Vallado, Crawford, Hujsak and Kelso, "Revisiting Spacetrack Report #3" (AIAA 2006-6753),
// routines dscom, dpper, dsinit and dspace; the entries below say which routine each function ports.
// Angles in radians, times in minutes, mean motions in rad/min.

// Lunar-solar periodic coefficients (one set for the Sun, one for the Moon) and the mean anomalies of the
// Sun and the Moon at the epoch: what dpper evaluates at each time.
struct DeepSpacePeriodicTerms {
  double se2 = 0.0, se3 = 0.0, si2 = 0.0, si3 = 0.0, sl2 = 0.0, sl3 = 0.0, sl4 = 0.0;  // Sun
  double sgh2 = 0.0, sgh3 = 0.0, sgh4 = 0.0, sh2 = 0.0, sh3 = 0.0;
  double ee2 = 0.0, e3 = 0.0, xi2 = 0.0, xi3 = 0.0, xl2 = 0.0, xl3 = 0.0, xl4 = 0.0;  // Moon
  double xgh2 = 0.0, xgh3 = 0.0, xgh4 = 0.0, xh2 = 0.0, xh3 = 0.0;
  double zmos = 0.0, zmol = 0.0;  // mean anomalies of the Sun and the Moon at the epoch, rad
};

// Which geopotential resonance an orbit is in.
enum class DeepSpaceResonance {
  None = 0,
  Synchronous = 1,  // 24-hour orbits (mean motion 0.8 to 1.2 rev/day)
  HalfDay = 2,      // 12-hour orbits of eccentricity 0.5 or more (mean motion 1.89 to 2.12 rev/day)
};

// Secular rates by the Moon and the Sun and the resonance coefficients: what dspace evaluates.
struct DeepSpaceSecularTerms {
  double dedt = 0.0, didt = 0.0, dmdt = 0.0, dnodt = 0.0, domdt = 0.0;  // per minute
  DeepSpaceResonance resonance = DeepSpaceResonance::None;
  double d2201 = 0.0, d2211 = 0.0, d3210 = 0.0, d3222 = 0.0, d4410 = 0.0;  // 12-hour resonance
  double d4422 = 0.0, d5220 = 0.0, d5232 = 0.0, d5421 = 0.0, d5433 = 0.0;
  double del1 = 0.0, del2 = 0.0, del3 = 0.0;  // 24-hour resonance
  double xfact = 0.0;                         // rate of the resonant longitude beyond the mean motion
  double xlamo = 0.0;                         // resonant longitude at the epoch, rad
  double gsto = 0.0;                          // Greenwich sidereal time at the epoch, rad
};

// The time-independent deep-space terms of one element set.
struct DeepSpaceModel {
  DeepSpacePeriodicTerms periodic;
  DeepSpaceSecularTerms secular;
};

// Epoch quantities of the near-Earth initialisation the deep-space initialisation builds on.
struct DeepSpaceEpoch {
  double epochDays1950 = 0.0;                             // epoch, days since 1949 December 31, 0 h UT
  double eccentricity = 0.0;                              // e0
  double inclination = 0.0;                               // i0, rad
  double argPerigee = 0.0;                                // omega0, rad
  double node = 0.0;                                      // Omega0, rad
  double meanAnomaly = 0.0;                               // M0, rad
  double meanMotion = 0.0;                                // recovered (un-Kozai'd) mean motion, rad/min
  double xke = 0.0;                                       // sqrt(GM), Earth radii^1.5 per minute
  double mdot = 0.0, argPerigeeDot = 0.0, nodeDot = 0.0;  // secular gravity rates, rad/min
};

// Mean elements at one time, updated in place by the deep-space secular and periodic terms.
struct DeepSpaceElements {
  double eccentricity = 0.0;
  double inclination = 0.0;  // rad
  double argPerigee = 0.0;   // rad
  double node = 0.0;         // rad
  double meanAnomaly = 0.0;  // rad
  double meanMotion = 0.0;   // rad/min
};

// Greenwich mean sidereal time (rad, 0 to 2 pi) at a Julian date (UT1), IAU 1982 expression in one
// polynomial of Julian centuries as the deep-space theory evaluates it (Vallado et al. 2006, gstime).
double DeepSpaceSiderealTime(double julianDate);

// Initialises the deep-space terms of an element set: lunar-solar coefficients at the epoch (dscom), their
// secular rates and, for 12-hour and 24-hour orbits, the resonance coefficients (dsinit).
DeepSpaceModel DeepSpaceInitialise(const DeepSpaceEpoch& epoch);

// Where the resonance integrator of a deep-space set last stopped: time from the epoch (min, a multiple
// of 720), resonant longitude (rad) and mean motion (rad/min) there. A default one starts at the epoch.
struct DeepSpaceIntegrator {
  double atime = 0.0;
  double xli = 0.0;
  double xni = 0.0;
};

// Secular lunar-solar update and resonance integration (dspace) of the mean elements at tsinceMin minutes
// after the epoch: eccentricity, inclination, argument of perigee, node and mean anomaly gain their
// lunar-solar rates times t; for resonant orbits the mean motion and mean anomaly come from the
// resonance integrator (Euler-Maclaurin steps of 720 min from the epoch). elements holds the
// near-Earth secular values on entry. With an integrator, the integration continues from where it
// stopped when tsinceMin lies beyond that point on the same side of the epoch (as the revised equations
// do), else restarts from the epoch; the steps lie on the same grid either way, so the results are the
// same. tsinceMin must be finite.
void DeepSpaceSecular(const DeepSpaceSecularTerms& terms, const DeepSpaceEpoch& epoch, double tsinceMin,
                      DeepSpaceElements& elements, DeepSpaceIntegrator* integrator = nullptr);

// Lunar-solar long-period periodics (dpper) added to the mean elements at tsinceMin minutes after the
// epoch; below 0.2 rad of inclination the node and perigee are updated by Lyddane's modification,
// which stays regular at zero inclination.
void DeepSpacePeriodics(const DeepSpacePeriodicTerms& terms, double tsinceMin, DeepSpaceElements& elements);
