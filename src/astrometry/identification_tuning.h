#pragma once
// The tuned numbers of star identification, in one record: every threshold the reference stars, the two
// proposers (triangle matcher and pattern solver), the verifier and the adoption decide by. Each entry
// gives its unit and where its value comes from: most were set on a list of the identification bench
// that a looser or tighter value got wrong (the measurement is quoted), a few follow from the geometry.
// The code reads them only through kIdTuning; changing one changes answers, so the bench runs before
// and after.
#include <array>
#include <cstddef>

struct IdentificationTuning {
  // ----- Reference stars and modes -----

  // Blind mode: plausible frame widths, degrees; the asterism file reaches no wider.
  double blindMinFieldDeg = 7.0;
  double blindMaxFieldDeg = 80.0;
  // Known centre: narrowest frame, degrees, and the widest as a multiple of the typed field.
  double knownMinFieldDeg = 3.0;
  double knownMaxFieldFactor = 1.3;
  // Faintest stars that may extend a matcher hypothesis (exclusive), magnitudes: blind the asterism
  // file's depth (4.0) plus half a magnitude, known centre 7.0 plus half.
  float blindExtendMagnitude = 4.5f;
  float knownExtendMagnitude = 7.5f;
  // Known centre: field stars that form the triangle table, per mark (the brightest first).
  int knownTableStarsPerMark = 6;
  // Known centre: the triangles of marks (and the table's stars per mark) come from the first this many
  // marks only; the rest are identified by extension. The work grows as the cube of both counts: a
  // meteor camera's 150 marks would ask for every triangle of 900 stars, gigabytes and many minutes.
  int knownTriangleMarks = 40;

  // ----- Triangle matcher -----

  // Frame triangles need every side longer than this, pixels (shorter sides give no usable angles).
  double minFrameSidePx = 2.0;
  // Sum of the three vertex-angle differences below which a pair is verified, hundredths of a degree
  // (3 degrees: the noise of marks a few pixels apart on a triangle tens of pixels wide).
  int matchLimit = 300;
  // Rounds of plate fit and extension a matcher hypothesis must pass.
  int extensionRounds = 3;
  // Fewest identified marks of any accepted plate (three define the plate, the fourth is the first check).
  int minIdentified = 4;
  // Identified marks from which the best hypothesis is adopted without grouping similar ones.
  int confidentIdentified = 10;
  // Extension tolerance: pixels along x between a mark and the star it is given.
  double extensionPx = 6.0;
  // A plate from a hypothesis needs scales within this ratio of each other (smaller over larger).
  double minScaleRatio = 0.8;
  // Two hypotheses are similar (grouped) with tangent points within this many degrees, scales within this
  // share of each other (a factor of 1.9), rotations and skews within these many degrees.
  double similarCentreDeg = 0.5;
  double similarScaleShare = 0.9;
  double similarRotationDeg = 10.0;
  double similarSkewDeg = 90.0;
  // Largest accepted number of equally supported hypotheses chance would give: four of four marks on a
  // frame of 1.5 to 3 arcminutes per pixel score about 0.015, random marks 0.18 and more; 0.05 adopts four
  // marked stars on wide fields.
  double maxChanceIdentifications = 0.05;
  // Two stars closer than this on the frame, pixels, make one mark: a matcher identity on the fainter of
  // such a pair goes to the brighter one as the verifier decides (a detector does not separate them).
  double closePairPx = 3.0;

  // ----- Verifier -----

