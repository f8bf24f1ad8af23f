"""Compressed output against the reference LASzip library (laspy with its laszip backend).

For generated point sets of every point format (large coordinate jumps, every return
combination, GPS-time jumps and the ratio that rounds just below one half, colour and NIR runs,
wave packets, extra bytes, more than one chunk), the reference decodes the LAZ file that an
extraction writes to exactly the records of the tile, and the reference's own compression of
that tile gives the same compressed point data as ours, byte for byte. Two kinds of records the
reference itself does not bring back (wave packets of 2 GiB or more, GPS times flipping between
0.0 and -0.0) are coded differently by us, and the reference decodes our output to the tile.
"""

from __future__ import annotations

import struct

import numpy as np
import pytest

import quarrix
from extract_support import Rect, write_index_gdal

laspy = pytest.importorskip("laspy")
pytest.importorskip("laszip")

VERSIONS = {0: "1.2", 1: "1.2", 2: "1.2", 3: "1.2", 4: "1.3", 5: "1.3"}


def gps_times(rng: np.random.Generator, n: int) -> np.ndarray:
    """Runs of equal times, steady steps, jumps, and a run of int64 bit-pattern steps of 131941397
    followed by one of 65970698, whose float ratio lies just below 0.5 (the reference rounds it
    down to 0; a float addition of 0.5 would round it up to 1)."""
    steps = rng.choice([0, 1, 2, 5, 1 << 20, 1 << 40], size=n, p=[0.2, 0.3, 0.2, 0.2, 0.07, 0.03])
    bits = np.cumsum(steps.astype(np.int64)) + np.float64(400000.0).view(np.int64)
    bits[10:18] = bits[10] + np.cumsum([0] + [131941397] * 6 + [65970698])
    bits[18:] += bits[17] - bits[18] + 3
    return bits.view(np.float64)


