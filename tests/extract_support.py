"""Independent reference for the end-to-end extraction tests: tile selection from the GeoPackage
envelopes, the three geometries' point tests in NumPy (with the C library's own asin and atan2,
as the extension uses them), tile reading with laspy, and GDAL-written tile indexes (pyogrio).

Nothing here imports quarrix: the tests compare what the module wrote with what this computes.
"""

from __future__ import annotations

import math
import os
import sqlite3
import struct
import warnings
from dataclasses import dataclass, field
from pathlib import Path

import numpy as np

TESTDATA = Path(os.environ.get("QUARRIX_TESTDATA_DIR")
                or Path(__file__).resolve().parents[2] / "shared" / "testdata")

DEG_TO_RAD = 0.017453292519943295
TWO_PI = 6.283185307179586
FULL_CIRCLE_THRESHOLD = 6.283185306179586
DEGENERATE = 1e-10
# sin and cos of the doubles nearest 0, pi/2, pi and 3pi/2.
CARDINALS = (
    (0.0, 0.0, 1.0),
    (1.5707963267948966, 1.0, 6.123233995736766e-17),
    (3.141592653589793, 1.2246467991473532e-16, -1.0),
    (4.71238898038469, -1.0, -1.8369701987210297e-16),
)



def _c_asin(value: float) -> float:
    try:
        return math.asin(value)
    except ValueError:  # outside [-1, 1]: the C function gives NaN
        return math.nan


_asin = np.frompyfunc(_c_asin, 1, 1)
_atan2 = np.frompyfunc(math.atan2, 2, 1)


@dataclass(frozen=True)
class Rect:
    min_x: float
    min_y: float
    max_x: float
    max_y: float


def rect_from_pairs(a: float, b: float, c: float, d: float) -> Rect:
    """Rect::new ordering of an envelope (minx, maxx, miny, maxy) as stored."""
    return Rect(a if a < b else b, c if c < d else d, b if a < b else a, d if c < d else c)


# ---------------------------------------------------------------- geometries


@dataclass(frozen=True)
class Box:
    min_x: float
    max_x: float
    min_y: float
    max_y: float
    min_z: float | None = None
    max_z: float | None = None

    def contains(self, x, y, z):
        inside = (self.min_x <= x) & (x <= self.max_x) & (self.min_y <= y) & (y <= self.max_y)
        if self.min_z is not None:
            inside &= ~(z < self.min_z)
        if self.max_z is not None:
            inside &= ~(z > self.max_z)
        return inside

    def intersects(self, r: Rect) -> bool:
        return (self.min_x <= r.max_x and self.max_x >= r.min_x and self.min_y <= r.max_y
                and self.max_y >= r.min_y)

    def quarrix(self, quarrix):
        return quarrix.BoundingBox(self.min_x, self.max_x, self.min_y, self.max_y, self.min_z,
                                   self.max_z)


@dataclass(frozen=True)
class Cylinder:
    center_x: float
    center_y: float
    radius: float

    def contains(self, x, y, z):
        dx = x - self.center_x
        dy = y - self.center_y
        return dx * dx + dy * dy <= self.radius * self.radius

    def intersects(self, r: Rect) -> bool:
        nx = self.center_x
        if nx < r.min_x:
            nx = r.min_x
        if nx > r.max_x:
            nx = r.max_x
        ny = self.center_y
        if ny < r.min_y:
            ny = r.min_y
        if ny > r.max_y:
            ny = r.max_y
        return ((nx - self.center_x) * (nx - self.center_x)
                + (ny - self.center_y) * (ny - self.center_y)) <= self.radius * self.radius

    def quarrix(self, quarrix):
        return quarrix.Cylinder(self.center_x, self.center_y, self.radius)


def _normalise_azimuth(phi_degrees: float) -> float:
    a = math.fmod(phi_degrees * DEG_TO_RAD, TWO_PI)
    return a + TWO_PI if a < 0 else a


