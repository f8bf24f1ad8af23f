#!/usr/bin/env python3
"""Writes a small sample data set for quarrix: a grid of adjacent LAS and LAZ tiles of synthetic
terrain with trees, and a GeoPackage tile index over them (one row per tile, its path in
`location`, its extent in the geometry envelope).

    python3 tools/make_sample.py [FOLDER] [--columns 3] [--rows 2] [--points 40000]

The tiles are written with laspy (LAZ through its laszip backend); the index is written with
Python's sqlite3 module in the GeoPackage layout, so GDAL is not needed. Tiles alternate between
LAS and LAZ in a checkerboard. The same arguments always give the same files.
"""

from __future__ import annotations

import argparse
import sqlite3
import struct
import sys
from dataclasses import dataclass
from pathlib import Path

import numpy as np

try:
    import laspy
except ImportError:  # pragma: no cover - depends on the machine
    sys.exit("make_sample.py needs laspy and laszip: pip install laspy laszip")

TILE_SIZE = 100.0          # metres
GRID_ORIGIN = (500000.0, 4200000.0)
SCALE = 0.01
TABLE = "tiles"
SRS_ID = -1                # GeoPackage's "undefined Cartesian SRS"


@dataclass
class Tile:
    path: Path
    min_x: float
    max_x: float
    min_y: float
    max_y: float
    points: int


def terrain_height(x: np.ndarray, y: np.ndarray) -> np.ndarray:
    """Gently rolling ground, continuous across tile borders."""
    return 120.0 + 6.0 * np.sin(x / 37.0) + 4.0 * np.cos(y / 23.0) + 0.02 * (x - GRID_ORIGIN[0])


def tile_points(column: int, row: int, count: int, rng: np.random.Generator) -> laspy.LasData:
    min_x = GRID_ORIGIN[0] + column * TILE_SIZE
    min_y = GRID_ORIGIN[1] + row * TILE_SIZE
    header = laspy.LasHeader(point_format=3, version="1.2")
    header.scales = np.array([SCALE, SCALE, SCALE])
    header.offsets = np.array([min_x, min_y, 0.0])
    header.system_identifier = "quarrix sample"
    header.generating_software = "quarrix tools/make_sample.py"

    # Stay a quantum inside the tile's square so neighbours' extents never overlap.
    eps = SCALE
    x = rng.uniform(min_x, min_x + TILE_SIZE - eps, count)
    y = rng.uniform(min_y, min_y + TILE_SIZE - eps, count)
    ground = terrain_height(x, y)
    # About a third of the points are vegetation: a few trees whose crowns are cones.
    trees = rng.uniform([min_x, min_y], [min_x + TILE_SIZE, min_y + TILE_SIZE], (25, 2))
    heights = rng.uniform(8.0, 25.0, len(trees))
    nearest = np.argmin((x[:, None] - trees[None, :, 0]) ** 2 + (y[:, None] - trees[None, :, 1]) ** 2,
                        axis=1)
    distance = np.hypot(x - trees[nearest, 0], y - trees[nearest, 1])
    crown = heights[nearest] * np.clip(1.0 - distance / 6.0, 0.0, 1.0)
    is_vegetation = (crown > 0.5) & (rng.random(count) < 0.8)
    z = ground + np.where(is_vegetation, crown * rng.uniform(0.6, 1.0, count), 0.0)

    las = laspy.LasData(header)
    las.x = x
    las.y = y
    las.z = z
    las.intensity = np.where(is_vegetation, rng.integers(200, 900, count),
                             rng.integers(900, 3000, count)).astype(np.uint16)
    las.return_number = np.where(is_vegetation, 1, rng.integers(1, 3, count)).astype(np.uint8)
    las.number_of_returns = np.where(is_vegetation, 1, 2).astype(np.uint8)
    las.return_number = np.minimum(las.return_number, las.number_of_returns)
    las.classification = np.where(is_vegetation, 5, 2).astype(np.uint8)
    las.scan_angle_rank = rng.integers(-20, 21, count).astype(np.int8)
    las.point_source_id = np.full(count, 100 + row * 10 + column, dtype=np.uint16)
    las.gps_time = np.sort(rng.uniform(0.0, 3600.0, count)) + 1000.0 * (row * 10 + column)
    las.red = np.where(is_vegetation, 9000, 30000).astype(np.uint16)
    las.green = np.where(is_vegetation, 40000, 26000).astype(np.uint16)
    las.blue = np.where(is_vegetation, 8000, 20000).astype(np.uint16)
    return las


def geometry_blob(min_x: float, max_x: float, min_y: float, max_y: float) -> bytes:
    """A GeoPackage geometry blob: header with an [minx, maxx, miny, maxy] envelope, then the
    tile's square as a little-endian WKB polygon."""
    flags = 0x01 | (1 << 1)  # little-endian, envelope contents indicator 1
    header = b"GP" + bytes([0, flags]) + struct.pack("<i", SRS_ID)
    envelope = struct.pack("<4d", min_x, max_x, min_y, max_y)
    ring = [(min_x, min_y), (max_x, min_y), (max_x, max_y), (min_x, max_y), (min_x, min_y)]
    wkb = struct.pack("<BIII", 1, 3, 1, len(ring)) + b"".join(struct.pack("<2d", *p) for p in ring)
    return header + envelope + wkb


