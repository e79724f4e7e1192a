#include "astrometry/reference_stars.h"

#include <cmath>

#include "astrometry/asterism.h"
#include "astrometry/catalogue.h"
#include "astrometry/identification_tuning.h"
#include "base/calendar.h"
#include "sky/angles.h"
#include "sky/site.h"
#include "base/numbers.h"

namespace {


// Altitude above the horizon of a star, radians, from the local sidereal time.
bool AboveHorizon(const VisibilityFilter& v, double ra, double dec) {
  if (!v.enabled) return true;
  const double lst = GreenwichSiderealTime(v.midMjd) + v.longitudeRad;
  const double altitude = Pi / 2.0 - ArcCos(std::sin(v.latitudeRad) * std::sin(dec) +
                                            std::cos(v.latitudeRad) * std::cos(dec) * std::cos(lst - ra));
  return altitude > 0.0;
}

}  // namespace

IdentificationMode MakeIdentificationMode(bool blind, double fieldOfViewDeg, int imageWidth, int imageHeight) {
  IdentificationMode mode;
  mode.blind = blind;
  mode.minFieldDeg = blind ? kIdTuning.blindMinFieldDeg : kIdTuning.knownMinFieldDeg;
  mode.maxFieldDeg = blind ? kIdTuning.blindMaxFieldDeg : kIdTuning.knownMaxFieldFactor * fieldOfViewDeg;
  mode.extendMagnitude = blind ? kIdTuning.blindExtendMagnitude : kIdTuning.knownExtendMagnitude;
  mode.minScale = imageWidth > 0 ? DegToRad(mode.minFieldDeg) / imageWidth : 0.0;
  mode.maxScale = imageHeight > 0 ? DegToRad(mode.maxFieldDeg) / imageHeight : 0.0;
  return mode;
}

std::int32_t LoadReferenceStarsBlind(const std::string& catalogPath, const VisibilityFilter& visibility,
                                     ReferenceList& refs, TaskControl& task) {
  refs = ReferenceList();
  std::vector<CatalogueRecord> records;
  if (!ReadCatalogueRecords(catalogPath, records)) return 0;
  refs.map.assign(records.size() + 1, 0);
  for (std::size_t j = 0; j < records.size(); ++j) {
    if (j % 4096 == 0) {
      if (task.Cancelled()) return 0;
      task.Yield();
    }
    const CatalogueRecord& r = records[j];
    const double ra = static_cast<double>(r.raOffset) + Pi, dec = r.dec;
    if (r.raOffset == 0.0f || r.dec == 0.0f || !AboveHorizon(visibility, ra, dec)) continue;
    refs.stars.push_back({ra, dec, r.magnitude, static_cast<std::int32_t>(j + 1)});
    refs.map[j + 1] = refs.size();
  }
  return refs.size();
}

std::int32_t LoadReferenceStarsInField(const std::string& catalogPath, const VisibilityFilter& visibility,
                                       double centreRa, double centreDec, double fovDeg, ReferenceList& refs,
                                       TaskControl& task) {
  refs = ReferenceList();
  std::vector<CatalogueRecord> records;
  ReadCatalogueRecords(catalogPath, records);  // a damaged file keeps what could be read
  refs.map.push_back(0);
  // A star farther in declination than the radius (with a margin well above the rounding of the
  // separation) lies outside without working out the separation.
  const double decReach = DegToRad(fovDeg) + 1e-6;
  for (std::size_t j = 0; j < records.size(); ++j) {
    if (j % 4096 == 0) {
      if (task.Cancelled()) return 0;
      task.Yield();
    }
    const CatalogueRecord& r = records[j];
    const double ra = static_cast<double>(r.raOffset) + Pi, dec = r.dec;
    if (std::fabs(dec - centreDec) > decReach) continue;
    if (RadToDeg(AngularSeparation(ra, dec, centreRa, centreDec)) > fovDeg) continue;
    if (!AboveHorizon(visibility, ra, dec)) continue;
    refs.stars.push_back({ra, dec, r.magnitude, static_cast<std::int32_t>(j + 1)});
    refs.map.push_back(refs.size());
  }
  return refs.size();
}