def make_tile(path, point_format: int, n: int, seed: int, extra_bytes: int) -> None:
    rng = np.random.default_rng(seed)
    header = laspy.LasHeader(point_format=point_format, version=VERSIONS.get(point_format, "1.4"))
    header.scales = np.array([0.01, 0.01, 0.01])
    header.offsets = np.array([500000.0, 4200000.0, 0.0])
    if extra_bytes:
        kind = "u1" if extra_bytes == 1 else f"{extra_bytes}u1"
        header.add_extra_dim(laspy.ExtraBytesParams(name="extra", type=kind))
    las = laspy.LasData(header)
    walk = lambda scale: np.cumsum(rng.integers(-scale, scale, n)).astype(np.int32)  # noqa: E731
    las.X = walk(200)
    las.Y = walk(200)
    las.Z = walk(50)
    las.X[n // 3] = 2_000_000_000  # a large jump, then back
    max_returns = 15 if point_format >= 6 else 7
    number = rng.integers(0, max_returns + 1, n)
    las.number_of_returns = number
    # Headers before 1.4 count returns 1 to 5 only; a higher return number fails at close.
    highest = 15 if point_format >= 6 else 5
    las.return_number = np.minimum(rng.integers(0, max_returns + 1, n), np.minimum(number, highest))
    las.intensity = rng.integers(0, 65536, n)
    classes = rng.integers(0, 32, n)
    las.classification = np.where(classes == 12, 2, classes)  # class 12 is carried as overlap
    las.scan_direction_flag = rng.integers(0, 2, n)
    las.edge_of_flight_line = rng.integers(0, 2, n)
    las.user_data = rng.integers(0, 4, n)
    las.point_source_id = np.repeat(rng.integers(0, 65536, n // 100 + 1), 100)[:n]
    if point_format >= 6:
        las.scanner_channel = np.repeat(rng.integers(0, 4, n // 500 + 1), 500)[:n]
        las.scan_angle = rng.integers(-30000, 30001, n)
        las.synthetic = rng.integers(0, 2, n)
    else:
        las.scan_angle_rank = rng.integers(-90, 91, n)
    names = set(las.point_format.dimension_names)
    if "gps_time" in names:
        las.gps_time = gps_times(rng, n)
    if "red" in names:
        for name in ("red", "green", "blue"):
            setattr(las, name, np.repeat(rng.integers(0, 65536, n // 7 + 1), 7)[:n])
    if "nir" in names:
        las.nir = rng.integers(0, 65536, n)
    if "wavepacket_index" in names:
        las.wavepacket_index = rng.integers(0, 3, n)
        las.wavepacket_offset = np.cumsum(rng.integers(0, 5000, n)).astype(np.uint64)
        las.wavepacket_size = rng.choice([256, 512], n)
        las.return_point_wave_location = rng.random(n).astype(np.float32)
        for name in ("x_t", "y_t", "z_t"):
            setattr(las, name, rng.normal(size=n).astype(np.float32))
    if extra_bytes:
        shape = n if extra_bytes == 1 else (n, extra_bytes)
        las.extra = rng.integers(0, 256, shape, dtype=np.uint8)
    las.write(str(path))


def point_data(path) -> tuple[int, bytes]:
    """The chunk table offset relative to the start of the point data, and everything after it."""
    data = path.read_bytes()
    (offset,) = struct.unpack_from("<I", data, 96)
    (table,) = struct.unpack_from("<q", data, offset)
    return table - offset, data[offset + 8:]


CASES = [(fmt, 0) for fmt in range(11)] + [(1, 5), (3, 2), (6, 3), (8, 1)]


@pytest.mark.parametrize("point_format,extra_bytes", CASES,
                         ids=[f"format{f}-extra{e}" for f, e in CASES])
def test_compressed_output_matches_the_reference(tmp_path, point_format, extra_bytes):
    n = 60_001  # two chunks of 50000 points and a part
    tile = tmp_path / "tile.las"
    make_tile(tile, point_format, n, seed=1000 + point_format, extra_bytes=extra_bytes)
    index = write_index_gdal(tmp_path / "tiles.gpkg",
                             [(str(tile), Rect(-1e12, -1e12, 1e12, 1e12))])
    ours = tmp_path / "ours.laz"
    stats = quarrix.extract(str(index), str(ours),
                            quarrix.BoundingBox(-1e300, 1e300, -1e300, 1e300))
    assert stats.points_written == n

    source = laspy.read(str(tile))
    decoded = laspy.read(str(ours), laz_backend=laspy.LazBackend.Laszip)
    assert decoded.header.point_format.id == point_format
    assert decoded.points.array.tobytes() == source.points.array.tobytes()

    reference = tmp_path / "reference.laz"
    source.write(str(reference), do_compress=True, laz_backend=laspy.LazBackend.Laszip)
    our_table, our_bytes = point_data(ours)
    reference_table, reference_bytes = point_data(reference)
    assert our_table == reference_table
    assert our_bytes == reference_bytes


def small_tile(point_format: int, n: int):
    """n single-return points of the format on a diagonal, the other fields zero."""
    header = laspy.LasHeader(point_format=point_format, version=VERSIONS.get(point_format, "1.4"))
    las = laspy.LasData(header)
    las.X = np.arange(n, dtype=np.int32)
    las.Y = np.arange(n, dtype=np.int32)
    las.return_number = np.ones(n, dtype=np.uint8)
    las.number_of_returns = np.ones(n, dtype=np.uint8)
    return las


def extract_everything(tmp_path, las):
    """Writes the tile, extracts all of it to LAZ, and returns the reference's reading of our
    output after checking it holds the tile's records."""
    tile = tmp_path / "tile.las"
    las.write(str(tile))
    index = write_index_gdal(tmp_path / "tiles.gpkg",
                             [(str(tile), Rect(-1e12, -1e12, 1e12, 1e12))])
    ours = tmp_path / "ours.laz"
    stats = quarrix.extract(str(index), str(ours),
                            quarrix.BoundingBox(-1e300, 1e300, -1e300, 1e300))
    assert stats.points_written == len(las.points)
    decoded = laspy.read(str(ours), laz_backend=laspy.LazBackend.Laszip)
    assert decoded.points.array.tobytes() == laspy.read(str(tile)).points.array.tobytes()
    return decoded


@pytest.mark.parametrize("point_format", [4, 9])
def test_wave_packets_of_2_gib_and_more_decode_to_their_offsets(tmp_path, point_format):
    """A packet of 2 GiB or more followed by one 2^32 - size bytes back: the offset's 32-bit
    delta equals the size read as signed, which LASzip codes as "right after the last packet"
    and decodes 4 GiB away. Our output codes that step as a delta, which the reference decodes
    to the tile's offsets."""
    n = 40
    las = small_tile(point_format, n)
    sizes = [0xFFFFFFF0 - i for i in range(n)]
    offsets = [0]
    for i in range(1, n):
        step = sizes[i - 1] if i % 3 == 0 else sizes[i - 1] - (1 << 32)
        offsets.append((offsets[-1] + step) % (1 << 64))
    las.wavepacket_index = np.ones(n, dtype=np.uint8)
    las.wavepacket_offset = np.array(offsets, dtype=np.uint64)
    las.wavepacket_size = np.array(sizes, dtype=np.uint32)
    decoded = extract_everything(tmp_path, las)
    assert [int(o) for o in decoded.wavepacket_offset] == offsets


@pytest.mark.parametrize("point_format", [6, 8])
def test_gps_times_that_flip_their_sign_bit_decode_bit_for_bit(tmp_path, point_format):
    """0.0 and -0.0 are equal as doubles, which is how LASzip tells a changed time in formats
    6-10: its own round trip turns every -0.0 after a 0.0 into 0.0. Our output codes the flip,
    and the reference decodes it to the tile's times bit for bit."""
    n = 30
    las = small_tile(point_format, n)
    times = np.where(np.arange(n) % 3 == 1, -0.0, 0.0)
    times[20:] = np.nan
    las.gps_time = times
    decoded = extract_everything(tmp_path, las)
    assert decoded.gps_time.view(np.uint64).tolist() == times.view(np.uint64).tolist()
