#!/usr/bin/env python3
"""Writes the project file of a generated office building with N zones for vexlar-x.

The building has floors of at most --per-floor zones laid out on a grid. Every floor has
a stairwell (its first zone) joined to the stairwells above and below by an open stair;
rooms are joined to their east neighbour by a door and to their north neighbour by a
crack; every room on the facade has a window and a crack on each outside wall, under a
wind-pressure profile; the top stairwell has a roof vent. Rooms are warmer than the
outside air, so wind and stack both drive the flows.

With --transient the run is a year of hourly transient airflow steps, and the windows
open and close over each day (a linear day schedule from 0.2 at midnight to 1 at noon).
With --species every room releases CO2 (5e-6 kg/s, outdoor air at 6.08e-4) and the run
transports it: steadily, or with --transient over the year of hourly steps, whose airflow
--steady-airflow keeps at its steady start. --results writes the SIM file and the results
database with path flows and zone states, and with --species the zone concentrations too.

Usage: gen-building.py N [--per-floor P] [--newton K] [--slae K] [--reorder 0|1]
                         [--itmax K] [--results | --sim-only] [--transient]
                         [--species [--steady-airflow]] [-o FILE]
"""
import argparse
import math
import sys

STOREY = 3.0     # floor-to-floor height [m]
ROOM = 5.0       # grid spacing [m]


def run_control(a):
    """The 34 lines of the Run Control section."""
    sim = 1 if a.results or a.sim_only else 0
    db = 1 if a.results else 0
    conc = 1 if a.results and a.species else 0   # zone concentrations in both files
    sim_af = 1 if a.transient and not a.steady_airflow else 0
    sim_mf = (2 if a.transient else 1) if a.species else 0
    times = ("Jan01 0:00:00 Jan01 0:00:00 Dec31 24:00:00 1:00:00 1:00:00 24:00:00" if a.transient
             else "Jan15 12:00:00 Jan15 0:00:00 Jan15 24:00:00 0:05:00 1:00:00 1:00:00")
    dbg = ["0"] * 16
    dbg[1] = "1"  # solver summary line with timing
    return [
        "0 0 0 0 0.0 0 0.0 0.0 0 0.0 0.0",
        "0.0 0 0 0 0 0",
        "! Tambt[K]  Pbar[Pa]  WS[m/s]  WD[deg]  RH  daytype",
        "273.15 101325 6.0 225 0.5 1 0 0 0 0",
        "0 0 0 0 0 0 0 0 0 0",
        "null   ! weather file",
        "null   ! ambient contaminant file",
        "null   ! continuous values file",
        "null   ! discrete values file",
        "null   ! wind-pressure and ambient-concentration file",
        "(editor state)",
        "(editor state)",
        "0 0 0 0 0",
        "0 0 0:00:00 1/1 12/31 0 0 0",
        "0 0 0 0 0 0 0",
        "! sim_af newton itmax relcnvg abscnvg relax - bldg_dp -",
        f"{sim_af} {a.newton} {a.itmax} 1e-4 1e-5 0.75 0 50 0",
        "! af_slae af_reorder - cnvg af_init af_corr",
        f"{a.slae} {a.reorder} 0 1e-6 1 0",
        f"{sim_mf} 0 1e-4 1e-15 0 0",
        "0 1 100 1e-4 1e-15 1.25 0 0",
        "0 1 100 1e-4 1e-15 1.1 1 0",
        "0 1 100 1e-4 1e-15 1.1 0",
        "0 0 0 0.1 0 0",
        "1 1e-4 1e-15 0",
        "0 0 3 0 0 0 0",
        times,
        "0 Jan15 0:00:00",
        f"0 0 {sim} {sim} {conc}",
        "0 0 0 0 0 0 0 0",
        "0 0 0 0 0 0",
        f"0 0 {db} {db} {conc}",
        "1.2041 9.8055 " + " ".join(dbg),
        "0",
        "0 0 0",
        "0 1e-3 0 0 5 0 0 0 0 0",
        "-999",
    ]