  // Largest accepted false-alarm figure, log10 of the expected number of chance plates as well supported.
  double maxLog10FalseAlarm = -4.0;
  // A false-alarm figure at or below this is sure; a plate that passes above it only narrowly is held
  // while the search goes on: a 5 degree plate on faint stars had been taken for a 45 degree frame whose
  // bright stars came 1,300 trials later.
  double sureLog10FalseAlarm = -6.0;
  // How long a narrow pass is held: this many times the trials so far, plus these trials.
  std::size_t holdTrialsFactor = 3;
  std::size_t holdExtraTrials = 2000;
  // Match tolerance at the image centre, pixels, and its growth per pixel from the centre (lens distortion).
  double markTolerancePx = 5.0;
  double markRadialTolerance = 0.012;
  // The precision of a mark, pixels: no hit counts as nearer than this when the evidence is weighed.
  double markPrecisionPx = 1.0;
  // Per-mark chance above which an identity is not kept: the field's density of stars as bright times the
  // circle of the mark's offset (at least chanceMinOffsetPx).
  double maxMarkChance = 3e-4;
  double chanceMinOffsetPx = 0.5;
  // Of two marks claiming one star, the nearer keeps it only within this share of the other's distance:
  // two noisy marks beside a bright star put the wrong one on it.
  double clearlyNearerShare = 0.25;
  // Depths a plate may reach, magnitudes, in half-magnitude steps (the trials are counted per depth).
  double shallowestDepth = 2.0;
  double deepestDepth = 8.5;
  double depthStep = 0.5;
  // Smallest sky radius a frame is given for its star density, degrees.
  double minFieldRadiusDeg = 0.5;
  // Star counts over circles from this radius on come from the coarse grid of cells this wide, degrees.
  double coarseFromRadiusDeg = 10.0;
  double coarseCellDeg = 5.0;
  // Rounds of fit and re-decision of a refinement.
  int refineRounds = 4;
  // Identified marks from which the fit may leave out the far ones and a mark must be vouched for by the
  // others; a fit leaves out marks beyond robustKeepFactor times the lower third of the offsets (at least
  // robustKeepMinPx); an unvouched mark lies beyond unvouchedFactor times that third and unvouchedMinPx.
  int minMarksForRobustFit = 6;
  double robustKeepFactor = 3.0;
  double robustKeepMinPx = 1.0;
  double unvouchedFactor = 3.0;
  double unvouchedMinPx = 2.0;
  // Radial distortion: fitted from this many identified marks on, at most this share of the half-diagonal;
  // a change below distortionStep counts as settled.
  int minMarksForDistortion = 8;
  double maxDistortion = 0.05;
  double distortionStep = 1e-4;
  // The tolerance the marks call for: tightFactor times their typical residual plus tightOffsetPx, at
  // least tightMinPx; the radial share scales by (typical - tightOffsetPx) / tightRadialSpanPx within
  // [tightRadialMin, 1]. Plates with fewer than tightenFrom identified marks are not tightened. The first
  // round takes the lower third of the residuals (a wrong identity pulls the whole fit), the second the
  // median; a tightened plate may lose at most tightLog10Loss of its false-alarm figure.
  double tightFactor = 4.0;
  double tightOffsetPx = 0.5;
  double tightMinPx = 1.5;
  double tightRadialSpanPx = 3.0;
  double tightRadialMin = 0.1;
  int tightenFrom = 5;
  double tightLog10Loss = 1.0;
  double tightFirstQuantile = 1.0 / 3.0;
  double tightSecondQuantile = 0.5;
  // Faint-star rule: with fewer than minMarksForDistortion identified, a mark whose star has more than
  // faintRatioFew times as many field stars as bright as the other marks' stars and the marks' count
  // together loses it (a plate of six marks put one 0.3 px from a 7.4 mag star, 11 px from its own); with
  // more, more than faintRatioMany times the others' plus the count (a spurious mark 2 px from a 4.5 mag
  // star among marks on stars of 2 mag and brighter had kept it).
  double faintRatioFew = 10.0;
  double faintRatioMany = 5.0;

  // ----- Pattern solver -----

