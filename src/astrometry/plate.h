#pragma once
// The plate solution of a frame: a gnomonic projection about a tangent point followed by a six-constant
// linear transform to image pixels (x to the right, y downwards), its least-squares fit from identified
// stars, and the pixel <-> sky transforms.
//
// Standard coordinates about (ra0, dec0) are negated before fitting: xi' = -xi, eta' = -eta, and
//   xi'  = a1 x + b1 y + c1,   eta' = a2 x + b2 y + c2.
// The constants are kept as Mx = |(a1, a2)|, My = |(b1, b2)|, F = atan2(b1, b2),
// G = -atan2(a1 b1 + a2 b2, a1 b2 - a2 b1) (near 0 for a normal image, near +-180 degrees for a mirrored
// one) and the pixel (xo, yo) of the tangent point.
//
// Method: standard coordinates of photographic astrometry (the gnomonic projection onto the plane tangent
// at the plate centre, with a linear plate model fitted by least squares, "Turner's method"); see e.g.
// R. M. Green, Spherical Astronomy (Cambridge 1985), the chapter on astrometry from photographic plates.
//
// Lens distortion: a measured pixel (x, y) is first moved to the pixel an ideal lens would have given,
//   x' = x + sum A_ij u^i v^j,   y' = y + sum B_ij u^i v^j,   2 <= i + j <= order <= 5,
// with u = (x - cx) / r, v = (y - cy) / r about the image centre (cx, cy) and r its half-diagonal, and the
// six constants then apply to (x', y'). Terms of degree 0 and 1 are left to the six constants. The
// polynomial also takes up the stretching of the gnomonic projection towards the edges of wide fields
// (to a distance of about 60 degrees from the tangent point, where tan stays below 2). The inverse, sky to
// pixel, solves x + A(x, y) = x' by Newton's method. The polynomial is fitted together with the six
// constants by linear least squares, in the manner of the "simple imaging polynomial" of FITS world
// coordinates (Shupe et al. 2005, ASP Conf. Ser. 347, 491), with a few wrong marks rejected.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Highest degree of the distortion polynomial, and its terms of degree 2 to it (in the order u^d, u^(d-1) v,
// ..., v^d for d = 2, 3, ...).
inline constexpr int kMaxDistortionOrder = 5;
inline constexpr int kDistortionTerms = 18;
// Number of terms of degree 2 up to the given order.
constexpr int DistortionTermCount(int order) { return order < 2 ? 0 : (order + 1) * (order + 2) / 2 - 3; }

// The lens distortion of a plate (see above); order 0: none, and every transform is the linear plate's.
struct PlateDistortion {
  int order = 0;
  double cx = 0.0;  // pixel origin of the polynomial: the image centre
  double cy = 0.0;
  double r = 1.0;   // pixels per unit of u and v: the half-diagonal
  std::array<double, kDistortionTerms> a{};  // pixels added to x
  std::array<double, kDistortionTerms> b{};  // pixels added to y
  bool Present() const { return order >= 2; }
};
// The ideal pixel (x', y') of a measured pixel.
void UndistortPixel(const PlateDistortion& d, double x, double y, double& ix, double& iy);
// The measured pixel of an ideal one (Newton's method from the ideal pixel); false when it does not
// converge (far outside the frame, where the polynomial folds over).
bool DistortPixel(const PlateDistortion& d, double ix, double iy, double& x, double& y);

// The working form of a plate solution: angles in radians, scales in radians per pixel.
struct PlateConstants {
  double ra0 = 0.0;  // tangent point right ascension
  double dec0 = 0.0;
  double mx = 0.0;  // scale along the pixel x axis
  double my = 0.0;
  double f = 0.0;   // rotation
  double g = 0.0;   // axis skew
  double xo = 0.0;  // pixel of the tangent point
  double yo = 0.0;
  PlateDistortion distortion{};  // applied to pixels before the six constants
};

// The frame's plate solution in its display and storage form (degrees, arcseconds per pixel) with the
// working form derived from it. Solved when both display scales are non-zero.
struct PlateSolution {
  double ra0Deg = 0.0;
  double dec0Deg = 0.0;
  double mxArcsec = 0.0;
  double myArcsec = 0.0;
  double fDeg = 0.0;
  double gDeg = 0.0;
  double xo = 0.0;
  double yo = 0.0;
  std::int16_t nid = 0;    // marks identified when the solution was found
  std::string fieldSize;   // "w° x h°" as the panel shows it
  PlateDistortion distortion;  // the lens distortion (order 0: none), copied into the working form
  PlateConstants working;  // always derived from the display form

  bool Solved() const { return mxArcsec != 0.0 && myArcsec != 0.0; }
};

// Rebuilds the working form from the display form (degrees times Pi/180; arcseconds / 3600 times Pi/180).
void DeriveWorkingForm(PlateSolution& solution);
// Sets the display form from working constants (radians times 180/Pi; scales also times 3600) and
// derives the working form back from it so the two always agree.
void SetFromWorking(PlateSolution& solution, const PlateConstants& constants);

// Negated standard coordinates (xi', eta') of a star about a tangent point, radians; gnomonic projection.
// valid is false when the star is 90 degrees or more from the tangent point.
struct StandardCoordinates {
  double xi = 0.0;
  double eta = 0.0;
  bool valid = false;
};
// Negated gnomonic standard coordinates of (ra, dec) about (ra0, dec0); all radians.
// xi = cos d sin(a - a0) / D, eta = (sin d cos d0 - cos d sin d0 cos(a - a0)) / D with
// D = sin d sin d0 + cos d cos d0 cos(a - a0), the cosine of the distance from the tangent point.
StandardCoordinates SkyToStandard(double ra, double dec, double ra0, double dec0);

