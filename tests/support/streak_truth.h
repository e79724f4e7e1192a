#pragma once
// The truth files of the shared rendered streak frames: where the satellite's ends lie (pixels and J2000),
// where the camera pointed and the predicted path over the exposure.

#include <filesystem>
#include <utility>
#include <vector>

namespace testing_support {

struct StreakTruth {
  int norad = 0;
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;               // end pixels at the true start and end
  double ra1 = 0, dec1 = 0, ra2 = 0, dec2 = 0;         // J2000 ends, degrees
  double centreRa = 0, centreDec = 0, fieldWidth = 0;  // where the camera pointed, degrees
  std::vector<std::pair<double, double>> path;         // predicted path over the window, pixels (1 s samples)
  double bow = 0;  // largest distance of the path from the straight line between the ends, pixels
};

// Reads a frame's truth file (<name>_truth.json); missing values are NaN.
StreakTruth ReadStreakTruth(const std::filesystem::path& path);

}  // namespace testing_support
