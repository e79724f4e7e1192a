#pragma once
// The catalogue's sky grid: every catalogue star sorted into declination strips of one degree, cut into
// cells of about a degree of right ascension, so that the stars near a direction are found without a full
// scan; and a coarse grid for star counts over wide circles. The pattern solver and the verifier find
// their stars through it.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "astrometry/catalogue.h"
#include "sky/vec3.h"

using UnitVector = Vec3;

// Unit vector of a sky position (radians), x towards the equinox, z towards the pole.
UnitVector UnitVectorOf(double ra, double dec);

// One catalogue star of the sky grid: direction, position (radians), magnitude and record number.
struct GridStar {
  UnitVector direction{};
  double ra = 0.0;
  double dec = 0.0;
  float magnitude = 0.0f;
  std::int32_t number = 0;  // 1-based catalogue record number
};

// The whole catalogue sorted into declination strips of one degree, each cut into cells of about one
// degree of right ascension, so that the stars near a direction are found without a full scan.
struct SkyCatalogue {
  std::vector<GridStar> stars;              // sorted by cell
  std::vector<std::uint32_t> cellStart;     // per cell, first star; one extra entry at the end
  std::vector<int> stripFirstCell;          // per declination strip, its first cell
  std::vector<int> stripCells;              // per declination strip, its cell count
  std::vector<std::int32_t> indexOfNumber;  // catalogue number -> index in stars (-1 none)
  // A coarse grid for star counts over wide circles: per coarse cell its centre direction and the number
  // of its stars at or brighter than each tenth of a magnitude from kCoarseFirstMagnitude.
  std::vector<std::array<double, 3>> coarseCentre;
  std::vector<std::uint32_t> coarseCount;  // coarseCentre.size() * kCoarseMagnitudeSteps, cumulative per cell
  bool Empty() const { return stars.empty(); }
};
inline constexpr double kCoarseFirstMagnitude = -2.0;
inline constexpr int kCoarseMagnitudeSteps = 111;  // -2.0 to 9.0 in tenths

// Builds the sky grid from catalogue records; records with a zero RA offset and a zero DEC are left out
// (they are no stars).
void BuildSkyCatalogue(const std::vector<CatalogueRecord>& records, SkyCatalogue& catalogue);
// The sky grid of a catalogue file, read once per program run and kept while the file is unchanged; null when
// it cannot be read.
std::shared_ptr<const SkyCatalogue> CachedSkyCatalogue(const std::string& catalogPath);

// Index (in catalogue.stars) of the brightest star within radius (radians) of a direction, the nearer
// one winning equal magnitudes; -1 when there is none.
int BrightestStarWithin(const SkyCatalogue& catalogue, const UnitVector& direction, double radius);
// Index of the star nearest a direction within radius (radians) among those no fainter than magnitudeLimit;
// -1 when there is none.
int NearestStarWithin(const SkyCatalogue& catalogue, const UnitVector& direction, double radius, float magnitudeLimit);
// Number of stars brighter than magnitudeLimit within radius (radians) of a direction.
std::size_t StarsWithin(const SkyCatalogue& catalogue, const UnitVector& direction, double radius,
                        float magnitudeLimit);
// The same count for statistics: exact for small circles, from the coarse grid (cells whose centre lies
// within the circle, the limit taken to a tenth of a magnitude) for circles wider than a few degrees.
double FieldStarCount(const SkyCatalogue& catalogue, const UnitVector& direction, double radius, float magnitudeLimit);