def write_index(path: Path, tiles: list[Tile], relative_to: Path | None) -> None:
    if path.exists():
        path.unlink()
    db = sqlite3.connect(path)
    try:
        db.executescript(
            f"""
            PRAGMA application_id = 1196444487;  -- 'GPKG'
            PRAGMA user_version = 10200;
            CREATE TABLE gpkg_spatial_ref_sys (
              srs_name TEXT NOT NULL, srs_id INTEGER PRIMARY KEY, organization TEXT NOT NULL,
              organization_coordsys_id INTEGER NOT NULL, definition TEXT NOT NULL,
              description TEXT);
            INSERT INTO gpkg_spatial_ref_sys VALUES
              ('Undefined cartesian SRS', -1, 'NONE', -1, 'undefined', 'undefined cartesian'),
              ('Undefined geographic SRS', 0, 'NONE', 0, 'undefined', 'undefined geographic');
            CREATE TABLE gpkg_contents (
              table_name TEXT NOT NULL PRIMARY KEY, data_type TEXT NOT NULL,
              identifier TEXT UNIQUE, description TEXT DEFAULT '',
              last_change DATETIME NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%fZ','now')),
              min_x DOUBLE, min_y DOUBLE, max_x DOUBLE, max_y DOUBLE,
              srs_id INTEGER REFERENCES gpkg_spatial_ref_sys(srs_id));
            CREATE TABLE gpkg_geometry_columns (
              table_name TEXT NOT NULL, column_name TEXT NOT NULL,
              geometry_type_name TEXT NOT NULL, srs_id INTEGER NOT NULL,
              z TINYINT NOT NULL, m TINYINT NOT NULL,
              PRIMARY KEY (table_name, column_name));
            CREATE TABLE "{TABLE}" (
              fid INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, geom POLYGON, location TEXT);
            """
        )
        db.execute(
            "INSERT INTO gpkg_contents (table_name, data_type, identifier, min_x, min_y, max_x,"
            " max_y, srs_id) VALUES (?, 'features', ?, ?, ?, ?, ?, ?)",
            (TABLE, TABLE, min(t.min_x for t in tiles), min(t.min_y for t in tiles),
             max(t.max_x for t in tiles), max(t.max_y for t in tiles), SRS_ID),
        )
        db.execute("INSERT INTO gpkg_geometry_columns VALUES (?, 'geom', 'POLYGON', ?, 0, 0)",
                   (TABLE, SRS_ID))
        for tile in tiles:
            location = tile.path.relative_to(relative_to) if relative_to else tile.path.resolve()
            db.execute(f'INSERT INTO "{TABLE}" (geom, location) VALUES (?, ?)',
                       (geometry_blob(tile.min_x, tile.max_x, tile.min_y, tile.max_y),
                        str(location)))
        db.commit()
    finally:
        db.close()


def build_sample(folder: Path, columns: int = 3, rows: int = 2, points: int = 40000,
                 seed: int = 20240611, relative: bool = False) -> tuple[Path, list[Tile]]:
    """Writes the tiles into FOLDER/tiles and the index FOLDER/tiles.gpkg; returns the index
    path and the tiles in index order (row by row from the south-west)."""
    tile_folder = folder / "tiles"
    tile_folder.mkdir(parents=True, exist_ok=True)
    rng = np.random.default_rng(seed)
    tiles = []
    for row in range(rows):
        for column in range(columns):
            suffix = "laz" if (row + column) % 2 else "las"
            path = tile_folder / f"tile_{column}_{row}.{suffix}"
            las = tile_points(column, row, points, rng)
            las.write(str(path))
            # The index extent is the tile's header extent, as tile index builders record it.
            written = laspy.open(str(path)).header
            tiles.append(Tile(path, float(written.mins[0]), float(written.maxs[0]),
                              float(written.mins[1]), float(written.maxs[1]), points))
    index = folder / "tiles.gpkg"
    write_index(index, tiles, folder if relative else None)
    return index, tiles


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("folder", nargs="?", default="sample-output", type=Path)
    parser.add_argument("--columns", type=int, default=3)
    parser.add_argument("--rows", type=int, default=2)
    parser.add_argument("--points", type=int, default=40000, help="points per tile")
    parser.add_argument("--seed", type=int, default=20240611)
    parser.add_argument("--relative", action="store_true",
                        help="store tile paths relative to FOLDER (extract from inside FOLDER)")
    args = parser.parse_args()
    index, tiles = build_sample(args.folder, args.columns, args.rows, args.points, args.seed,
                                args.relative)
    print(f"Wrote {len(tiles)} tiles ({sum(t.points for t in tiles)} points) to "
          f"{args.folder / 'tiles'}")
    for tile in tiles:
        print(f"  {tile.path.name}: x {tile.min_x:.2f}..{tile.max_x:.2f}, "
              f"y {tile.min_y:.2f}..{tile.max_y:.2f}, {tile.points} points")
    print(f"Wrote the tile index {index}")


if __name__ == "__main__":
    main()