@dataclass(frozen=True)
class Frustum:
    """The frustum of the constructor arguments (angles in degrees), with the horizontal reach
    at elevation 0 included in the bounding rectangle when the elevation range spans it."""

    origin_x: float
    origin_y: float
    origin_z: float
    phi1: float
    theta1: float
    phi2: float
    theta2: float
    min_distance: float
    max_distance: float
    phi_min: float = field(init=False)
    phi_max: float = field(init=False)
    phi_wraps: bool = field(init=False)
    theta_min: float = field(init=False)
    theta_max: float = field(init=False)

    def __post_init__(self):
        span = abs(self.phi2 - self.phi1)
        if span >= 359.9 or span <= 0.1:
            phi_min, phi_max, wraps = 0.0, TWO_PI, False
        else:
            a1, a2 = _normalise_azimuth(self.phi1), _normalise_azimuth(self.phi2)
            v = abs(a2 - a1)
            if v <= TWO_PI - v:
                phi_min, phi_max, wraps = min(a1, a2), max(a1, a2), False
            else:
                phi_min, phi_max, wraps = max(a1, a2), min(a1, a2), True
        t1, t2 = self.theta1 * DEG_TO_RAD, self.theta2 * DEG_TO_RAD
        object.__setattr__(self, "phi_min", phi_min)
        object.__setattr__(self, "phi_max", phi_max)
        object.__setattr__(self, "phi_wraps", wraps)
        object.__setattr__(self, "theta_min", t1 if t1 < t2 else t2)
        object.__setattr__(self, "theta_max", t2 if t1 < t2 else t1)

    def _azimuth_in_range(self, azimuth):
        if self.phi_max >= FULL_CIRCLE_THRESHOLD:
            return np.ones_like(azimuth, dtype=bool)
        if self.phi_wraps:
            return (azimuth >= self.phi_min) | (azimuth <= self.phi_max)
        return (self.phi_min <= azimuth) & (azimuth <= self.phi_max)

    def contains(self, x, y, z):
        x, y, z = (np.asarray(v, dtype=np.float64) for v in (x, y, z))
        dx = x - self.origin_x
        dy = y - self.origin_y
        dz = z - self.origin_z
        h2 = dx * dx + dy * dy
        distance = np.sqrt(h2 + dz * dz)
        at_origin = distance < DEGENERATE
        distance = np.where(at_origin, 0.0, distance)
        # Angles only for the points that pass the distance test, with the C library's asin and
        # atan2 (NumPy's own may differ in the last bit).
        inside = ~(distance < self.min_distance) & ~(distance > self.max_distance)
        candidates = np.flatnonzero(inside)
        elevation = np.zeros(len(candidates))
        azimuth = np.zeros(len(candidates))
        off_origin = ~at_origin[candidates]
        idx = candidates[off_origin]
        if len(idx):
            elevation[off_origin] = _asin(dz[idx] / distance[idx]).astype(np.float64)
            off_axis = ~(np.sqrt(h2[idx]) < DEGENERATE)
            az_idx = idx[off_axis]
            if len(az_idx):
                a = np.fmod(_atan2(dx[az_idx], dy[az_idx]).astype(np.float64), TWO_PI)
                a = np.where(a < 0, a + TWO_PI, a)
                sub = np.zeros(len(idx))
                sub[off_axis] = a
                azimuth[off_origin] = sub
        keep = ~(elevation < self.theta_min) & ~(elevation > self.theta_max)
        keep &= self._azimuth_in_range(azimuth)
        inside[candidates] = keep
        return inside

    def reaches(self, mended: bool = True) -> list[float]:
        ct_min, ct_max = math.cos(self.theta_min), math.cos(self.theta_max)
        r = [self.min_distance * ct_min, self.max_distance * ct_min,
             self.min_distance * ct_max, self.max_distance * ct_max]
        if mended and self.theta_min <= 0.0 <= self.theta_max:
            r += [self.min_distance, self.max_distance]
        return r

    def bounding_rect(self, mended: bool = True) -> Rect:
        samples = [self.phi_min, self.phi_max] + ([0.0] if self.phi_wraps else [])
        reaches = self.reaches(mended)
        xs, ys = [self.origin_x], [self.origin_y]
        for a in samples:
            for r in reaches:
                xs.append(self.origin_x + r * math.sin(a))
                ys.append(self.origin_y + r * math.cos(a))
        for angle, s, c in CARDINALS:
            if self._azimuth_in_range(np.array([angle]))[0]:
                for r in reaches:
                    xs.append(self.origin_x + r * s)
                    ys.append(self.origin_y + r * c)
        xs = [v for v in xs if not math.isnan(v)]
        ys = [v for v in ys if not math.isnan(v)]
        return rect_from_pairs(min(xs), max(xs), min(ys), max(ys))

    def intersects(self, r: Rect, mended: bool = True) -> bool:
        b = self.bounding_rect(mended)
        return b.min_x <= r.max_x and b.max_x >= r.min_x and b.min_y <= r.max_y and \
            b.max_y >= r.min_y

    def quarrix(self, quarrix):
        return quarrix.Frustum(self.origin_x, self.origin_y, self.origin_z, self.phi1,
                               self.theta1, self.phi2, self.theta2, self.min_distance,
                               self.max_distance)


# ---------------------------------------------------------------- the tile index


@dataclass(frozen=True)
class IndexRow:
    location: str
    bounds: Rect


def read_index(path: Path | str) -> list[IndexRow]:
    """The rows of the first feature table, in row order, with the envelope of each blob."""
    db = sqlite3.connect(f"file:{path}?mode=ro", uri=True)
    try:
        table = db.execute(
            "SELECT table_name FROM gpkg_contents WHERE data_type = 'features'").fetchone()[0]
        column = db.execute("SELECT column_name FROM gpkg_geometry_columns WHERE table_name = ?",
                            (table,)).fetchone()[0]
        rows = db.execute(f'SELECT location, "{column}" FROM "{table}"').fetchall()
    finally:
        db.close()
    result = []
    for location, blob in rows:
        a, b, c, d = struct.unpack_from("<4d", blob, 8)
        result.append(IndexRow(location, rect_from_pairs(a, b, c, d)))
    return result


