#!/usr/bin/env python3
"""Regenerates the forcing files of the Aldmouth Bank example.

Aldmouth Bank is a made-up site on a sandy shelf in 20 m of water. A tripod
carries four current meters at 1, 3, 6 and 11 m above the bed; a log layer
of six nodes from 5 cm up to the lowest meter lies below them. The records
cover two weeks from day 152 (1 June) of 2026, hourly:

  * currents: an M2 tide with a spring-neap cycle from S2, elliptical,
    veering with height and leading near the bed, plus a weak residual;
  * bottom stress: the current friction velocity u*c from the log law at
    the lowest meter, and a storm in the middle of the fortnight whose waves
    raise the combined friction velocity u*cw and thicken the wave boundary
    layer.

The site (site.toml) puts the release point at 2.30 E, 54.85 N, on the open
sea; the script also writes its made-up coast (coast.geojson: the headland
of Aldmouth Ness) and benthic habitats (habitats.geojson, field "type").

Run it from anywhere: the files are written next to this script.
    python3 make_forcing.py
Only the Python standard library is used.
"""
import math
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
import sitelayers  # noqa: E402  (examples/sitelayers.py: the made-up layers' shapes)

YEAR = 2026
DAY0 = 152.0            # first record, day of the year (1 June 2026, 00:00)
HOURS = 14 * 24         # two weeks of hourly records (337 rows)
METERS = [1.0, 3.0, 6.0, 11.0]          # current-meter heights above the bed, m
DEPTH = 20.0                             # water depth, m
LOG_NODES = [0.05, 0.1, 0.2, 0.4, 0.7, 1.0]  # log layer, m; the top one is the lowest meter

ORIGIN_LON, ORIGIN_LAT = 2.30, 54.85   # the release point, as site.toml gives it

KAPPA = 0.4
Z0 = 0.003495           # roughness length the program's log layer uses, m

M2_PERIOD_H = 12.4206012
S2_PERIOD_H = 12.0
M2_TOP = 0.62           # M2 major-axis amplitude at 11 m, m/s
S2_RATIO = 0.33         # S2 / M2 amplitude: springs 1.33, neaps 0.67 of M2
MINOR_RATIO = 0.28      # ellipse minor/major axis
AXIS_DEG_BED = 28.0     # orientation of the major axis at 1 m, degrees from x
VEER_DEG = 9.0          # extra orientation from 1 m to 11 m (veering with height)
LEAD_DEG_BED = 14.0     # phase lead of the current at 1 m over the current at 11 m
RESIDUAL = (0.035, 0.012)  # depth-uniform residual current (u, v), m/s

STORM_DAY = DAY0 + 7.0  # peak of the storm, middle of the fortnight
STORM_WIDTH_D = 0.9     # e-folding half-width of the storm, days
UB_CALM, UB_STORM = 0.04, 0.55   # near-bed wave orbital velocity, m/s
WAVE_PERIOD_CALM, WAVE_PERIOD_STORM = 6.0, 10.0  # s
FW = 0.02               # wave friction factor


def profile_factor(z):
    """Tidal amplitude at height z relative to 11 m: a logarithmic bottom layer."""
    return math.log(z / Z0) / math.log(METERS[-1] / Z0)


def current(z, hours):
    """Velocity (u, v) in m/s at height z, `hours` after the first record."""
    frac = (z - METERS[0]) / (METERS[-1] - METERS[0])
    theta = math.radians(AXIS_DEG_BED + VEER_DEG * frac)
    lead = math.radians(LEAD_DEG_BED * (1.0 - frac))
    amp = M2_TOP * profile_factor(z)
    u = v = 0.0
    for period, scale, phase0 in ((M2_PERIOD_H, 1.0, 0.0), (S2_PERIOD_H, S2_RATIO, 0.4)):
        arg = 2.0 * math.pi * hours / period - phase0 + lead
        major = amp * scale * math.cos(arg)
        minor = amp * scale * MINOR_RATIO * math.sin(arg)
        u += major * math.cos(theta) - minor * math.sin(theta)
        v += major * math.sin(theta) + minor * math.cos(theta)
    return u + RESIDUAL[0], v + RESIDUAL[1]


