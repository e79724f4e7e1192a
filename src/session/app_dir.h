#pragma once
// A user's application directory outside the build: created on first start and given the shipped files.

#include <string>

// What seeding an application directory did.
struct SeedResult {
  bool ok = false;      // the directory exists (afterwards)
  int copied = 0;       // shipped files copied into it
  std::string message;  // user message when the directory cannot be created
};

// Creates appDir when missing and copies each shipped file (the star catalogue bin8.dat, the manual's page
// and its pictures in manual/)
// that it holds neither directly nor in program_files/ from shippedDir (directly or from its
// program_files/). The shipped files stay where they are; files already in appDir are never touched.
SeedResult SeedApplicationDirectory(const std::string& appDir, const std::string& shippedDir);