FIXED_SECTIONS_BEFORE_ELEMENTS = """\
{species}
-999
{levels}
1
{day_schedule}
-999
1
1 0 0 always
Always on
1 1 1 1 1 1 1 1 1 1 1 1
-999
2
1 5 3 facade
Wall of a low-rise building (trigonometric fit)
0 0.60
90 -0.50
180 -0.30
270 -0.50
360 0.60
2 5 2 roof
Roof vent (periodic spline)
0 -0.60
90 -0.40
180 -0.60
270 -0.40
360 -0.60
-999
0 ! kinetic reactions
-999
0 ! filter elements
-999
0 ! filters
-999
{source_elements}
-999
4
1 0 plr_leak1 crack
Crack
1e-6 5e-4 0.65
2 0 plr_orfc window
Window, 0.05 m2
1e-5 0.05 0.5
3 0 dor_door door
Interior door 2.0 x 0.9 m
1e-5 0.2 0.5 0 2.0 0.9 0.6
4 0 plr_stair stair
Open stair between floors
1e-4 1.0 0.55
-999
0 ! duct flow elements
-999
0 ! a section the engine skips
-999
0 ! controls
-999
0 ! simple air-handling systems
-999"""

CRACK, WINDOW, DOOR, STAIR = 1, 2, 3, 4
FACADE, ROOF = 1, 2


CO2 = "1 1\n1\n1 0 0 44.0 0 0 0 1.6e-5 6.08e-4 840 0 0 0 0 0 0 CO2\nCarbon dioxide"
CO2_OUTDOOR = 6.08e-4
BREATHING = "1 ! source/sink elements\n1 CO2 ccf breathing\nOccupants breathing\n5e-6 0 0 0"

STEADY_DAY = "1 2 0 0 0 always\nAlways on\n0:00:00 1\n24:00:00 1"
WINDOW_DAY = "1 3 1 0 0 windows\nWindows open by day\n0:00:00 0.2\n12:00:00 1\n24:00:00 0.2"


def floor_sizes(n, per_floor):
    floors = max(1, math.ceil(n / per_floor))
    base, extra = divmod(n, floors)
    return [base + (1 if f < extra else 0) for f in range(floors)]


def grid(count):
    cols = max(1, math.ceil(math.sqrt(count)))
    return cols, math.ceil(count / cols)


def path_line(num, flags, frm, to, elem, wpf, level, x, y, rel_ht, azimuth, wsch=0):
    # number flags from to elem filter wpf ahs wsch ctrl level x y relHt mult fixedWP
    # windMod azimuth designFlow, two floats and seven words not used, vf, cfd
    return (f"{num} {flags} {frm} {to} {elem} 0 {wpf} 0 {wsch} 0 {level} {x:g} {y:g} {rel_ht:g} 1 0 "
            f"1 {azimuth:g} 0 0 0 0 0 0 0 0 0 0 0 0")


def building(a):
    sizes = floor_sizes(a.zones, a.per_floor)
    zones, paths, rooms = [], [], []
    first = []  # first zone number of every floor (its stairwell)
    window_wsch = 1 if a.transient else 0

    def add_path(*args):
        paths.append(path_line(len(paths) + 1, *args))

    number = 0
    for f, count in enumerate(sizes):
        level = f + 1
        cols, rows = grid(count)
        first.append(number + 1)
        for k in range(count):
            number += 1
            name = "Stair%d" % level if k == 0 else "R%d_%d" % (level, k)
            volume = 3.0 * ROOM * ROOM if k else 30.0
            temp = 291.15 if k == 0 else 293.15
            zones.append(f"{number} 3 0 0 0 {level} 0 {volume:g} {temp:g} 0 {name} 0 0 0 0 0 0 0 0")
            if k:
                rooms.append(number)
        for k in range(count):
            z = first[-1] + k
            c, r = k % cols, k // cols
            x, y = c * ROOM, r * ROOM
            if c + 1 < cols and k + 1 < count:
                add_path(0, z, z + 1, DOOR, 0, level, x + ROOM / 2, y, 1.0, 0)
            if k + cols < count:
                add_path(0, z, z + cols, CRACK, 0, level, x, y + ROOM / 2, 1.5, 0)
            outside = []
            if r == 0:
                outside.append((180, x, y - ROOM / 2))
            if r + 1 == rows or k + cols >= count:
                outside.append((0, x, y + ROOM / 2))
            if c == 0:
                outside.append((270, x - ROOM / 2, y))
            if c + 1 == cols or k + 1 == count:
                outside.append((90, x + ROOM / 2, y))
            for azimuth, px, py in outside:
                add_path(1, -1, z, WINDOW, FACADE, level, px, py, 1.5, azimuth, window_wsch)
                add_path(1, -1, z, CRACK, FACADE, level, px, py, 0.2, azimuth)
        if f > 0:
            add_path(0, first[-2], first[-1], STAIR, 0, level - 1, 0, 0, STOREY, 0)
    add_path(1, -1, first[-1], WINDOW, ROOF, len(sizes), 0, 0, STOREY, 0)
    return sizes, zones, paths, rooms