  // Blind pattern search: widest frame dimension, degrees, as the scale at the centre times the pixels (a
  // wide lens compresses its edges: the 89 degree meteor camera measures 83 degrees so).
  double patternMinFieldDeg = 3.0;
  double patternMaxFieldDeg = 90.0;
  // Known centre: frame widths within this factor of the typed field.
  double knownFieldFactor = 2.5;
  // A plate from three stars must be nearly a rotation: scales within 15 % and skew within 8 degrees of 0
  // or 180 degrees.
  double maxScaleRatio = 1.15;
  double maxSkewDeg = 8.0;
  // Shape tolerance: pixel noise over the triangle's size plus a share for projection and lens distortion.
  double shapeNoisePx = 2.5;
  double shapeSlack = 0.006;
  // Triangles of marks span this share of the larger image dimension (longer ones reach the corners,
  // where distortion is worst).
  double shortestShare = 0.06;
  double longestShare = 0.95;
  // An index triangle's implied frame width may lie this far outside the range; with a known centre its
  // first star lies within knownIndexReach widths plus the field of the typed centre.
  double indexWidthLow = 0.9;
  double indexWidthHigh = 1.1;
  double knownIndexReach = 1.25;
  // A band serves frames from half to twice its width.
  double bandFieldSpan = 2.0;
  // Marks used for triangles, and index triangles tried before the search gives up (a fifth of them with
  // a known centre).
  int triangleMarks = 30;
  std::size_t maxIndexTrials = 500000;
  std::size_t knownIndexTrialsDivisor = 5;
  // Quick count before the full verification: at least this share of the other marks on stars, the count
  // ends when misses exceed hits by quickMissLead, and chance must give the hits at most once in ten
  // (log10 -1).
  double quickNeededShare = 0.4;
  int quickMissLead = 3;
  double quickLog10Chance = -1.0;
  // Largest residual (rms, pixels, distortion taken out) of a refined plate: a plate at 4 px held a
  // planet and a mark on faint neighbours.
  double maxPlateRmsPx = 3.0;
  // A refined plate that fails (on its residual, or on too few marks within the radial tolerance) is
  // refitted with the lens distortion polynomial on frames from this width up, degrees: a meteor camera's
  // 90 degree lens leaves tens of pixels at the edges that no radial term follows.
  double polynomialFromFieldDeg = 40.0;
  // Such wide plates that fail the quick count get a second one over the marks within this share of the
  // half-diagonal (a linear plate holds there to a pixel or two), when there are at least wideInnerMarks.
  double wideInnerShare = 0.4;
  // The polynomial's rounds decide at this many times the lower third of the offsets (plus tightOffsetPx):
  // a pixel is arcminutes there, and a wider tolerance hands marks to faint neighbours.
  double polynomialTightFactor = 2.5;
  // The marks the polynomial is fitted to reach out from wideInnerShare of the half-diagonal by this share
  // a round.
  double polynomialReachStep = 0.1;
  int wideInnerMarks = 8;
  // Pair search: stars blind pairs are made of and the faintest star a third mark may land on blind.
  float pairMagnitude = 6.0f;
  float blindCheckMagnitude = 6.5f;
  // Blind pair search only for frames from this width up, degrees (narrower ones have too few such stars).
  double blindPairMinFieldDeg = 12.0;
  // A mark pair spans this share of the larger image dimension: blind at most a quarter (the cost grows
  // with the square of the span), with a known centre up to a half; blind star pairs reach 5 % further.
  double minPairShare = 0.05;
  double blindMaxPairShare = 0.25;
  double knownMaxPairShare = 0.5;
  double blindPairReach = 1.05;
  // Marks used as the first of a pair, and partners per first mark.
  int pairFirstMarks = 16;
  int pairPartners = 2;
  // Hypotheses (pair, order, parity) before the search gives up: 2 M blind, 1 M with a known centre.
  std::size_t blindPairBudget = 2000000;
  std::size_t knownPairBudget = 1000000;
  // Known centre: every star to knownPairMagnitude around it and at least the knownPairStars brightest;
  // the scale's allowance; how far (in fields) the frame's centre is sought from the typed one; the third
  // mark's stars reach half a magnitude below the faintest taken.
  std::size_t knownPairStars = 1500;
  float knownPairMagnitude = 6.5f;
  double knownScaleSlack = 0.15;
  double knownCentreSlack = 0.3;
  float knownCheckMargin = 0.5f;
  // Where the third mark of a pair may be, pixels: noise, the pair's lever on it, and a share of its
  // distance for the shear lens distortion gives a patch of the frame.
  double thirdMarkNoisePx = 3.0;
  double thirdMarkLever = 2.0;
  double thirdMarkShear = 0.015;
  // Steps of the scale table that turns a catalogue separation into the scale of a mark pair.
  int scaleSteps = 96;

  // ----- Pattern index (the file's content: changing these needs the file rebuilt) -----

  // Bands: frames 3 degrees wide and up, each band 2^(2/3) times the one before, to 76 degrees.
  int bandCount = 8;
  double narrowestBandDeg = 3.0;
  double bandRatio = 1.5874010519681994;
  // Sky cells a quarter of the band's width, each keeping its two brightest stars; the two widest bands
  // keep three, since on wide frames observers mark stars well below the brightest.
  double bandCellShare = 0.25;
  std::array<int, 8> bandStarsPerCell = {2, 2, 2, 2, 2, 2, 3, 3};
  // Longest triangle side as a share of the band's width.
  double bandMinSideShare = 0.2;
  double bandMaxSideShare = 0.45;
};

inline constexpr IdentificationTuning kIdTuning{};
