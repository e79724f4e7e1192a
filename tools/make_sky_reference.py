#!/usr/bin/python3
"""Writes tests/data/sky/topocentric_reference.txt: topocentric places of real satellites computed
independently of Orvia, for the test that checks the program's prediction chain row by row, and how far
the site's height moves the Moon.

Run once by hand from the repository root with Debian's python3-sgp4 and python3-erfa:
    /usr/bin/python3 tools/make_sky_reference.py

The model is the one Orvia's prediction chain states, built here from independent code:
- the satellite: SGP4 of the element set with the WGS-84 constants (python-sgp4, Satrec.twoline2rv
  with WGS84), position in the propagator's TEME frame (true equator, mean equinox of date);
- the site: geodetic latitude, east longitude and height on the WGS-84 ellipsoid turned into
  Earth-fixed geocentric coordinates by ERFA's gd2gc, then about the pole by the Greenwich mean
  sidereal time of the IAU 1982 expression (ERFA's gmst82), UTC used as UT1 and no polar motion:
  this is the TEME frame's own definition of the Earth's orientation;
- the topocentric TEME direction: satellite minus site, no light-time, aberration or refraction;
- TEME -> J2000: the true equinox lies the equation of the equinoxes dpsi cos(eps0) west of the mean
  one (the classical form without the later terms in the Moon's node, which TEME does not contain);
  nutation IAU 1980 (ERFA's nut80, all 106 terms, with obl80 and numat), precession IAU 1976
  (ERFA's pmat76), both at Terrestrial Time (UTC + leap seconds + 32.184 s).
The Moon rows give the shift of the Moon's topocentric J2000 place when the site rises from the ellipsoid
to its height: ERFA's moon98 (geocentric, GCRS taken as J2000) less the site of gd2gc at height 0 and at
the height, each site turned to J2000 by the same sidereal time, nutation and precession as above. The
shift depends on the Moon's distance and direction only to first order, so the theory's own error (some
arcseconds) changes it by far less than 0.001".
Orvia itself evaluates precession and nutation at UTC and keeps the 63 largest nutation terms; both
simplifications stay below 0.02". Its sidereal time uses the linear coefficient 8640184.812 s where
gmst82 has 8640184.812866 s, a 0.004" difference in 2026.
"""

import importlib.metadata
import math
import os
import sys

import erfa
import numpy as np
from sgp4.api import WGS84, Satrec

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "tests", "data", "sky", "topocentric_reference.txt")

# Element sets (catalogue number, file under tests/data/tle).
SETS = [(25544, "stations_3line.txt"), (48274, "stations_3line.txt"), (41866, "stations_3line.txt"),
        (40069, "sat_ui_sets.txt")]

# Sites: geodetic latitude and east longitude (degrees), height above the ellipsoid (m).
SITES = [(55.7558, 37.6173, 150.0), (43.6467, 41.4400, 2070.0), (35.2000, -120.6000, 0.0),
         (-0.2200, -78.5100, 2850.0), (-30.1700, -70.8000, 3000.0), (-33.9200, 18.4200, 0.0),
         (46.5500, 7.9800, 1000.0)]

# Moon samples: sites above the ellipsoid, times 7 h apart over a month, the Moon at least 10 deg up.
MOON_SITES = [(46.5500, 7.9800, 1000.0), (-30.1700, -70.8000, 3000.0)]
MOON_ROWS_PER_SITE = 4
AU_KM = 149597870.7

ROWS_PER_PAIR = 3          # samples (passes) per satellite and site
MIN_ALTITUDE_DEG = 10.0    # only samples that an observer could take


def read_sets():
    out = {}
    for number, name in SETS:
        lines = [l.rstrip("\r\n") for l in open(os.path.join(ROOT, "tests", "data", "tle", name), encoding="latin-1")]
        for i, l in enumerate(lines):
            if l.startswith("1 ") and int(l[2:7]) == number:
                out[number] = (l, lines[i + 1])
                break
    return out


def split_mjd(mjd):
    day = math.floor(mjd)
    return 2400000.5 + day, mjd - day


def tt_of_utc(jd1, jd2):
    tai1, tai2 = erfa.utctai(jd1, jd2)
    return erfa.taitt(tai1, tai2)


