"""End to end with a frustum: tiles selected by its bounding rectangle (which reaches out to
max_distance when the elevation range spans the horizon), points by distance, azimuth and
elevation, compared with an independent NumPy computation."""

from __future__ import annotations

import pytest

import quarrix
from extract_checks import check_output, check_stats
from extract_support import Frustum, expected_extraction

LONE_STAR_INDEX = "tindex/lone-star-split.gpkg"

CASES = [
    # From split-2 looking north-east over the split point, upwards from below the horizon.
    ("north-east", Frustum(515380.0, 4918352.0, 2328.0, 20, -20, 70, 40, 2.0, 25.0)),
    # Azimuths 350 and 10: the 20 degree wedge through north.
    ("through north", Frustum(515390.0, 4918345.0, 2330.0, 350, -30, 10, 30, 0.0, 40.0)),
    # The same wedge with the corners given the other way round and as -10.
    ("through north, other corners", Frustum(515390.0, 4918345.0, 2330.0, -10, 30, 10, -30,
                                             0.0, 40.0)),
    # Corner azimuths 0 and 200: the 160 degree arc through north (west side).
    ("long arc through north", Frustum(515385.0, 4918362.0, 2331.0, 0, -45, 200, 10, 0.0, 15.0)),
    # Half a turn from 0 to 180: the east half.
    ("half turn", Frustum(515390.0, 4918362.0, 2331.0, 0, -60, 180, 60, 1.0, 12.0)),
    # Full circle (span below 0.1 degree), a shell between 5 and 8 metres.
    ("full circle shell", Frustum(515392.0, 4918366.0, 2330.0, 90, -90, 90.05, 90, 5.0, 8.0)),
    # Looking down from above the scene.
    ("from above", Frustum(515385.0, 4918360.0, 2360.0, 0, -90, 359.95, -60, 0.0, 60.0)),
]


@pytest.mark.parametrize("frustum", [f for _, f in CASES], ids=[name for name, _ in CASES])
@pytest.mark.parametrize("output_name", ["cut.laz", "cut.las"])
def test_lone_star_frustum(in_testdata, tmp_path, frustum, output_name):
    output = tmp_path / output_name
    expected = expected_extraction(LONE_STAR_INDEX, frustum)
    assert expected.points_written > 0
    stats = quarrix.extract(LONE_STAR_INDEX, str(output), frustum.quarrix(quarrix))
    check_stats(stats, expected)
    check_output(output, expected, expected.selected[0].location)


def test_tile_at_the_horizon_rim_is_selected(in_testdata, tmp_path):
    # Looking east from inside split-2 with elevations -30 to 30 and distances up to 20: at the
    # elevation bounds the horizontal reach is 20 cos 30 = 17.3 m, which stops short of split-1
    # (x >= 515393), but level with the origin the frustum reaches 20 m, into split-1. That tile
    # must be selected and its points inside the frustum extracted.
    frustum = Frustum(515374.5, 4918350.0, 2330.0, 80, -30, 100, 30, 0.0, 20.0)
    rows = {row.location: row for row in expected_extraction(LONE_STAR_INDEX, frustum).selected}
    rim_tile = rows["lone-star-split/split-1.laz"]
    assert not frustum.intersects(rim_tile.bounds, mended=False)
    assert frustum.intersects(rim_tile.bounds, mended=True)

    output = tmp_path / "cut.laz"
    expected = expected_extraction(LONE_STAR_INDEX, frustum)
    kept_in_rim_tile = expected.per_tile_kept[
        [row.location for row in expected.selected].index(rim_tile.location)]
    assert kept_in_rim_tile > 0

    stats = quarrix.extract(LONE_STAR_INDEX, str(output), frustum.quarrix(quarrix))

    check_stats(stats, expected)
    check_output(output, expected, expected.selected[0].location)


def test_forest_view_from_a_mast(megaplot_tiles, tmp_path):
    # A sensor 40 m up a mast at the plot's south-west looking north-east and down.
    index, _ = megaplot_tiles
    frustum = Frustum(684800.0, 5017800.0, 40.0, 30, -50, 60, -5, 10.0, 150.0)
    output = tmp_path / "view.laz"
    expected = expected_extraction(index, frustum)
    assert expected.points_written > 0
    stats = quarrix.extract(str(index), str(output), frustum.quarrix(quarrix))
    check_stats(stats, expected)
    check_output(output, expected, expected.selected[0].location)


def test_frustum_meeting_no_tile(in_testdata, tmp_path):
    frustum = Frustum(0.0, 0.0, 0.0, 0, -10, 90, 10, 0.0, 100.0)
    with pytest.raises(ValueError) as raised:
        quarrix.extract(LONE_STAR_INDEX, str(tmp_path / "cut.las"), frustum.quarrix(quarrix))
    assert str(raised.value) == \
        "Extraction failed: No tiles found intersecting the extraction geometry"
