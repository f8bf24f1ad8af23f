"""Assertions shared by the end-to-end extraction tests: the written file against the independent
computation of extract_support, read back with laspy (its LASzip backend for LAZ)."""

from __future__ import annotations

from pathlib import Path

import numpy as np

from extract_support import Expected, grid_bounds

LASZIP_USER_ID = "laszip encoded"


def read_las(path: Path | str):
    import laspy

    backend = laspy.LazBackend.Laszip if str(path).lower().endswith(".laz") else None
    if backend is None:
        return laspy.read(str(path))
    return laspy.read(str(path), laz_backend=backend)


def check_stats(stats, expected: Expected) -> None:
    assert stats.tiles_processed == len(expected.selected)
    assert stats.points_read == expected.points_read
    assert stats.points_written == expected.points_written
    assert isinstance(stats.elapsed_time, float) and stats.elapsed_time >= 0.0


def check_output(output: Path | str, expected: Expected, first_tile: Path | str) -> None:
    """The output holds exactly the expected records in order, and its header is the first
    selected tile's header with counts and bounds of the written points."""
    output = Path(output)
    assert expected.records is not None and len(expected.records) > 0
    out = read_las(output)
    tile = read_las(first_tile)
    oh, th = out.header, tile.header

    # Points: the raw records, field by field and in order (same format, same grid).
    assert out.points.array.dtype == expected.records.dtype
    assert len(out.points) == len(expected.records)
    for name in expected.records.dtype.names:
        np.testing.assert_array_equal(out.points.array[name], expected.records[name], err_msg=name)
    np.testing.assert_array_equal(np.column_stack([out.x, out.y, out.z]), expected.xyz)

    # Header copied from the first tile.
    assert (oh.version.major, oh.version.minor) == (th.version.major, th.version.minor)
    assert oh.point_format.id == th.point_format.id
    assert oh.point_format.num_extra_bytes == th.point_format.num_extra_bytes
    np.testing.assert_array_equal(oh.scales, th.scales)
    np.testing.assert_array_equal(oh.offsets, th.offsets)
    assert oh.system_identifier == th.system_identifier
    assert oh.generating_software == th.generating_software
    assert oh.file_source_id == th.file_source_id
    assert oh.uuid == th.uuid
    assert oh.creation_date == th.creation_date
    assert oh.global_encoding.value == th.global_encoding.value

    def plain_vlrs(header):
        return [(v.user_id, v.record_id, v.description) for v in header.vlrs
                if v.user_id != LASZIP_USER_ID]

    assert plain_vlrs(oh) == plain_vlrs(th)

    # Counts and bounds recomputed from the written points.
    assert oh.point_count == len(expected.records)
    returns = np.bincount(np.asarray(out.return_number), minlength=16)
    by_return = np.asarray(oh.number_of_points_by_return)
    np.testing.assert_array_equal(by_return[:5], returns[1:6])
    for axis in range(3):
        lo, hi = grid_bounds(expected.xyz[:, axis], float(th.scales[axis]),
                             float(th.offsets[axis]))
        assert oh.mins[axis] == lo, f"axis {axis}"
        assert oh.maxs[axis] == hi, f"axis {axis}"

    # Compressed exactly when the name ends in .laz (bit 7 of the point format byte).
    with open(output, "rb") as f:
        raw = f.read(105)
    compressed = bool(raw[104] & 0x80)
    assert compressed == output.name.lower().endswith(".laz")
