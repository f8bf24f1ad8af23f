"""End to end with a box: real tiles, GeoPackage indexes written by PDAL and by GDAL, and the
written file compared point by point with an independent NumPy computation."""

from __future__ import annotations

import os
import shutil
from pathlib import Path

import pytest

import quarrix
from extract_checks import check_output, check_stats, read_las
from extract_support import Box, Rect, expected_extraction, header_rect, write_index_gdal

LONE_STAR_INDEX = "tindex/lone-star-split.gpkg"
# Straddles the split point (515393, 4918365): part of each of the four tiles.
LONE_STAR_BOX = Box(515385.0, 515398.0, 4918355.0, 4918372.0)


def missing_file_message() -> str:
    return f"Extraction failed: LAS/LAZ file error: {os.strerror(2)} (os error 2)"


@pytest.mark.parametrize("output_name", ["cut.laz", "cut.las", "CUT.LAZ"])
def test_lone_star_box_matches_numpy(in_testdata, tmp_path, output_name):
    output = tmp_path / output_name
    expected = expected_extraction(LONE_STAR_INDEX, LONE_STAR_BOX)
    assert [row.location for row in expected.selected] == [
        "lone-star-split/split-1.laz", "lone-star-split/split-4.laz",
        "lone-star-split/split-2.laz", "lone-star-split/split-3.laz"]
    assert all(kept > 0 for kept in expected.per_tile_kept)

    stats = quarrix.extract(LONE_STAR_INDEX, str(output), LONE_STAR_BOX.quarrix(quarrix))

    check_stats(stats, expected)
    check_output(output, expected, expected.selected[0].location)


@pytest.mark.parametrize(
    "box",
    [
        Box(515380.0, 515400.0, 4918345.0, 4918375.0, 2325.0, 2330.0),
        Box(515380.0, 515400.0, 4918345.0, 4918375.0, 2330.0, None),
        Box(515380.0, 515400.0, 4918345.0, 4918375.0, None, 2326.5),
        # Only split-2 is selected: its extent ends one quantum before the split line.
        Box(515370.0, 515392.99, 4918342.0, 4918364.99),
    ],
    ids=["3d", "min_z only", "max_z only", "one tile"],
)
def test_lone_star_other_boxes(in_testdata, tmp_path, box):
    output = tmp_path / "cut.las"
    expected = expected_extraction(LONE_STAR_INDEX, box)
    stats = quarrix.extract(LONE_STAR_INDEX, str(output), box.quarrix(quarrix))
    check_stats(stats, expected)
    check_output(output, expected, expected.selected[0].location)


def test_tile_touching_the_box_is_read(in_testdata, tmp_path):
    # The box's west edge lies on split-1's west edge (x = 515393): split-2 and split-4 end one
    # quantum west of it and are not selected; split-1 and split-3 are.
    box = Box(515393.0, 515395.0, 4918350.0, 4918370.0)
    output = tmp_path / "cut.laz"
    expected = expected_extraction(LONE_STAR_INDEX, box)
    assert [row.location for row in expected.selected] == [
        "lone-star-split/split-1.laz", "lone-star-split/split-3.laz"]
    stats = quarrix.extract(LONE_STAR_INDEX, str(output), box.quarrix(quarrix))
    check_stats(stats, expected)
    check_output(output, expected, expected.selected[0].location)


@pytest.mark.parametrize("output_name", ["cut.laz", "cut.las"])
def test_gdal_index_over_mixed_tiles(autzen_tiles, tmp_path, output_name):
    index, tiles = autzen_tiles
    box = Box(636300.0, 636900.0, 849100.0, 849350.0)
    output = tmp_path / output_name
    expected = expected_extraction(index, box)
    assert len(expected.selected) == 6
    assert {Path(row.location).suffix for row in expected.selected} == {".las", ".laz"}

    stats = quarrix.extract(str(index), str(output), box.quarrix(quarrix), verbose=True)

    check_stats(stats, expected)
    check_output(output, expected, expected.selected[0].location)


def test_row_order_not_file_order(autzen_tiles, tmp_path):
    # The same tiles listed in reverse: the output follows the index rows.
    _, tiles = autzen_tiles
    index = write_index_gdal(tmp_path / "reversed.gpkg", [(str(p), r) for p, r in tiles[::-1]])
    box = Box(636300.0, 636900.0, 849100.0, 849350.0)
    output = tmp_path / "cut.las"
    expected = expected_extraction(index, box)
    assert expected.selected[0].location == str(tiles[-1][0])
    stats = quarrix.extract(str(index), str(output), box.quarrix(quarrix))
    check_stats(stats, expected)
    check_output(output, expected, expected.selected[0].location)


def test_repeated_extractions_write_identical_files(autzen_tiles, tmp_path):
    index, _ = autzen_tiles
    box = quarrix.BoundingBox(636000.0, 637200.0, 848900.0, 849500.0)
    first, second = tmp_path / "a.laz", tmp_path / "b.laz"
    quarrix.extract(str(index), str(first), box)
    quarrix.extract(str(index), str(second), box)
    assert first.read_bytes() == second.read_bytes()


