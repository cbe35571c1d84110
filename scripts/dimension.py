#!/usr/bin/env python3
"""Fits the mass-radius dimension of clusters from zorv-dla-batch --points lists.

M(r) is the number of particles at rest within r pixels of the centre (the
mean of the seed pixels: the centre pixel of outward growth). The dimension
is the slope of log M against log r, a least-squares fit over radii spaced
evenly in log r from --rmin pixels to --rmax times the cluster's extent (the
largest distance of a particle from the centre). The default range, 5 px to
half the extent, leaves out the few pixels where the grid shows and the
outer half, where the cluster is still growing and new particles arrive
(its seeding circle runs just outside it): there M(r) bends over.

With --local it also prints the local slopes, log(M(2r) / M(r)) / log 2 for
r = rmin, 2 rmin, 4 rmin, ... while 2r is within the extent: how the
dimension changes with scale. The range and the local slopes show in --json
too.

The list is read by its header (x, y and parent are needed; other columns
are ignored). Seed pixels are the rows of kind "seed" when the list has a
kind column, otherwise the rows with parent -1 before the first particle; a
particle stuck to the canvas edge, also with parent -1, counts as a
particle. The fit is made for outward growth; for inward growth the count
from the centre means something else.

    python3 scripts/dimension.py tree.csv              # the dimension and its fit range
    python3 scripts/dimension.py runs/*.csv            # one line each, then mean and spread
    python3 scripts/dimension.py --json runs/*.csv     # one JSON line each
    python3 scripts/dimension.py --local runs/*.csv    # also the slope over each doubling of r
    python3 scripts/dimension.py --selftest            # fits of shapes of known dimension

Exit status 0, or 2 with one line on stderr for a list that cannot be read
or fitted. Python 3 standard library only.
"""

import argparse
import bisect
import csv
import io
import json
import math
import statistics
import subprocess
import sys
import tempfile


class Unfit(Exception):
    """A list that cannot be read or fitted; the text says why."""


def readpoints(lines, name="list"):
    """Returns (seeds, particles), each a list of (x, y), from the lines of a
    --points list."""
    rows = csv.reader(lines)
    header = next(rows, None)
    if header is None:
        raise Unfit(f"{name}: empty, not a --points list")
    column = {title.strip(): i for i, title in enumerate(header)}
    for needed in ("x", "y", "parent"):
        if needed not in column:
            raise Unfit(f"{name}: no '{needed}' column in the header line")
    cx, cy, cparent = column["x"], column["y"], column["parent"]
    ckind = column.get("kind")
    width = max(cx, cy, cparent, -1 if ckind is None else ckind) + 1
    seeds, particles = [], []
    for number, row in enumerate(rows, start=2):
        if not row:
            continue
        if len(row) < width:
            raise Unfit(f"{name}: line {number} has {len(row)} fields, fewer than the header's columns")
        try:
            x, y, parent = int(row[cx]), int(row[cy]), int(row[cparent])
        except ValueError:
            raise Unfit(f"{name}: line {number}: x, y and parent must be whole numbers") from None
        if ckind is not None:
            seed = row[ckind].strip() == "seed"
        else:
            seed = parent == -1 and not particles
        (seeds if seed else particles).append((x, y))
    if not seeds:
        raise Unfit(f"{name}: no seed pixel (rows with parent -1 first), so no centre")
    return seeds, particles


def fit(distances, rmin, rmax, radii):
    """Slope and intercept of log M(r) against log r over radii spaced evenly
    in log r from rmin to rmax; distances sorted."""
    logs = []
    for k in range(radii):
        r = rmin * (rmax / rmin) ** (k / (radii - 1))
        mass = bisect.bisect_right(distances, r)
        if mass > 0:
            logs.append((math.log(r), math.log(mass)))
    if len(logs) < 2:
        raise Unfit(f"no particles within {rmax:.1f} px of the centre")
    mx = statistics.fmean(u for u, _ in logs)
    my = statistics.fmean(v for _, v in logs)
    sxx = sum((u - mx) ** 2 for u, _ in logs)
    sxy = sum((u - mx) * (v - my) for u, v in logs)
    slope = sxy / sxx
    return slope, my - slope * mx