def topocentric(sat, mjd, lat_deg, lon_deg, height_m):
    jd1, jd2 = split_mjd(mjd)
    error, r, _ = sat.sgp4(jd1, jd2)
    if error:
        return None
    r = np.array(r)
    gmst = erfa.gmst82(jd1, jd2)  # UT1 = UTC
    fixed = erfa.gd2gc(1, math.radians(lon_deg), math.radians(lat_deg), height_m) / 1000.0  # WGS-84, km
    site = erfa.rz(-gmst, np.identity(3)) @ fixed
    rho = r - site
    tt1, tt2 = tt_of_utc(jd1, jd2)
    dpsi, deps = erfa.nut80(tt1, tt2)
    eps0 = erfa.obl80(tt1, tt2)
    tod = erfa.rz(-dpsi * math.cos(eps0), np.identity(3)) @ rho
    mean = erfa.numat(eps0, dpsi, deps).T @ tod
    j2000 = erfa.pmat76(tt1, tt2).T @ mean
    # Altitude from the site's local vertical in the Earth-fixed frame.
    up = np.array([math.cos(math.radians(lat_deg)) * math.cos(math.radians(lon_deg)),
                   math.cos(math.radians(lat_deg)) * math.sin(math.radians(lon_deg)), math.sin(math.radians(lat_deg))])
    rho_fixed = erfa.rz(gmst, np.identity(3)) @ rho
    altitude = math.degrees(math.asin(np.dot(rho_fixed, up) / np.linalg.norm(rho)))
    ra_t, dec_t = erfa.c2s(rho)
    ra_j, dec_j = erfa.c2s(j2000)
    return (math.degrees(erfa.anp(ra_t)), math.degrees(dec_t), math.degrees(erfa.anp(ra_j)), math.degrees(dec_j),
            float(np.linalg.norm(rho)), altitude)


def fixed_to_j2000(vector_km, jd1, jd2):
    """An Earth-fixed vector turned to J2000 as the satellite chain turns the site."""
    gmst = erfa.gmst82(jd1, jd2)
    teme = erfa.rz(-gmst, np.identity(3)) @ vector_km
    tt1, tt2 = tt_of_utc(jd1, jd2)
    dpsi, deps = erfa.nut80(tt1, tt2)
    eps0 = erfa.obl80(tt1, tt2)
    tod = erfa.rz(-dpsi * math.cos(eps0), np.identity(3)) @ teme
    return erfa.pmat76(tt1, tt2).T @ (erfa.numat(eps0, dpsi, deps).T @ tod)


def moon_shift(mjd, lat_deg, lon_deg, height_m):
    """Shift (arcsec) in RA cos(Dec) and in Dec of the Moon's J2000 place from height 0 to height_m, and
    the Moon's geometric altitude."""
    jd1, jd2 = split_mjd(mjd)
    tt1, tt2 = tt_of_utc(jd1, jd2)
    moon = erfa.moon98(tt1, tt2)[0] * AU_KM
    places = []
    for h in (0.0, height_m):
        fixed = erfa.gd2gc(1, math.radians(lon_deg), math.radians(lat_deg), h) / 1000.0
        ra, dec = erfa.c2s(moon - fixed_to_j2000(fixed, jd1, jd2))
        places.append((ra, dec))
    (ra0, dec0), (ra1, dec1) = places
    d_ra = math.degrees(math.remainder(ra1 - ra0, 2 * math.pi)) * math.cos(dec0) * 3600.0
    d_dec = math.degrees(dec1 - dec0) * 3600.0
    up = np.array([math.cos(math.radians(lat_deg)) * math.cos(math.radians(lon_deg)),
                   math.cos(math.radians(lat_deg)) * math.sin(math.radians(lon_deg)), math.sin(math.radians(lat_deg))])
    up = fixed_to_j2000(up, jd1, jd2)
    rho = moon - fixed_to_j2000(erfa.gd2gc(1, math.radians(lon_deg), math.radians(lat_deg), 0.0) / 1000.0, jd1, jd2)
    altitude = math.degrees(math.asin(np.dot(rho, up) / np.linalg.norm(rho)))
    return d_ra, d_dec, altitude


