"""Shared fixtures of the Python suite: the shared test data folder and tile sets built from it
(tiles cut with laspy, tile indexes written by GDAL through pyogrio)."""

from __future__ import annotations

import pytest

from extract_support import TESTDATA, split_into_tiles, write_index_gdal


@pytest.fixture(scope="session")
def testdata():
    """The folder of real LAS/LAZ files beside the checkout (../shared/testdata)."""
    if not (TESTDATA / "MANIFEST.md").is_file():
        pytest.skip(f"shared test data not found at {TESTDATA} (set QUARRIX_TESTDATA_DIR)")
    return TESTDATA


@pytest.fixture
def in_testdata(testdata, monkeypatch):
    """Runs the test with the shared test data folder as working directory: the lone-star index
    stores tile paths relative to it."""
    monkeypatch.chdir(testdata)
    return testdata


@pytest.fixture(scope="session")
def autzen_tiles(testdata, tmp_path_factory):
    """autzen_trim.las (110000 points, format 3) cut into a 3 x 2 grid of tiles, LAS and LAZ
    alternating, with a GDAL-written index storing absolute paths. Returns (index, tiles)."""
    folder = tmp_path_factory.mktemp("autzen-tiles")
    tiles = split_into_tiles(testdata / "autzen_trim.las", folder, 3, 2, ["laz", "las"])
    index = write_index_gdal(folder / "tiles.gpkg", [(str(p), r) for p, r in tiles])
    return index, tiles


@pytest.fixture(scope="session")
def megaplot_tiles(testdata, tmp_path_factory):
    """Megaplot.laz (81590 forest points, format 1) cut into a 2 x 2 grid of tiles, LAS and LAZ
    alternating, with a GDAL-written index. Returns (index, tiles)."""
    folder = tmp_path_factory.mktemp("megaplot-tiles")
    tiles = split_into_tiles(testdata / "Megaplot.laz", folder, 2, 2, ["las", "laz"])
    index = write_index_gdal(folder / "tiles.gpkg", [(str(p), r) for p, r in tiles])
    return index, tiles