def broken_tiles(folder: Path, tiles) -> dict[str, Path]:
    """A missing file, a truncated LAS tile and a text file with a .laz name."""
    truncated = folder / "truncated.las"
    las_tile = next(p for p, _ in tiles if p.suffix == ".las")
    data = las_tile.read_bytes()
    truncated.write_bytes(data[: len(data) // 2])
    not_laz = folder / "not-a-tile.laz"
    not_laz.write_text("this is not a point cloud\n")
    return {"missing": folder / "does-not-exist.las", "truncated": truncated,
            "not a tile": not_laz}


@pytest.mark.parametrize("broken", ["missing", "truncated", "not a tile"])
def test_unreadable_tile_is_skipped(autzen_tiles, tmp_path, broken):
    _, tiles = autzen_tiles
    bad = broken_tiles(tmp_path, tiles)[broken]
    # The broken tile is listed second, with the extent of the whole data set.
    everything = Rect(636000.0, 848900.0, 637200.0, 849500.0)
    rows = [(str(tiles[0][0]), tiles[0][1]), (str(bad), everything)] + \
        [(str(p), r) for p, r in tiles[1:]]
    index = write_index_gdal(tmp_path / "tiles.gpkg", rows)
    box = Box(636300.0, 636900.0, 849100.0, 849350.0)
    output = tmp_path / "cut.laz"
    expected = expected_extraction(index, box, unreadable={str(bad)})
    assert str(bad) in [row.location for row in expected.selected]

    stats = quarrix.extract(str(index), str(output), box.quarrix(quarrix))

    check_stats(stats, expected)  # the broken tile counts as processed, but not as read
    check_output(output, expected, expected.selected[0].location)


def test_missing_first_tile_fails_and_writes_nothing(autzen_tiles, tmp_path):
    _, tiles = autzen_tiles
    missing = tmp_path / "gone.las"
    rows = [(str(missing), tiles[0][1])] + [(str(p), r) for p, r in tiles]
    index = write_index_gdal(tmp_path / "tiles.gpkg", rows)
    output = tmp_path / "cut.laz"
    with pytest.raises(ValueError) as raised:
        quarrix.extract(str(index), str(output), quarrix.BoundingBox(636000, 637200, 848900, 849500))
    assert str(raised.value) == missing_file_message()
    assert not output.exists()


def test_lone_star_missing_first_tile(testdata, tmp_path, monkeypatch):
    # The lone-star layout copied without split-1.laz, the index's first row.
    shutil.copytree(testdata / "tindex", tmp_path / "tindex")
    (tmp_path / "lone-star-split").mkdir()
    for n in (2, 3, 4):
        shutil.copy(testdata / f"lone-star-split/split-{n}.laz", tmp_path / "lone-star-split")
    (tmp_path / "tindex").chmod(0o755)
    for path in (tmp_path / "tindex").iterdir():
        path.chmod(0o644)
    for path in (tmp_path / "lone-star-split").iterdir():
        path.chmod(0o644)
    monkeypatch.chdir(tmp_path)
    with pytest.raises(ValueError) as raised:
        quarrix.extract(LONE_STAR_INDEX, "cut.laz", LONE_STAR_BOX.quarrix(quarrix))
    assert str(raised.value) == missing_file_message()
    assert not (tmp_path / "cut.laz").exists()


@pytest.mark.parametrize("older_file", [False, True], ids=["no older file", "older file kept"])
def test_no_point_kept_writes_nothing(in_testdata, tmp_path, older_file):
    output = tmp_path / "cut.laz"
    if older_file:
        output.write_bytes(b"an older output")
    # Meets all four tile extents, but every point lies far below z = 3000.
    box = Box(515385.0, 515398.0, 4918355.0, 4918372.0, 3000.0, 3100.0)
    expected = expected_extraction(LONE_STAR_INDEX, box)
    assert expected.points_written == 0 and len(expected.selected) == 4

    stats = quarrix.extract(LONE_STAR_INDEX, str(output), box.quarrix(quarrix))

    assert (stats.tiles_processed, stats.points_read, stats.points_written) == (
        4, expected.points_read, 0)
    if older_file:
        assert output.read_bytes() == b"an older output"
    else:
        assert not output.exists()


def test_every_tile_unreadable_writes_nothing(tmp_path):
    index = write_index_gdal(tmp_path / "tiles.gpkg",
                             [(str(tmp_path / "a.las"), Rect(0, 0, 10, 10)),
                              (str(tmp_path / "b.laz"), Rect(10, 0, 20, 10))])
    output = tmp_path / "cut.las"
    stats = quarrix.extract(str(index), str(output), quarrix.BoundingBox(0, 20, 0, 10))
    assert (stats.tiles_processed, stats.points_read, stats.points_written) == (2, 0, 0)
    assert not output.exists()


def test_no_tile_meets_the_box(in_testdata, tmp_path):
    output = tmp_path / "cut.laz"
    with pytest.raises(ValueError) as raised:
        quarrix.extract(LONE_STAR_INDEX, str(output), quarrix.BoundingBox(0, 1, 0, 1))
    assert str(raised.value) == \
        "Extraction failed: No tiles found intersecting the extraction geometry"
    assert not output.exists()


def test_output_of_laz_tiles_rereads_with_laszip(in_testdata, tmp_path):
    # Both outputs of the same extraction hold the same points.
    las_out, laz_out = tmp_path / "cut.las", tmp_path / "cut.laz"
    quarrix.extract(LONE_STAR_INDEX, str(las_out), LONE_STAR_BOX.quarrix(quarrix))
    quarrix.extract(LONE_STAR_INDEX, str(laz_out), LONE_STAR_BOX.quarrix(quarrix))
    a, b = read_las(las_out), read_las(laz_out)
    assert a.points.array.tobytes() == b.points.array.tobytes()
    assert header_rect(las_out) == header_rect(laz_out)