// A sky position, radians; ra in [0, 2 Pi).
struct SkyPosition {
  double ra = 0.0;
  double dec = 0.0;
};
// Sky position of an image pixel (x, y) under working-form constants: the linear model inverted to
// standard coordinates, then the inverse gnomonic projection.
SkyPosition PixelToSky(double x, double y, const PlateConstants& plate);
// The same for many pixels under one plate: the plate's sines and cosines are worked out once.
class PixelToSkyTransform {
 public:
  explicit PixelToSkyTransform(const PlateConstants& plate);
  SkyPosition operator()(double x, double y) const;

 private:
  double xo_, yo_, ra0_;
  double xiX_, xiY_, etaX_, etaY_;  // the linear model's four products of scale and angle
  double sinDec0_, cosDec0_;
  PlateDistortion distortion_;
};

// An image pixel position in single precision; valid is false for a star 90 degrees or more from the
// tangent point or for constants that cannot be inverted.
struct PixelPosition {
  float x = 0.0f;
  float y = 0.0f;
  bool valid = false;
};
// Image pixel of a sky position (ra, dec in radians) under working-form constants: the gnomonic
// projection, then the linear model.
PixelPosition SkyToPixel(double ra, double dec, const PlateConstants& plate);

// One identified star for a fit: its measured pixel and its catalogue position (radians).
struct FitStar {
  double x = 0.0;
  double y = 0.0;
  double ra = 0.0;
  double dec = 0.0;
};

// Fits the plate to identified stars about the tangent point (ra0, dec0), accepts it only when the skew
// G lies within 5 degrees of 0 or of +-180 degrees, then re-centres once: the image centre (centreX,
// centreY) converted with the first fit becomes the tangent point and the fit is repeated about it.
// Returns false (plate untouched) for fewer than three stars, collinear stars, a vanishing determinant,
// a non-finite constant or a failed skew test; otherwise plate holds the second fit and its tangent point.
bool FitPlate(const std::vector<FitStar>& stars, double ra0, double dec0, double centreX, double centreY,
              PlateConstants& plate);

// Fits the six constants together with a distortion polynomial of the given order (2 to 5) to identified
// stars on a frame of the given size, about the tangent point (ra0, dec0), re-centred on the image centre
// twice. Stars farther off than 3.5 times the median offset (at least a pixel) are left out and the fit
// repeated, a few rounds. False (plate untouched) when fewer than twice the unknowns plus two stars
// remain, or for a singular or skewed fit. rmsPx receives the kept stars' rms offset, pixels, and kept
// (when given) which stars were kept.
bool FitDistortedPlate(const std::vector<FitStar>& stars, double ra0, double dec0, int imageWidth, int imageHeight,
                       int order, PlateConstants& plate, double& rmsPx, std::vector<bool>* kept = nullptr);
// The highest distortion order the number of stars supports (0 below the least for order 2).
int DistortionOrderFor(std::size_t stars);
// The rms pixel offset between the stars' marks and where the plate puts their catalogue positions.
double PlateRmsPx(const std::vector<FitStar>& stars, const PlateConstants& plate);
// The plate a frame adopts from its identified stars: the linear plate as given when its stars lie within
// a pixel of it, or when no distortion polynomial the stars support brings their rms offset below 0.8 of
// the linear plate's; otherwise the distorted plate of the lowest order that comes within a tenth of the
// best order's rms. True when distortion was adopted.
bool AdoptDistortion(const std::vector<FitStar>& stars, int imageWidth, int imageHeight, PlateConstants& plate);

// Least-squares solution of an n x 3 system given as rows [c1, c2, c3, rhs].
struct LeastSquaresResult {
  std::array<double, 3> coefficients{};
  int rank = 0;                // singular values above the threshold
  double smallestRatio = 0.0;  // smallest / largest singular value (0 when all vanish)
};
// The six plate constants about (ra0, dec0) from rows (x, y, 1, xi') and (x, y, 1, eta') of negated standard
// coordinates, by least squares, with the skew test (G within 5 degrees of 0 or of 180 degrees). False for
// collinear or singular rows, a failed skew test or a non-finite constant; plate is then left unchanged.
bool FitStandardConstants(const std::vector<std::array<double, 4>>& xiRows,
                          const std::vector<std::array<double, 4>>& etaRows, double ra0, double dec0,
                          PlateConstants& plate);
// Solves rows [c1, c2, c3, rhs] in the least-squares sense by singular value decomposition (Eigen's
// two-sided Jacobi SVD, x = V diag(1/w) U^T b); singular values not above 3 * w_max * 5e-16 are treated as
// zero, so a rank-deficient system gets its minimum-norm solution. Rows with a non-finite value, or a
// non-finite solution, give rank 0 and zero coefficients.
LeastSquaresResult SolveLeastSquares(const std::vector<std::array<double, 4>>& rows);

// Mean and sample standard deviation of values[first..last] (0-based, inclusive).
struct MeanDeviation {
  double mean = 0.0;
  double deviation = 0.0;
};
// Mean and sample standard deviation (n - 1 in the denominator; 0 for a single value) of a series.
MeanDeviation MeanAndDeviation(const std::vector<double>& values, std::size_t first, std::size_t last);
