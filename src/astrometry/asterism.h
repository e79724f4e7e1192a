#pragma once
// The asterism index "tri4t.dat": every triangle of bright catalogue stars described by its three
// spherical vertex angles, and the in-memory table that bins triangles by those angles in 3-degree cells.
//
// File layout: headerless blocks of 18000 bytes, each holding 1000 packed little-endian records of
// 18 bytes (three signed 16-bit angles in hundredths of a degree, ascending, then the three signed
// 32-bit star numbers of the vertices in the same order). The last block is padded with all-zero records.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/task_control.h"

// Bytes of one asterism record and of one block of records.
constexpr int kAsterismRecordBytes = 18;
constexpr int kAsterismBlockRecords = 1000;
constexpr int kAsterismBlockBytes = kAsterismRecordBytes * kAsterismBlockRecords;
// Bin width of the table in hundredths of a degree (3 degrees) and the bins per dimension (0..60).
constexpr int kAsterismBinWidth = 300;
constexpr int kAsterismBinCount = 61;
// Faintest magnitude of a star that takes part in the asterism file.
constexpr float kAsterismMagnitudeLimit = 4.0f;
// Largest distance, degrees, of the second and third vertex from the first.
constexpr double kAsterismMaxSeparationDeg = 60.0;
// Shortest side of a triangle, radians; shorter sides drop the triangle.
constexpr double kAsterismMinSideRad = 0.001;

// One triangle: vertex angles in hundredths of a degree (angle1 <= angle2 <= angle3) and the numbers of
// the vertices carrying those angles (catalogue numbers, reference-list positions or mark numbers).
struct AsterismRecord {
  std::int16_t angle1 = 0;
  std::int16_t angle2 = 0;
  std::int16_t angle3 = 0;
  std::int32_t star1 = 0;
  std::int32_t star2 = 0;
  std::int32_t star3 = 0;
};

// Triangles binned by their three angles: 61 x 61 x 61 cells of 3 degrees, held as one array of records
// grouped by cell (in the order they were given within each cell) and each cell's first record.
struct AsterismTable {
  static constexpr std::size_t kCells =
      static_cast<std::size_t>(kAsterismBinCount) * kAsterismBinCount * kAsterismBinCount;
  std::vector<AsterismRecord> records;
  std::vector<std::uint32_t> cellStart;  // kCells + 1 entries, or none for an empty table
  std::size_t recordCount = 0;

  // The records of one cell.
  struct CellView {
    const AsterismRecord* first = nullptr;
    const AsterismRecord* last = nullptr;
    const AsterismRecord* begin() const { return first; }
    const AsterismRecord* end() const { return last; }
    std::size_t size() const { return static_cast<std::size_t>(last - first); }
    bool empty() const { return first == last; }
    const AsterismRecord& operator[](std::size_t i) const { return first[i]; }
  };
  CellView Cell(int i, int j, int k) const { return CellAt((i * kAsterismBinCount + j) * kAsterismBinCount + k); }
  CellView CellAt(int cell) const {
    if (cellStart.empty() || cell < 0 || static_cast<std::size_t>(cell) >= kCells) return {};
    const AsterismRecord* base = records.data();
    return {base + cellStart[static_cast<std::size_t>(cell)], base + cellStart[static_cast<std::size_t>(cell) + 1]};
  }
};

// A star position on the sky, radians.
struct SkyPoint {
  double ra = 0.0;
  double dec = 0.0;
};

// Sorts three vertex angles ascending, carrying their vertex numbers along; a bubble sort working from the
// end towards the front that swaps only on strictly smaller angles, so equal angles keep their order.
void SortTriangleVertices(std::array<double, 3>& angles, std::array<std::int32_t, 3>& vertices);