def measure(seeds, particles, rmin=5.0, rmaxfraction=0.5, radii=24, centre=None, name="list"):
    """The mass-radius dimension of one cluster, with its fit range and the
    figures it came from."""
    if centre is None:
        centre = (statistics.fmean(x for x, _ in seeds), statistics.fmean(y for _, y in seeds))
    if not particles:
        raise Unfit(f"{name}: no particle besides the seed")
    distances = sorted(math.hypot(x - centre[0], y - centre[1]) for x, y in particles)
    extent = distances[-1]
    rmax = rmaxfraction * extent
    if rmax <= rmin:
        raise Unfit(f"{name}: extent {extent:.1f} px is too small for a fit from {rmin:g} px to "
                    f"{rmaxfraction:g} of it; grow a larger cluster or lower --rmin")
    slope, _ = fit(distances, rmin, rmax, radii)
    local = []
    r = rmin
    while 2 * r <= extent:
        inner = bisect.bisect_right(distances, r)
        if inner > 0:
            outer = bisect.bisect_right(distances, 2 * r)
            local.append([round(r, 2), round(2 * r, 2), round(math.log(outer / inner) / math.log(2), 4)])
        r *= 2
    n = len(particles)
    mx = statistics.fmean(x for x, _ in particles)
    my = statistics.fmean(y for _, y in particles)
    gyration = math.sqrt(statistics.fmean((x - mx) ** 2 + (y - my) ** 2 for x, y in particles))
    return {"file": name, "dimension": round(slope, 4), "rmin": rmin, "rmax": round(rmax, 2),
            "extent": round(extent, 2), "gyration": round(gyration, 2), "particles": n,
            "centre": [round(centre[0], 2), round(centre[1], 2)], "local": local}


def selftest(batch=None):
    """Fits shapes of known dimension and checks the reader's errors; with
    the batch program, also a cluster it grows."""
    failures = []

    def check(what, ok):
        print(("ok   " if ok else "FAIL ") + what)
        if not ok:
            failures.append(what)

    def aslist(seeds, particles, extra=""):
        text = "id,parent,x,y,colour_index,colour" + extra + "\n"
        for i, (x, y) in enumerate(seeds + particles):
            text += f"{i},{-1 if i < len(seeds) else 0},{x},{y},1,#000000{',0' if extra else ''}\n"
        return io.StringIO(text)

    centre = (400, 400)
    line = [(centre[0] + d, centre[1]) for d in range(-300, 301) if d]
    disc = [(centre[0] + dx, centre[1] + dy) for dx in range(-300, 301) for dy in range(-300, 301)
            if 0 < dx * dx + dy * dy <= 300 * 300]
    # The Vicsek fractal: a cross of five squares, each again such a cross,
    # of dimension log 5 / log 3 = 1.465.
    cross = [(0, 0)]
    for level in range(6):
        step = 3 ** level
        cross = [(x + dx * step, y + dy * step) for dx, dy in ((0, 0), (1, 0), (-1, 0), (0, 1), (0, -1))
                 for x, y in cross]
    vicsek = [(centre[0] + x, centre[1] + y) for x, y in cross if (x, y) != (0, 0)]

    for what, shape, expected in (("a line", line, 1.0), ("a filled disc", disc, 2.0),
                                  ("the Vicsek fractal", vicsek, math.log(5) / math.log(3))):
        seeds, particles = readpoints(aslist([centre], shape, ",steps"))
        result = measure(seeds, particles)
        got = result["dimension"]
        check(f"{what}: {got:.3f}, expected {expected:.3f}", abs(got - expected) < 0.05)
        if what != "the Vicsek fractal":  # its local slopes swing with its levels
            worst = max(abs(slope - expected) for _, _, slope in result["local"])
            check(f"{what}: {len(result['local'])} local slopes, each within {worst:.3f} of it",
                  len(result["local"]) == 5 and worst < 0.1)

    seeds, particles = readpoints(io.StringIO("kind,y,x,parent\nseed,5,7,-1\ncluster,5,8,0\nedge,0,0,-1\n"))
    check("columns read by the header, edge particles kept apart from seeds",
          seeds == [(7, 5)] and particles == [(8, 5), (0, 0)])
    seeds, particles = readpoints(aslist([(1, 1), (2, 2)], [(3, 3)]))
    check("leading parent -1 rows are the seed", seeds == [(1, 1), (2, 2)] and particles == [(3, 3)])

    for what, text, expected in (
            ("an empty file", "", "empty"),
            ("a header without x", "id,parent,y\n0,-1,5\n", "no 'x' column"),
            ("a short line", "id,parent,x,y\n0,-1,5\n", "line 2 has 3 fields"),
            ("a word for a number", "id,parent,x,y\n0,-1,five,5\n", "line 2: x, y and parent"),
            ("no seed", "id,parent,x,y\n0,3,5,5\n", "no seed pixel")):
        try:
            readpoints(io.StringIO(text))
            check(f"{what} is refused", False)
        except Unfit as error:
            check(f"{what} is refused: {error}", expected in str(error))
    try:
        measure([(0, 0)], [(1, 0), (0, 2)])
        check("a tiny cluster is refused", False)
    except Unfit as error:
        check(f"a tiny cluster is refused: {error}", "too small" in str(error))

    if batch:
        with tempfile.TemporaryDirectory() as folder:
            try:
                code = subprocess.run([batch, "-q", "--seed", "2017", "-s", "400x400", "--threads", "1",
                                       "--points", f"{folder}/tree.csv", f"{folder}/tree.tga"],
                                      capture_output=True, text=True, check=False).returncode
            except OSError as error:
                code = error.strerror
            check(f"{batch} grows a 400x400 cluster with its list (exit {code})", code == 0)
            if code == 0:
                with open(f"{folder}/tree.csv", newline="", encoding="utf-8") as lines:
                    result = measure(*readpoints(lines))
                check(f"its centre is the centre pixel: {result['centre']}", result["centre"] == [200, 200])
                check(f"its dimension lies between a line's and a disc's: {result['dimension']:.3f}",
                      1.4 < result["dimension"] < 1.95)

    print(f"{len(failures)} failed" if failures else "all passed")
    return 1 if failures else 0


