#pragma once
// Element sets of two- or three-line text files as TleRecords for the orbit tests and benchmarks, read
// by the database's own input reader and column reader.

#include <string>
#include <utility>
#include <vector>

#include "satdb/satdb.h"
#include "satdb/tle_record.h"

namespace tle_text {

// Every set of a file in file order, named by the name line before it; empty when the file cannot be read.
inline std::vector<TleRecord> ReadFile(const std::string& path) {
  std::vector<TleRecord> records;
  std::vector<ImportedSet> sets;
  if (!ReadTleInput(path, sets)) return records;
  for (const ImportedSet& set : sets) {
    TleRecord tle;
    if (!ParseElementSet(set.line1, set.line2, tle)) continue;
    tle.name = set.name;
    records.push_back(std::move(tle));
  }
  return records;
}

}  // namespace tle_text
