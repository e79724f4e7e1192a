#pragma once
// The pattern index: star triangles of the whole catalogue over several scale bands, keyed by their
// shape, for identifying frames of unknown position and scale.
//
// Each band is made for frames about fieldDeg wide: the sky is cut into cells a quarter of that width and
// the brightest stars of each cell are kept, so narrow bands hold faint stars and wide bands bright
// ones. Every triangle of a band's stars whose longest side lies between 0.2 and 0.45 of the band's width
// is stored with its shape: the sides as chords on the unit sphere, sorted longest first (d1 >= d2 >= d3),
// give u = d2 / d1 and v = d3 / d1, which neither the scale nor a mirror image changes. Vertices are
// stored opposite d1, d2, d3 in that order. Entries are sorted into a grid over (u, v).
//
// This is geometric hashing of asterisms: a triangle's shape, invariant to position, scale, rotation and
// mirroring, is the key under which its stars are filed, and a frame's triangles look up their keys.
// The (d2/d1, d3/d1) triangle space is the one of triangle matching between coordinate lists (Groth
// 1986, AJ 91, 1244; Valdes, Campusano, Velasquez & Stetson 1995, PASP 107, 1119); the index over
// several scale bands, each built from the brightest stars of sky cells sized to the band so that the
// whole sky is covered evenly, follows the blind calibration index of Lang, Hogg, Mierle, Blanton &
// Roweis (2010, AJ 139, 1782), with triangles in place of their four-star codes.
//
// The file ("patterns.idx", beside the asterism file) is the in-memory form written out: a header, then
// per band its numbers, its cell offsets and its entries, all little-endian.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "astrometry/catalogue.h"
#include "base/task_control.h"

// Name of the pattern index file in program_files.
inline constexpr const char* kPatternIndexFileName = "patterns.idx";

// Shape grid: u in [0.5, 1] and v in [0, 1], cells of 1/200.
inline constexpr int kPatternGridU = 100;
inline constexpr int kPatternGridV = 200;

// One triangle: catalogue indices (record number - 1) of the vertices opposite the longest, middle and
// shortest side, and the shape (u, v) in units of 1/65535.
struct PatternEntry {
  std::array<std::uint16_t, 3> stars{};
  std::uint16_t u = 0;
  std::uint16_t v = 0;
};

// One scale band.
struct PatternBand {
  double fieldDeg = 0.0;  // frame width the band is made for, degrees
  double minSide = 0.0;   // longest side of its triangles, radians (great-circle)
  double maxSide = 0.0;
  std::vector<std::uint32_t> cellStart;  // kPatternGridU * kPatternGridV + 1 offsets into entries
  std::vector<PatternEntry> entries;
};

struct PatternIndex {
  std::uint32_t catalogueCount = 0;  // records of the catalogue it was built from
  std::vector<PatternBand> bands;
};

// The shape of a triangle from its three vertex directions (unit vectors): u, v, the longest side as a
// great-circle angle (radians), and the vertex order opposite the longest, middle and shortest side.
struct TriangleShape {
  double u = 0.0;
  double v = 0.0;
  double longest = 0.0;
  std::array<int, 3> order{};
};
// False for a degenerate triangle (a side of almost no length).
bool ShapeOfTriangle(const std::array<std::array<double, 3>, 3>& points, TriangleShape& shape);

// Grid cell of a shape coordinate pair, clamped to the grid.
int PatternCellU(double u);
int PatternCellV(double v);

// Builds the index from catalogue records (at most 65535 of them). False when cancelled or when the
// catalogue is too large for 16-bit star indices.
bool BuildPatternIndex(const std::vector<CatalogueRecord>& records, PatternIndex& index, TaskControl& task);
// Reads the catalogue, builds the index and writes it through a temporary file renamed into place.
// False when the catalogue cannot be read, the build is cancelled or the file cannot be written.
bool BuildPatternIndexFile(const std::string& catalogPath, const std::string& indexPath, TaskControl& task);
// Encodes an index into the file's bytes, and decodes them back (false for a damaged or foreign file).
std::string EncodePatternIndex(const PatternIndex& index);
bool DecodePatternIndex(const std::string& bytes, PatternIndex& index);
bool DecodePatternIndex(const char* data, std::size_t size, PatternIndex& index);
// The index of a file, mapped and copied; null when the file is missing or damaged.
std::shared_ptr<PatternIndex> LoadPatternIndex(const std::string& indexPath);
// The index of a file, mapped and copied once per program run and kept while the file is unchanged; null when the
// file is missing or damaged.
std::shared_ptr<const PatternIndex> CachedPatternIndex(const std::string& indexPath);
// Path of the pattern index beside the asterism file.
std::string PatternIndexPathBeside(const std::string& asterismPath);
