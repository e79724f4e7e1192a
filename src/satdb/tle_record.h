#pragma once
// One satellite's element set as the predictors use it.

#include <string>

// An element set selected from a satellite's database file for a given time.
struct TleRecord {
  int catalogNumber = 0;
  std::string designator;       // international designator, line 1 columns 10-17
  double epochMjd = 0.0;        // epoch as Modified Julian Date (UT)
  double meanMotion = 0.0;      // revolutions per day
  double inclinationDeg = 0.0;  // degrees
  double raanDeg = 0.0;         // right ascension of the ascending node, degrees
  double argPerigeeDeg = 0.0;   // argument of perigee, degrees
  double meanAnomalyDeg = 0.0;  // degrees
  double eccentricity = 0.0;
  double bstar = 0.0;               // drag term, 1/Earth radii
  double ageDays = 0.0;             // |epoch - requested time|, days
  std::string name;                 // from the "Name = " header line
  std::string mName;                // from the "mName = " header line
  float standardMagnitude = 99.0f;  // from the "Mag = " header line; 99 when absent
};
