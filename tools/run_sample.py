#!/usr/bin/env python3
"""Runs one quarrix extraction with a box on the sample data of tools/make_sample.py and prints
the statistics and where the output went.

    python3 tools/run_sample.py [FOLDER] [--output NAME] [--box MIN_X MAX_X MIN_Y MAX_Y]

The default box straddles the inner corners of the sample grid, so several tiles (some LAS, some
LAZ) are selected and only part of each is kept.
"""

from __future__ import annotations

import argparse
import sys
from pathlib import Path

import quarrix

DEFAULT_BOX = (500050.0, 500250.0, 4200050.0, 4200150.0)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("folder", nargs="?", default="sample-output", type=Path)
    parser.add_argument("--output", default="extract.laz",
                        help="output file name inside FOLDER; .laz gives compressed output")
    parser.add_argument("--box", nargs=4, type=float, metavar=("MIN_X", "MAX_X", "MIN_Y", "MAX_Y"),
                        default=DEFAULT_BOX)
    parser.add_argument("--verbose", action="store_true")
    args = parser.parse_args()

    index = args.folder / "tiles.gpkg"
    if not index.is_file():
        print(f"No tile index at {index}; run tools/make_sample.py {args.folder} first",
              file=sys.stderr)
        return 1
    output = (args.folder / args.output).resolve()
    box = quarrix.BoundingBox(*args.box)
    print(f"quarrix {quarrix.__version__}: extracting {box!r}")
    print(f"  from the tile index {index.resolve()}")
    try:
        stats = quarrix.extract(str(index), str(output), box, verbose=args.verbose)
    except ValueError as error:
        print(error, file=sys.stderr)
        return 1
    print(stats)
    print(f"  tiles selected:  {stats.tiles_processed}")
    print(f"  points read:     {stats.points_read}")
    print(f"  points written:  {stats.points_written}")
    print(f"  elapsed:         {stats.elapsed_time:.3f} s")
    if stats.points_written:
        print(f"Output written to {output} ({output.stat().st_size} bytes)")
    else:
        print("No point lies inside the box; no output file was written")
    return 0


if __name__ == "__main__":
    sys.exit(main())
