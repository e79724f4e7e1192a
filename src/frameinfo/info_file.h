#pragma once
// The per-frame information file: its name, derived from the image's name and last-write time.

#include <string>

// Path of a frame's information file: appDir + "Info" + separator + base + "_YYYY-MM-DD_hh-mm" + ".txt",
// where base is the image's file name without directory and extension and the stamp is the
// image's last-write time in UTC. An image that cannot be examined gets the stamp of time 0 (1970).
std::string InfoFileName(const std::string& appDir, const std::string& imagePath);
