#pragma once
// What the program remembers of its user between runs: the last observing site and the folder TLE files
// were last imported from, kept in a small INI file of its own in the application directory
// (program_files/last_used.ini), which no other part of the program reads or writes.

#include <optional>
#include <string>

#include "base/file_utils.h"
#include "frameinfo/places.h"

// The last site used (coordinates in degrees, east and north positive, and the station code; the name is
// not kept) and the last TLE folder (empty when none was used).
struct RememberedUse {
  std::optional<ObserverSite> site;
  std::string tleFolder;
};

// Path of the file under the application directory (which ends with a separator).
std::string RememberedUseFileName(const std::string& appDir);

// Reads the file; a missing or unreadable file, or a site whose coordinates are missing or out of range
// (longitude beyond +-180 degrees, latitude beyond +-90 degrees), leaves that part unset.
RememberedUse ReadRememberedUse(const std::string& appDir);

// Writes the file atomically (a temporary file renamed over the old one); keys of the file that this
// program does not know are kept. On failure the old file is unchanged and the reason is the system's.
WriteResult WriteRememberedUse(const std::string& appDir, const RememberedUse& remembered);