def polygon_wkb(r: Rect) -> bytes:
    ring = [(r.min_x, r.min_y), (r.max_x, r.min_y), (r.max_x, r.max_y), (r.min_x, r.max_y),
            (r.min_x, r.min_y)]
    return struct.pack("<BIII", 1, 3, 1, len(ring)) + b"".join(struct.pack("<2d", *p) for p in ring)


def write_index_gdal(path: Path, rows: list[tuple[str, Rect]], layer: str = "tiles") -> Path:
    """A GeoPackage tile index written by GDAL (through pyogrio): one polygon per tile with its
    path in `location`, in the given order."""
    import pyogrio.raw

    geometry = np.array([polygon_wkb(r) for _, r in rows], dtype=object)
    locations = np.array([str(location) for location, _ in rows], dtype=object)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", UserWarning)  # no CRS: the tiles' own coordinates
        pyogrio.raw.write(str(path), geometry, [locations], ["location"], layer=layer,
                          driver="GPKG", geometry_type="Polygon", crs=None)
    return path


# ---------------------------------------------------------------- tiles and the expected result


def header_rect(path: Path | str) -> Rect:
    import laspy

    with laspy.open(str(path)) as reader:
        h = reader.header
        return Rect(float(h.mins[0]), float(h.mins[1]), float(h.maxs[0]), float(h.maxs[1]))


@dataclass
class Expected:
    selected: list[IndexRow]
    points_read: int
    records: np.ndarray | None          # raw records of the kept points, tile order
    per_tile_kept: list[int]
    xyz: np.ndarray | None              # kept x, y, z as float64, shape (n, 3)

    @property
    def points_written(self) -> int:
        return sum(self.per_tile_kept)


def expected_extraction(index_path: Path | str, geometry, base: Path | None = None,
                        unreadable: set[str] = frozenset()) -> Expected:
    """What the extraction must produce: tiles selected in row order, each readable tile's
    points filtered in file order. `unreadable` names locations the test knows to be broken
    (missing or corrupt); they are skipped."""
    import laspy

    rows = read_index(index_path)
    selected = [row for row in rows if geometry.intersects(row.bounds)]
    points_read = 0
    kept_records, kept_xyz, per_tile = [], [], []
    for row in selected:
        path = Path(row.location) if base is None else base / row.location
        if row.location in unreadable or not path.exists():
            per_tile.append(0)
            continue
        las = laspy.read(str(path))
        points_read += len(las.points)
        x, y, z = (np.asarray(v, dtype=np.float64) for v in (las.x, las.y, las.z))
        mask = np.asarray(geometry.contains(x, y, z), dtype=bool)
        kept_records.append(las.points.array[mask])
        kept_xyz.append(np.column_stack([x[mask], y[mask], z[mask]]))
        per_tile.append(int(mask.sum()))
    records = np.concatenate(kept_records) if kept_records else None
    xyz = np.concatenate(kept_xyz) if kept_xyz else None
    return Expected(selected, points_read, records, per_tile, xyz)


def grid_bounds(values: np.ndarray, scale: float, offset: float) -> tuple[float, float]:
    """Header bounds of written points: the extremes widened to the coordinate grid."""
    lo, hi = float(values.min()), float(values.max())
    return (offset + scale * math.floor((lo - offset) / scale),
            offset + scale * math.ceil((hi - offset) / scale))


def split_into_tiles(source: Path, folder: Path, columns: int, rows: int,
                     suffixes: list[str]) -> list[tuple[Path, Rect]]:
    """Cuts a LAS/LAZ file into a grid of tiles written with laspy (LAZ through laszip), keeping
    the source's header fields and VLRs; returns (path, header extent) row by row. Points on
    an inner grid line go to the tile east or north of it."""
    import laspy

    las = laspy.read(str(source))
    x, y = np.asarray(las.x), np.asarray(las.y)
    xs = np.linspace(x.min(), x.max(), columns + 1)
    ys = np.linspace(y.min(), y.max(), rows + 1)
    col = np.clip(np.searchsorted(xs, x, side="right") - 1, 0, columns - 1)
    row = np.clip(np.searchsorted(ys, y, side="right") - 1, 0, rows - 1)
    tiles = []
    for r in range(rows):
        for c in range(columns):
            n = r * columns + c
            mask = (col == c) & (row == r)
            tile = laspy.LasData(las.header.copy() if hasattr(las.header, "copy") else las.header)
            tile.points = las.points[mask].copy()
            path = folder / f"{source.stem}_{c}_{r}.{suffixes[n % len(suffixes)]}"
            tile.write(str(path))
            tiles.append((path, header_rect(path)))
    return tiles