def stress(hours):
    """(u*cw, u*c, zw): friction velocities in m/s and wave boundary layer height in m."""
    u, v = current(METERS[0], hours)
    ustar_c = KAPPA * math.hypot(u, v) / math.log(METERS[0] / Z0)
    day = DAY0 + hours / 24.0
    storm = math.exp(-((day - STORM_DAY) / STORM_WIDTH_D) ** 2)
    ub = UB_CALM + (UB_STORM - UB_CALM) * storm
    period = WAVE_PERIOD_CALM + (WAVE_PERIOD_STORM - WAVE_PERIOD_CALM) * storm
    ustar_w = math.sqrt(0.5 * FW) * ub
    ustar_cw = math.sqrt(ustar_c ** 2 + ustar_w ** 2)
    zw = 2.0 * KAPPA * ustar_cw * period / (2.0 * math.pi)  # wave boundary layer height
    return ustar_cw, ustar_c, zw


def write(name, lines):
    with open(os.path.join(HERE, name), "w", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


def days(hours):
    return "%.10f" % (DAY0 + hours / 24.0)


def write_site_layers():
    layers = sitelayers.Layers(HERE, ORIGIN_LON, ORIGIN_LAT)
    layers.write("coast.geojson", [
        ({"name": "Aldmouth Ness"},
         [(14, 26), (14, 20.5), (17, 17.5), (21, 16.0), (26, 15.5), (31, 14.0), (36, 13.0),
          (36, 26)]),
    ])
    ellipse = sitelayers.ellipse_km
    layers.write("habitats.geojson", [
        ({"type": "mussel bed", "name": "Bank Scalp"}, ellipse(10.0, 4.2, 1.6, 0.9, 15)),
        ({"type": "seagrass meadow", "name": "Ness Flats"}, ellipse(19.5, 12.5, 2.5, 1.2, -10)),
        ({"type": "sand ridge", "name": "Aldmouth Ridge"}, ellipse(4.0, -2.5, 4.0, 1.2, 8)),
        ({"type": "maerl bed", "name": "East Grounds"}, ellipse(24.0, 8.0, 1.5, 1.5)),
    ])


def main():
    write("lognodes.dat", [
        "Aldmouth Bank tripod, June 2026",
        "Log-layer nodes below the lowest current meter (m above the bed).",
        "The top node is the 1 m current meter; the bottom node is href.",
        "XXXX",
        str(len(LOG_NODES)),
        " ".join("%.2f" % z for z in LOG_NODES),
    ])
    write("intnodes.dat", [
        "Aldmouth Bank tripod, June 2026",
        "Current-meter positions as vertical coordinates (m, negative below",
        "the mean surface in %.0f m of water), lowest meter first." % DEPTH,
        "XXXX",
        str(len(METERS)),
    ] + ["%.1f" % (z - DEPTH) for z in METERS])
    for z in METERS:
        rows = []
        for h in range(HOURS + 1):
            u, v = current(z, h)
            rows.append("%s %9.5f %9.5f" % (days(h), u, v))
        write("vel_%02.0fm.dat" % z, [
            "Aldmouth Bank tripod, current meter %.0f m above the bed" % z,
            "Hourly means; u towards 090 (east), v towards 000 (north), m/s",
            "Time is the day of the year %d (UT) at the middle of the average" % YEAR,
            "XXXX",
            "Aldmouth Bank ACM at %.0f m, deployment AB-26-06" % z,
            "columns: day  u (m/s)  v (m/s)",
            str(YEAR),
            "3",
        ] + rows)
    rows = []
    for h in range(HOURS + 1):
        cw, c, zw = stress(h)
        rows.append("%s %9.6f %9.6f %9.5f" % (days(h), cw, c, zw))
    write("stress.dat", [
        "Aldmouth Bank bottom stress, June 2026",
        "u*c from the log law at the 1 m meter; u*cw from the wave orbital",
        "velocity of the tripod's pressure sensor (storm on day %.0f)." % STORM_DAY,
        "XXXX",
        "Aldmouth Bank combined current-wave friction, AB-26-06",
        "columns: day  u*cw (m/s)  u*c (m/s)  zw (m)",
        str(YEAR),
        "4",
    ] + rows)
    write_site_layers()


if __name__ == "__main__":
    main()
