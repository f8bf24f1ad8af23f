"""End to end with a vertical cylinder: tiles selected by the disc, points by their horizontal
distance from the axis, compared with an independent NumPy computation."""

from __future__ import annotations

import pytest

import quarrix
from extract_checks import check_output, check_stats
from extract_support import Cylinder, expected_extraction

LONE_STAR_INDEX = "tindex/lone-star-split.gpkg"


@pytest.mark.parametrize(
    "cylinder, tiles",
    [
        # Around the split point: a quarter of the disc in each tile.
        (Cylinder(515393.0, 4918365.0, 6.0), 4),
        # Inside split-2, reaching over the split line x = 515393 into split-1 only.
        (Cylinder(515390.0, 4918352.0, 4.0), 2),
        # Inside split-4 and clear of every other tile.
        (Cylinder(515385.0, 4918372.0, 3.0), 1),
    ],
    ids=["split point", "over one edge", "one tile"],
)
@pytest.mark.parametrize("output_name", ["cut.laz", "cut.las"])
def test_lone_star_cylinder(in_testdata, tmp_path, cylinder, tiles, output_name):
    output = tmp_path / output_name
    expected = expected_extraction(LONE_STAR_INDEX, cylinder)
    assert len(expected.selected) == tiles
    stats = quarrix.extract(LONE_STAR_INDEX, str(output), cylinder.quarrix(quarrix))
    check_stats(stats, expected)
    check_output(output, expected, expected.selected[0].location)


def test_disc_near_a_tile_corner(in_testdata, tmp_path):
    # The centre lies diagonally off split-3's north-east corner (515401.043, 4918379.74375): the
    # disc reaches the corner only by a radius that covers the corner's distance. The tile is
    # selected by the corner, not by separate x and y distances.
    corner_x, corner_y = 515401.043, 4918379.74375
    cx, cy = corner_x + 3.0, corner_y + 4.0
    near = Cylinder(cx, cy, 5.01)
    far = Cylinder(cx, cy, 4.99)
    assert len(expected_extraction(LONE_STAR_INDEX, near).selected) == 1
    with pytest.raises(ValueError, match="No tiles found intersecting the extraction geometry"):
        quarrix.extract(LONE_STAR_INDEX, str(tmp_path / "far.las"), far.quarrix(quarrix))
    assert not (tmp_path / "far.las").exists()
    output = tmp_path / "near.las"
    expected = expected_extraction(LONE_STAR_INDEX, near)
    stats = quarrix.extract(LONE_STAR_INDEX, str(output), near.quarrix(quarrix))
    check_stats(stats, expected)
    if expected.points_written:
        check_output(output, expected, expected.selected[0].location)
    else:
        assert not output.exists()


def test_forest_plot(megaplot_tiles, tmp_path):
    # A plot of 11.28 m radius (400 m2) around the middle of Megaplot, across tile borders.
    index, tiles = megaplot_tiles
    cylinder = Cylinder(684880.0, 5017890.0, 11.28)
    output = tmp_path / "plot.laz"
    expected = expected_extraction(index, cylinder)
    assert len(expected.selected) >= 2
    stats = quarrix.extract(str(index), str(output), cylinder.quarrix(quarrix))
    check_stats(stats, expected)
    check_output(output, expected, expected.selected[0].location)


def test_from_diameter_extracts_the_same(megaplot_tiles, tmp_path):
    index, _ = megaplot_tiles
    a, b = tmp_path / "a.las", tmp_path / "b.las"
    quarrix.extract(str(index), str(a), quarrix.Cylinder(684880.0, 5017890.0, 11.28))
    quarrix.extract(str(index), str(b), quarrix.Cylinder.from_diameter(684880.0, 5017890.0, 22.56))
    assert a.read_bytes() == b.read_bytes()