// Record of a triangle from its vertex angles in degrees and vertex numbers: angles times 100 rounded to
// the nearest integer (ties to even), then sorted ascending with their vertices. False for a non-finite angle.
bool MakeTriangleRecord(std::array<double, 3> anglesDeg, std::array<std::int32_t, 3> vertices, AsterismRecord& record);

// Record of the spherical triangle of three stars: sides as great-circle arcs, vertex angles by the
// spherical law of cosines. False (no triangle) when a side is 0.001 rad or shorter or the arithmetic fails.
bool SphericalTriangleRecord(const std::array<SkyPoint, 3>& points, const std::array<std::int32_t, 3>& vertices,
                             AsterismRecord& record);

// A side of a spherical triangle (radians) with its cosine and sine, for tables of many triangles over
// the same stars: each side is worked out once per pair rather than once per triangle.
struct TriangleSide {
  double arc = 0.0;
  double cosine = 1.0;
  double sine = 0.0;
};
TriangleSide SideBetween(const SkyPoint& p, const SkyPoint& q);
// The same record as SphericalTriangleRecord from the sides opposite each vertex (a between the second
// and third star, b between the first and third, c between the first and second).
bool TriangleRecordFromSides(const TriangleSide& a, const TriangleSide& b, const TriangleSide& c,
                             const std::array<std::int32_t, 3>& vertices, AsterismRecord& record);

// The records of the triangles (i, j, k) for k = firstK .. firstK + count - 1, appended in that order, each
// the one TriangleRecordFromSides gives for aSides[k - firstK] (between j and k), bSides[k - firstK]
// (between i and k) and c (between i and j); triangles without a record are left out. Worked out in
// batches, about twice as fast as one triangle at a time.
void AppendTriangleRow(const TriangleSide* aSides, const TriangleSide* bSides, const TriangleSide& c, std::int32_t i,
                       std::int32_t j, std::int32_t firstK, int count, std::vector<AsterismRecord>& out);

// Table bin of an angle in hundredths of a degree: angle / 300 rounded to nearest, ties to even.
int AsterismBin(int hundredths);

// Index in AsterismTable::cells of the cell of a record's three angle bins; -1 when a bin lies outside.
int AsterismCellOf(const AsterismRecord& record);
// Fills a table with records, each into the cell of its three angle bins (records outside every cell are
// left out); within a cell the records keep their order.
void FillAsterismTable(AsterismTable& table, const std::vector<AsterismRecord>& records);

// Encodes records into the file's packed little-endian form (18 bytes each, no padding).
std::string EncodeAsterismRecords(const std::vector<AsterismRecord>& records);
// Decodes one 18-byte packed record.
AsterismRecord DecodeAsterismRecord(const unsigned char* bytes);

// Builds the asterism file from the catalogue: every triangle of stars of magnitude <= 4.0 whose second
// and third vertices lie within 60 degrees of the first, in blocks of 1000 records with the last block
// zero-padded. Written to a temporary file renamed into place at the end. Reports "В процессе..." and
// yields after each first vertex; stops when the task is cancelled. False when the catalogue or the output
// cannot be read or written, or on cancel; no asterism file is then left behind.
bool BuildAsterismFile(const std::string& catalogPath, const std::string& asterismPath, TaskControl& task);

// Loads the asterism file into a table, keeping only records whose three star numbers map to a non-zero
// working-list position (starMap is indexed by star number; numbers outside it count as absent, which
// also skips the zero padding). Star numbers stay as stored. False when the file cannot be opened or
// the task is cancelled.
bool LoadAsterismTable(const std::string& asterismPath, const std::vector<std::int32_t>& starMap, AsterismTable& table,
                       TaskControl& task);
// The same table, kept for the next identification while the file and the working list are unchanged
// (blind identifications without the visibility filter use the same list every time); null when the file
// cannot be read or the run was cancelled.
std::shared_ptr<const AsterismTable> CachedAsterismTable(const std::string& asterismPath,
                                                         const std::vector<std::int32_t>& starMap, TaskControl& task);
