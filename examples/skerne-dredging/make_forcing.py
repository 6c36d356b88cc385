#!/usr/bin/env python3
"""Regenerates the forcing files of the Skerne Roads dredging example.

Skerne Roads is a made-up licensed dump site 6 km off the (equally
made-up) port of Skerne, in 14 m of water on a muddy-sand bed. In March
2026 a trailing suction hopper dredger clears the port's approach channel
and dumps each load at the site. A frame on the bed carries three current
meters at 0.8, 2.5 and 6 m; a log layer of five nodes from 5 cm up to the
lowest meter lies below them. The records cover 16 days from day 60
(1 March) of 2026, hourly:

  * currents: a nearly rectilinear M2 tide along 15 degrees from east, its
    spring-neap cycle from S2 with springs near the middle of the campaign,
    plus a weak residual towards the south-west;
  * bottom stress: u*c from the log law at the lowest meter, and u*cw,
    which adds the friction of a low swell and of a two-day blow around
    day 64;
  * dumps: fourteen hopper loads of 300 to 900 t dry solids, about one a
    day, each row the number of 100 kg packets the dump releases.

The site (site.toml) gives the release point in UTM zone 31N (EPSG:32631)
at 3.0 E, 56.5 N, on the open sea; the script also writes the made-up coast
of Skerne (coast.geojson), its approach channel (channel.geojson) and the
benthic habitats around the dump site (habitats.geojson, field "type").

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
DAY0 = 60.0             # first record, day of the year (1 March 2026, 00:00)
HOURS = 16 * 24         # 16 days of hourly records (385 rows): the run and more
METERS = [0.8, 2.5, 6.0]                  # current-meter heights above the bed, m
DEPTH = 14.0                              # water depth, m
LOG_NODES = [0.05, 0.1, 0.2, 0.4, 0.8]    # log layer, m; the top one is the lowest meter

ORIGIN_LON, ORIGIN_LAT = 3.0, 56.5     # the dump site (site.toml gives it in UTM 31N)

KAPPA = 0.4
Z0 = 0.003495          # roughness length the program's log layer uses, m

M2_PERIOD_H = 12.4206012
S2_PERIOD_H = 12.0
M2_TOP = 0.45           # M2 amplitude along the major axis at 6 m, m/s
S2_RATIO = 0.35         # S2 / M2: springs 1.35, neaps 0.65 of M2
MINOR_RATIO = 0.12      # a nearly rectilinear tide
AXIS_DEG = 15.0         # orientation of the major axis, degrees from x (east)
SPRINGS_H = 7.4 * 24    # hours after the first record at which M2 and S2 are in phase
RESIDUAL = (-0.008, -0.006)  # depth-uniform residual current (u, v), m/s

UB_SWELL = 0.06         # near-bed orbital velocity of the background swell, m/s
UB_BLOW = 0.30          # ... at the peak of the blow, m/s
BLOW_DAY = DAY0 + 4.0   # peak of the blow
BLOW_WIDTH_D = 0.8      # e-folding half-width of the blow, days
FW = 0.03               # wave friction factor

PACKET_MASS_G = 1.0e5   # one packet: 100 kg of dry solids
# (days after the first record, tonnes of dry solids) of each dump
DUMPS = [(0.00, 620), (1.05, 480), (2.10, 850), (3.20, 300), (4.05, 720),
         (5.15, 560), (6.30, 900), (7.10, 410), (8.25, 650), (9.40, 380),
         (10.20, 780), (11.35, 530), (12.45, 690), (13.30, 450)]


def current(z, hours):
    """Velocity (u, v) in m/s at height z, `hours` after the first record."""
    amp = M2_TOP * math.log(z / Z0) / math.log(METERS[-1] / Z0)
    theta = math.radians(AXIS_DEG)
    s2_phase = 2.0 * math.pi * SPRINGS_H * (1.0 / S2_PERIOD_H - 1.0 / M2_PERIOD_H)
    u = v = 0.0
    for period, scale, phase0 in ((M2_PERIOD_H, 1.0, 0.0), (S2_PERIOD_H, S2_RATIO, s2_phase)):
        arg = 2.0 * math.pi * hours / period - phase0
        major = amp * scale * math.cos(arg)
        minor = amp * scale * MINOR_RATIO * math.sin(arg)
        u += major * math.cos(theta) - minor * math.sin(theta)
        v += major * math.sin(theta) + minor * math.cos(theta)
    return u + RESIDUAL[0], v + RESIDUAL[1]


def stress(hours):
    """(u*cw, u*c): friction velocities in m/s."""
    u, v = current(METERS[0], hours)
    ustar_c = KAPPA * math.hypot(u, v) / math.log(METERS[0] / Z0)
    day = DAY0 + hours / 24.0
    ub = UB_SWELL + (UB_BLOW - UB_SWELL) * math.exp(-((day - BLOW_DAY) / BLOW_WIDTH_D) ** 2)
    ustar_w = math.sqrt(0.5 * FW) * ub
    return math.sqrt(ustar_c ** 2 + ustar_w ** 2), ustar_c


def write(name, lines):
    with open(os.path.join(HERE, name), "w", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


def days(hours):
    return "%.10f" % (DAY0 + hours / 24.0)


def write_site_layers():
    layers = sitelayers.Layers(HERE, ORIGIN_LON, ORIGIN_LAT)
    layers.write("coast.geojson", [
        ({"name": "Skerne"},
         [(2, 12), (2, 6.5), (4, 4.5), (6.5, 3.8), (9, 2.6), (12, 1.8), (16, 0.8), (16, 12)]),
    ])
    layers.write("channel.geojson", [
        ({"name": "Skerne approach channel"},
         [(1.0, -0.6), (6.6, 1.6), (8.2, 2.4), (8.0, 2.9), (6.4, 2.1), (0.8, -0.1)]),
    ])
    ellipse = sitelayers.ellipse_km
    layers.write("habitats.geojson", [
        ({"type": "shellfish bed", "name": "Skerne Scalps"}, ellipse(-6.0, -3.5, 1.8, 1.0, 25)),
        ({"type": "seagrass meadow", "name": "Haven Flats"}, ellipse(10.5, 4.2, 2.0, 0.9, -15)),
        ({"type": "cobble reef", "name": "Outer Stones"}, ellipse(-15.0, -8.0, 2.5, 1.5, 30)),
    ])


def main():
    write("lognodes.dat", [
        "Skerne Roads bed frame, March 2026",
        "Log-layer nodes below the lowest current meter (m above the bed).",
        "The top node is the 0.8 m current meter; the bottom node is href.",
        "XXXX",
        str(len(LOG_NODES)),
        " ".join("%.2f" % z for z in LOG_NODES),
    ])
    write("intnodes.dat", [
        "Skerne Roads bed frame, March 2026",
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
        write("vel_%03.0fcm.dat" % (100 * z), [
            "Skerne Roads bed frame, current meter %.1f m above the bed" % z,
            "Hourly means; u towards 090 (east), v towards 000 (north), m/s",
            "Time is the day of the year %d (UT) at the middle of the average" % YEAR,
            "XXXX",
            "Skerne Roads ADV at %.1f m, deployment SR-26-03" % z,
            "columns: day  u (m/s)  v (m/s)",
            str(YEAR),
            "3",
        ] + rows)
    rows = []
    for h in range(HOURS + 1):
        cw, c = stress(h)
        rows.append("%s %9.6f %9.6f" % (days(h), cw, c))
    write("stress.dat", [
        "Skerne Roads bottom stress, March 2026",
        "u*c from the log law at the 0.8 m meter; u*cw adds the wave friction",
        "of the swell and of the blow on day %.0f." % BLOW_DAY,
        "XXXX",
        "Skerne Roads current and current-wave friction, SR-26-03",
        "columns: day  u*cw (m/s)  u*c (m/s)",
        str(YEAR),
        "3",
    ] + rows)
    write("dumps.dat", [
        "Skerne approach channel maintenance dredging, March 2026: the dumps",
        "at Skerne Roads. One row per dump: the day the hopper opens, the",
        "number of packets it releases at that time (each %.0f kg of dry" % (PACKET_MASS_G / 1000),
        "solids; a count, not a rate), and the load in tonnes (not read).",
        "XXXX",
        "%.1e" % PACKET_MASS_G,
        "Skerne approach channel, hopper dumps, campaign SR-26-03",
        str(YEAR),
        "3",
    ] + ["%.4f %6d %5d" % (DAY0 + d, round(t * 1.0e6 / PACKET_MASS_G), t) for d, t in DUMPS])
    write_site_layers()


if __name__ == "__main__":
    main()
