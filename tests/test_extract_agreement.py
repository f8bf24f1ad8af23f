"""The Python `contains` methods and the pipeline's filter decide every point alike: a tile of
random points (plus points placed exactly on rims and boundaries) is extracted, and the kept
points are compared one by one with `contains` and with the NumPy reference."""

from __future__ import annotations

import math

import numpy as np
import pytest

import quarrix
from extract_support import Box, Cylinder, Frustum, Rect, write_index_gdal

SCALE = 0.01


def write_tile(path, x, y, z):
    """A LAS 1.2 tile of format 1 on the 0.01 grid; gps_time holds each point's position."""
    import laspy

    header = laspy.LasHeader(point_format=1, version="1.2")
    header.scales = np.array([SCALE, SCALE, SCALE])
    header.offsets = np.array([0.0, 0.0, 0.0])
    las = laspy.LasData(header)
    las.x, las.y, las.z = x, y, z
    las.gps_time = np.arange(len(x), dtype=np.float64)
    las.write(str(path))
    back = laspy.read(str(path))
    return np.asarray(back.x), np.asarray(back.y), np.asarray(back.z)


def extract_kept(tmp_path, geometry, x, y, z):
    tile = tmp_path / "tile.las"
    qx, qy, qz = write_tile(tile, x, y, z)
    rect = Rect(float(qx.min()), float(qy.min()), float(qx.max()), float(qy.max()))
    index = write_index_gdal(tmp_path / "tile.gpkg", [(str(tile), rect)])
    output = tmp_path / "kept.las"
    stats = quarrix.extract(str(index), str(output), geometry)
    kept = np.zeros(len(qx), dtype=bool)
    if stats.points_written:
        import laspy

        kept[laspy.read(str(output)).gps_time.astype(np.int64)] = True
    else:
        assert not output.exists()
    return qx, qy, qz, kept


def test_cylinder_rim(tmp_path):
    rng = np.random.default_rng(7)
    cx, cy, r = 1000.0, 2000.0, 5.0
    n = 20000
    x = cx + rng.uniform(-6, 6, n)
    y = cy + rng.uniform(-6, 6, n)
    z = rng.uniform(-50, 50, n)
    # Exactly on the rim (3-4-5 triangles and the axes) and one quantum either side.
    rim = [(a, b) for a, b in [(3, 4), (4, 3), (5, 0), (0, 5)] for a, b in
           [(a, b), (-a, b), (a, -b), (-a, -b)]]
    for dx, dy in rim:
        for d in (-SCALE, 0.0, SCALE):
            x = np.append(x, cx + dx + math.copysign(d, dx if dx else 1))
            y = np.append(y, cy + dy)
            z = np.append(z, 0.0)
    geometry = quarrix.Cylinder(cx, cy, r)
    qx, qy, qz, kept = extract_kept(tmp_path, geometry, x, y, z)
    by_contains = np.array([geometry.contains(a, b, c) for a, b, c in zip(qx, qy, qz)])
    np.testing.assert_array_equal(kept, by_contains)
    np.testing.assert_array_equal(kept, Cylinder(cx, cy, r).contains(qx, qy, qz))
    assert kept.any() and not kept.all()


@pytest.mark.parametrize(
    "args",
    [
        (1000.0, 2000.0, 100.0, 0, -45, 90, 45, 0.0, 10.0),
        (1000.0, 2000.0, 100.0, 350, -10, 10, 30, 2.0, 10.0),
        (1000.0, 2000.0, 100.0, 0, 0, 200, 90, 0.0, 10.0),
        (1000.0, 2000.0, 100.0, 0, -90, 180, 90, 0.0, 10.0),
        (1000.0, 2000.0, 100.0, 90, -90, 90.05, 90, 5.0, 5.0),
    ],
    ids=["quarter", "through north", "long arc", "half turn", "sphere of radius 5"],
)
def test_frustum_boundaries(tmp_path, args):
    rng = np.random.default_rng(11)
    ox, oy, oz = args[:3]
    n = 20000
    x = ox + rng.uniform(-11, 11, n)
    y = oy + rng.uniform(-11, 11, n)
    z = oz + rng.uniform(-11, 11, n)
    # The origin, points straight above and below it, points at exactly 5 and 10 along the
    # axes and the diagonals, and at the cardinal and diagonal azimuths.
    special = [(0, 0, 0), (0, 0, 5), (0, 0, -5), (0, 0, 10)]
    for d in (5.0, 10.0):
        special += [(d, 0, 0), (-d, 0, 0), (0, d, 0), (0, -d, 0), (0, d, d * 0), (3, 4, 0),
                    (-3, 4, 0), (4, -3, 0), (6, 8, 0), (0, 6, 8), (6, 0, 8)]
    special += [(7, 7, 0), (-7, 7, 0), (7, -7, 0), (1, 1, 1), (1, 1, -1)]
    for dx, dy, dz in special:
        x, y, z = np.append(x, ox + dx), np.append(y, oy + dy), np.append(z, oz + dz)
    geometry = quarrix.Frustum(*args)
    qx, qy, qz, kept = extract_kept(tmp_path, geometry, x, y, z)
    by_contains = np.array([geometry.contains(a, b, c) for a, b, c in zip(qx, qy, qz)])
    np.testing.assert_array_equal(kept, by_contains)
    np.testing.assert_array_equal(kept, Frustum(*args).contains(qx, qy, qz))
    assert kept.any()


def test_box_faces(tmp_path):
    rng = np.random.default_rng(3)
    n = 20000
    x = rng.uniform(-1, 11, n)
    y = rng.uniform(-1, 11, n)
    z = rng.uniform(-1, 11, n)
    faces = [(0, 5, 5), (10, 5, 5), (5, 0, 5), (5, 10, 5), (5, 5, 0), (5, 5, 10), (0, 0, 0),
             (10, 10, 10), (10.01, 5, 5), (5, -0.01, 5), (5, 5, 10.01)]
    for a, b, c in faces:
        x, y, z = np.append(x, a), np.append(y, b), np.append(z, c)
    geometry = quarrix.BoundingBox(0, 10, 0, 10, 0, 10)
    qx, qy, qz, kept = extract_kept(tmp_path, geometry, x, y, z)
    by_contains = np.array([geometry.contains(a, b, c) for a, b, c in zip(qx, qy, qz)])
    np.testing.assert_array_equal(kept, by_contains)
    np.testing.assert_array_equal(kept, Box(0, 10, 0, 10, 0, 10).contains(qx, qy, qz))