def species_sections(a, zones, rooms):
    """Initial zone mass fractions and the rooms' sources (empty without --species)."""
    if not a.species:
        return ["0 ! zone concentrations", "-999"], ["0 ! sources and sinks", "-999"]
    conc = [str(len(zones))] + [f"{z + 1} {CO2_OUTDOOR:g}" for z in range(len(zones))] + ["-999"]
    # number zone element wsch ctrl multiplier initial box(6), two words, vf, cfd
    src = [str(len(rooms))]
    src += [f"{k + 1} {z} 1 0 0 1 0 0 0 0 0 0 0 0 0 0 0" for k, z in enumerate(rooms)] + ["-999"]
    return conc, src


def project(a):
    sizes, zones, paths, rooms = building(a)
    conc, sources = species_sections(a, zones, rooms)
    levels = [str(len(sizes))]
    levels += [f"{f + 1} {f * STOREY:g} {STOREY:g} 0 0 0 L{f + 1}" for f in range(len(sizes))]
    levels.append("-999")
    out = ["VexlarW 3.4.0.0 0",
           f"Generated office building: {a.zones} zones on {len(sizes)} floors"]
    out += run_control(a)
    day = WINDOW_DAY if a.transient else STEADY_DAY
    out.append(FIXED_SECTIONS_BEFORE_ELEMENTS.format(
        species=CO2 if a.species else "0\n0", levels="\n".join(levels), day_schedule=day,
        source_elements=BREATHING if a.species else "0 ! source/sink elements"))
    out += [str(len(zones))] + zones + ["-999"] + conc
    out += [str(len(paths))] + paths + ["-999"]
    out += ["0 ! duct junctions", "-999", "0 ! junction concentrations", "-999",
            "0 ! duct segments", "-999"] + sources + [
            "0 ! occupancy schedules", "-999", "0 ! occupants", "-999",
            "0 ! notes", "-999"]
    return "\n".join(out) + "\n"


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("zones", type=int)
    p.add_argument("--per-floor", type=int, default=100)
    p.add_argument("--newton", type=int, default=1)
    p.add_argument("--slae", type=int, default=0)
    p.add_argument("--reorder", type=int, default=1)
    p.add_argument("--itmax", type=int, default=50)
    p.add_argument("--results", action="store_true",
                   help="write the SIM file and database (with --species, zone concentrations too)")
    p.add_argument("--sim-only", action="store_true", help="write the SIM file only")
    p.add_argument("--transient", action="store_true",
                   help="a year of hourly transient steps, windows following a day schedule")
    p.add_argument("--species", action="store_true", help="every room releases CO2")
    p.add_argument("--steady-airflow", action="store_true",
                   help="with --transient: the airflow stays at its steady start")
    p.add_argument("-o", "--output", default="-")
    a = p.parse_args()
    if a.zones < 1 or a.per_floor < 1:
        p.error("zones and --per-floor must be at least 1")
    text = project(a)
    if a.output == "-":
        sys.stdout.write(text)
    else:
        with open(a.output, "w") as f:
            f.write(text)


if __name__ == "__main__":
    main()
