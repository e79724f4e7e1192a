#pragma once
// The star catalogue "bin8.dat": headerless 12-byte little-endian records, one star each:
// RA - Pi (radians), DEC (radians) and visual magnitude, all IEEE singles. A star's number is the
// 1-based position of its record; a trailing partial record is ignored.

#include <cstdint>
#include <string>
#include <vector>

// Length of one catalogue record in bytes.
constexpr int kCatalogueRecordBytes = 12;

// One catalogue record exactly as stored: the RA offset (RA - Pi), DEC and magnitude.
struct CatalogueRecord {
  float raOffset = 0.0f;  // radians; RA = raOffset + Pi
  float dec = 0.0f;       // radians
  float magnitude = 0.0f;
};

// A catalogue star as the asterism builder holds it: RA (stored offset plus Pi) and DEC in radians, magnitude.
struct CatalogStar {
  float ra = 0.0f;
  float dec = 0.0f;
  float magnitude = 0.0f;
};

// Reads every complete record of a catalogue file in file order (element 0 is star number 1).
// Returns false when the file cannot be opened; records is then empty.
bool ReadCatalogueRecords(const std::string& path, std::vector<CatalogueRecord>& records);

// Reads a catalogue file into CatalogStars (RA = stored offset + Pi in single precision).
// Returns false when the file cannot be opened; stars is then empty.
bool ReadCatalogue(const std::string& path, std::vector<CatalogStar>& stars);

// Encodes catalogue records into the file's byte form (used by the catalogue tools and tests).
std::string EncodeCatalogue(const std::vector<CatalogueRecord>& records);
