#pragma once
// File writing shared by every file Orvia rewrites (database files, information files, listings).

#include <string>
#include <string_view>

// Replaces a file with the given bytes through a temporary file in the same folder renamed over it,
// so the old content stays whole when writing fails. False on any failure (the old file is untouched).
bool WriteFileAtomically(const std::string& path, std::string_view bytes);