def moon_rows():
    rows = []
    for lat, lon, height in MOON_SITES:
        taken = 0
        for k in range(120):
            mjd = 61260.0 + k * 7.0 / 24.0 + 17.0 / 86400.0
            d_ra, d_dec, altitude = moon_shift(mjd, lat, lon, height)
            if altitude < MIN_ALTITUDE_DEG:
                continue
            rows.append((lat, lon, height, mjd, d_ra, d_dec, altitude))
            taken += 1
            if taken == MOON_ROWS_PER_SITE:
                break
    return rows


def main():
    sets = read_sets()
    rows = []
    for number, _ in SETS:
        l1, l2 = sets[number]
        sat = Satrec.twoline2rv(l1, l2, WGS84)
        epoch = sat.jdsatepoch - 2400000.5 + sat.jdsatepochF
        for lat, lon, height in SITES:
            # Whole minutes (plus 17 s) from 0.1 day after the epoch over two days; of every pass above
            # MIN_ALTITUDE_DEG the sample nearest its culmination (the shortest range, where the site
            # matters most). The geostationary set never culminates: its samples are 3 h apart.
            taken, best = [], None
            start = math.floor(epoch * 1440.0) / 1440.0 + 0.1
            step = 180 if sat.no_kozai < 0.01 else 1
            for k in range(0, 2 * 1440, step):
                mjd = start + k / 1440.0 + 17.0 / 86400.0
                place = topocentric(sat, mjd, lat, lon, height)
                visible = place is not None and place[5] >= MIN_ALTITUDE_DEG
                if visible and step > 1:
                    taken.append((mjd, place))
                elif visible and (best is None or place[5] > best[1][5]):
                    best = (mjd, place)
                elif not visible and best is not None:
                    taken.append(best)
                    best = None
                if len(taken) == ROWS_PER_PAIR:
                    break
            for mjd, place in taken:
                rows.append((number, lat, lon, height, mjd) + place)
    with open(OUT, "w", newline="\n") as f:
        f.write("# Topocentric places of real satellites, computed independently of Orvia by\n")
        f.write("# tools/make_sky_reference.py with Debian's python3-sgp4 %s and python3-erfa %s (ERFA %s).\n"
                % (importlib.metadata.version("sgp4"), erfa.__version__, erfa.version.erfa_version))
        f.write("# Model: SGP4 with WGS-84 constants (TEME); site on the WGS-84 ellipsoid (gd2gc) turned by the\n")
        f.write("# IAU 1982 mean sidereal time (gmst82, UT1 = UTC, no polar motion); TEME -> true of date by the\n")
        f.write("# equation of the equinoxes dpsi cos(eps0); nutation IAU 1980 (nut80, numat, obl80); precession\n")
        f.write("# IAU 1976 (pmat76); both at TT. No light-time, aberration or refraction.\n")
        f.write("# Element sets: CelesTrak (T.S. Kelso), the excerpts in tests/data/tle (see SOURCE.md there).\n")
        f.write("#\n# TLE lines: 'TLE', then the two element lines.\n")
        f.write("# ROW: catalogue number, latitude (deg, geodetic), east longitude (deg), height (m), MJD (UTC),\n")
        f.write("#      topocentric RA and Dec in TEME of date (deg), topocentric RA and Dec in J2000 (deg),\n")
        f.write("#      range (km), altitude (deg, geometric).\n")
        f.write("# MOON: latitude (deg, geodetic), east longitude (deg), height (m), MJD (UTC), shift of the Moon's\n")
        f.write("#      topocentric J2000 place from height 0 to that height in RA cos(Dec) and in Dec (arcsec),\n")
        f.write("#      the Moon's geometric altitude (deg); the Moon of ERFA's moon98.\n")
        for number, _ in SETS:
            l1, l2 = sets[number]
            f.write("TLE\n%s\n%s\n" % (l1, l2))
        for r in rows:
            f.write("ROW %d %.4f %.4f %.1f %r %.10f %.10f %.10f %.10f %.6f %.4f\n" % r)
        for r in moon_rows():
            f.write("MOON %.4f %.4f %.1f %r %.5f %.5f %.4f\n" % r)
    print("%d rows written to %s" % (len(rows), OUT), file=sys.stderr)


if __name__ == "__main__":
    main()