def main(argv):
    parser = argparse.ArgumentParser(
        description="Fits the mass-radius dimension of clusters from zorv-dla-batch --points lists.")
    parser.add_argument("lists", nargs="*", metavar="POINTS.csv")
    parser.add_argument("--rmin", type=float, default=5.0, help="smallest radius of the fit, px (default 5)")
    parser.add_argument("--rmax", type=float, default=0.5,
                        help="largest radius of the fit as a fraction of the extent (default 0.5)")
    parser.add_argument("--radii", type=int, default=24, help="radii in the fit, spaced evenly in log r (default 24)")
    parser.add_argument("--centre", help="X,Y: centre of the count (default: the mean of the seed pixels)")
    parser.add_argument("--json", action="store_true", help="one JSON line per list")
    parser.add_argument("--local", action="store_true", help="also the local slopes over each doubling of r")
    parser.add_argument("--selftest", action="store_true", help="fit shapes of known dimension and exit")
    parser.add_argument("--batch", metavar="PROGRAM", help="with --selftest: also fit a cluster grown by PROGRAM")
    options = parser.parse_args(argv)
    if options.selftest:
        return selftest(options.batch)
    if not options.lists:
        parser.error("name at least one --points list")
    if options.rmin <= 0 or not 0 < options.rmax <= 1 or options.radii < 2:
        parser.error("--rmin must be above 0, --rmax from above 0 to 1, --radii at least 2")
    centre = None
    if options.centre:
        try:
            centre = tuple(float(v) for v in options.centre.split(","))
        except ValueError:
            centre = ()
        if len(centre) != 2:
            parser.error(f"--centre: '{options.centre}' is not X,Y")
    dimensions = []
    slopes = {}
    for name in options.lists:
        try:
            with open(name, newline="", encoding="utf-8") as lines:
                seeds, particles = readpoints(lines, name)
            result = measure(seeds, particles, options.rmin, options.rmax, options.radii, centre, name)
        except (OSError, UnicodeDecodeError) as error:
            print(f"dimension.py: {name}: {getattr(error, 'strerror', None) or error}", file=sys.stderr)
            return 2
        except Unfit as error:
            print(f"dimension.py: {error}", file=sys.stderr)
            return 2
        dimensions.append(result["dimension"])
        for low, high, slope in result["local"]:
            slopes.setdefault((low, high), []).append(slope)
        if options.json:
            print(json.dumps(result))
        else:
            print(f"{name}: dimension {result['dimension']:.3f} (r from {result['rmin']:g} to "
                  f"{result['rmax']:.1f} px, extent {result['extent']:.1f} px, {result['particles']} particles)")
            if options.local:
                print("  local: " + ", ".join(f"{low:g}-{high:g} px {slope:.3f}" for low, high, slope in result["local"]))
    if len(dimensions) > 1 and not options.json:
        print(f"mean {statistics.fmean(dimensions):.3f}, standard deviation {statistics.stdev(dimensions):.3f}, "
              f"min {min(dimensions):.3f}, max {max(dimensions):.3f} over {len(dimensions)} lists")
        if options.local:
            for (low, high), values in sorted(slopes.items()):
                spread = f" +- {statistics.stdev(values):.3f}" if len(values) > 1 else ""
                print(f"  local {low:g}-{high:g} px: {statistics.fmean(values):.3f}{spread} over {len(values)} lists")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
