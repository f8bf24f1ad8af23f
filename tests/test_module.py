"""The module object, extract()'s calling convention and argument rules, and ExtractionStats, tested
through the installed extension. End-to-end results of extractions are in test_extract_*.py."""

from __future__ import annotations

import inspect
import pathlib
import subprocess
import sys
import weakref

import numpy as np
import pytest

import quarrix

LONE_STAR_INDEX = "tindex/lone-star-split.gpkg"
# The lone-star tiles cover x 515368.6..515401.1, y 4918340.4..4918381.2.
INSIDE_BOX = quarrix.BoundingBox(515380, 515390, 4918350, 4918360)
FAR_BOX = quarrix.BoundingBox(0, 1, 0, 1)

EXTRACT_DOC = "\n".join([
    "Extract points from LAS/LAZ files using a GeoPackage tile index.",
    "",
    "Args:",
    "    index_path: Path to the GeoPackage tile index file",
    "    output_path: Path where the extracted points will be written",
    "    geometry: Extraction geometry (BoundingBox or Cylinder)",
    "    verbose: Whether to log detailed progress information (default: False)",
    "",
    "Returns:",
    "    ExtractionStats: Statistics about the extraction process",
    "",
    "Raises:",
    "    ValueError: If the geometry is not valid",
    "    RuntimeError: If the extraction fails",
    "",
    "Example:",
    "    ```python",
    "    import quarrix",
    "",
    "    # Create a bounding box",
    "    bbox = quarrix.BoundingBox(10000, 20000, 30000, 40000)",
    "",
    "    # Extract points",
    '    stats = quarrix.extract("tiles.gpkg", "output.laz", bbox, verbose=True)',
    '    print(f"Extracted {stats.points_written} points")',
    "    ```",
])

GEOMETRY_MESSAGE = "geometry must be BoundingBox, Cylinder, or Frustum"


@pytest.fixture
def missing_index(tmp_path):
    """An index path in a folder that does not exist: opening it fails, so any call that gets
    past the argument checks raises ValueError "Extraction failed: ..." and writes nothing."""
    return str(tmp_path / "no-such-folder" / "tiles.gpkg")


def open_failure(path: str) -> str:
    return f"Extraction failed: Failed to open GeoPackage: unable to open database file: {path}"


# ---------------------------------------------------------------- the module object


def test_module_texts():
    assert quarrix.__name__ == "quarrix"
    assert quarrix.__doc__ == (
        "Python bindings for quarrix - extract points from LAS/LAZ files using GeoPackage tile "
        "indices")
    assert quarrix.__version__ == "0.1.2"


def test_all_lists_every_addition_in_order():
    assert quarrix.__all__ == ["ExtractionStats", "BoundingBox", "Cylinder", "Frustum",
                               "extract", "__doc__", "__version__"]
    assert type(quarrix.__all__) is list


def test_module_has_no_other_public_attributes():
    public = {name for name in vars(quarrix) if not name.startswith("_")}
    assert public == {"ExtractionStats", "BoundingBox", "Cylinder", "Frustum", "extract"}


def test_star_import_brings_the_listed_names():
    namespace: dict = {}
    exec("from quarrix import *", namespace)
    assert {"ExtractionStats", "BoundingBox", "Cylinder", "Frustum", "extract"} <= set(namespace)
    assert namespace["__version__"] == "0.1.2"


def test_module_is_a_single_top_level_extension_module():
    assert not hasattr(quarrix, "__path__")
    assert quarrix.__file__.endswith(".so")
    stub = pathlib.Path(quarrix.__file__).with_name("quarrix.pyi")
    assert stub.is_file(), "the type stub is installed beside the module"
    # The same stub as a PEP 561 stub-only package, where mypy looks for it.
    stub_package = stub.with_name("quarrix-stubs") / "__init__.pyi"
    assert stub_package.read_text() == stub.read_text()


def test_stub_declares_every_public_name():
    import ast

    stub = pathlib.Path(quarrix.__file__).with_name("quarrix.pyi")
    tree = ast.parse(stub.read_text())
    declared = {node.name for node in tree.body
                if isinstance(node, (ast.ClassDef, ast.FunctionDef))}
    assert declared == {"ExtractionStats", "BoundingBox", "Cylinder", "Frustum", "extract"}
    for node in tree.body:
        if isinstance(node, ast.ClassDef):
            runtime = {name for name in vars(getattr(quarrix, node.name))
                       if not name.startswith("_")}
            in_stub = {item.name for item in node.body if isinstance(item, ast.FunctionDef)
                       and not item.name.startswith("_")}
            assert in_stub == runtime, node.name


def test_reimport_gives_the_same_module():
    import importlib

    assert importlib.import_module("quarrix") is quarrix


def test_sub_interpreters_are_refused():
    code = (
        "import quarrix\n"
        "try:\n"
        "    import _interpreters as interpreters\n"
        "except ImportError:\n"
        "    try:\n"
        "        import _xxsubinterpreters as interpreters\n"
        "    except ImportError:\n"
        "        raise SystemExit(77)\n"
        "interp = interpreters.create()\n"
        "result = interpreters.run_string(interp, 'import quarrix')\n"
        "print('RESULT', result)\n"
    )
    done = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                          timeout=60)
    if done.returncode == 77:
        pytest.skip("this interpreter has no sub-interpreter module")
    output = done.stdout + done.stderr
    assert "ImportError" in output or "import" in output.lower(), output
    assert "sub-interpreters" in output or "subinterpreters" in output, output


# ---------------------------------------------------------------- extract: convention and texts


def test_extract_is_a_builtin_bound_to_the_module():
    assert type(quarrix.extract).__name__ == "builtin_function_or_method"
    assert quarrix.extract.__module__ == "quarrix"
    assert quarrix.extract.__self__ is quarrix
    assert quarrix.extract.__name__ == "extract"


def test_extract_text_signature_and_doc():
    assert quarrix.extract.__text_signature__ == "(index_path, output_path, geometry, verbose=False)"
    assert quarrix.extract.__doc__ == EXTRACT_DOC
    parameters = inspect.signature(quarrix.extract).parameters
    assert list(parameters) == ["index_path", "output_path", "geometry", "verbose"]
    assert all(p.kind is inspect.Parameter.POSITIONAL_OR_KEYWORD for p in parameters.values())
    assert parameters["verbose"].default is False


# Each row: positional arguments, keyword arguments, exception type, text the message contains.
ARGUMENT_CASES = [
    ((), {}, TypeError, "missing 3 required positional arguments"),
    (("i", "o"), {}, TypeError, "missing 1 required positional argument: 'geometry'"),
    (("i",), {"geometry": FAR_BOX}, TypeError,
     "missing 1 required positional argument: 'output_path'"),
    (("i", "o", FAR_BOX, False, 5), {}, TypeError, "takes from 3 to 4 positional arguments"),
    (("i", "o", FAR_BOX), {"colour": 1}, TypeError, "unexpected keyword argument 'colour'"),
    (("i", "o", FAR_BOX), {"index_path": "j"}, TypeError,
     "multiple values for argument 'index_path'"),
    (("i", "o", FAR_BOX, True), {"verbose": True}, TypeError,
     "multiple values for argument 'verbose'"),
    # a wrong argument count wins over a wrong value
    ((1, 2, None, None, None), {}, TypeError, "positional arguments but 5 were given"),
]


@pytest.mark.parametrize("args, kwargs, error, text", ARGUMENT_CASES,
                         ids=[c[3][:40] for c in ARGUMENT_CASES])
def test_extract_argument_matching(args, kwargs, error, text):
    with pytest.raises(error) as caught:
        quarrix.extract(*args, **kwargs)
    message = str(caught.value)
    assert text in message
    assert message.startswith("extract()")


# Paths must be str: each row gives a value for the named path parameter.
NOT_A_STR = [
    pytest.param(pathlib.Path("tiles.gpkg"), id="pathlib"),
    pytest.param(pathlib.PurePosixPath("tiles.gpkg"), id="purepath"),
    pytest.param(b"tiles.gpkg", id="bytes"),
    pytest.param(bytearray(b"tiles.gpkg"), id="bytearray"),
    pytest.param(None, id="None"),
    pytest.param(1, id="int"),
    pytest.param(["tiles.gpkg"], id="list"),
]


@pytest.mark.parametrize("value", NOT_A_STR)
@pytest.mark.parametrize("parameter", ["index_path", "output_path"])
def test_paths_must_be_str(parameter, value, tmp_path):
    arguments = {"index_path": "i.gpkg", "output_path": str(tmp_path / "o.las"),
                 "geometry": FAR_BOX}
    arguments[parameter] = value
    with pytest.raises(TypeError) as caught:
        quarrix.extract(**arguments)
    message = str(caught.value)
    assert message.startswith(f"argument '{parameter}': ")
    assert type(value).__name__ in message  # the conversion message names the type


def test_str_subclass_is_a_path(missing_index):
    class Text(str):
        pass

    with pytest.raises(ValueError, match="^Extraction failed: Failed to open GeoPackage: "):
        quarrix.extract(Text(missing_index), "o.las", FAR_BOX)


@pytest.mark.parametrize("parameter", ["index_path", "output_path"])
def test_unencodable_path_raises_the_encoding_error(parameter, tmp_path):
    arguments = {"index_path": "i.gpkg", "output_path": str(tmp_path / "o.las"),
                 "geometry": FAR_BOX}
    arguments[parameter] = "tiles-\udc80.gpkg"  # a lone surrogate
    with pytest.raises(UnicodeEncodeError):
        quarrix.extract(**arguments)


# verbose: exactly bool, or a NumPy boolean scalar.
VERBOSE_REFUSED = [
    pytest.param(1, id="1"),
    pytest.param(0, id="0"),
    pytest.param(None, id="None"),
    pytest.param("True", id="str"),
    pytest.param(1.0, id="float"),
    pytest.param(np.int64(1), id="numpy-int"),
    pytest.param(np.array(True), id="numpy-0d-array"),
    pytest.param(np.array([True]), id="numpy-array"),
]


@pytest.mark.parametrize("value", VERBOSE_REFUSED)
def test_verbose_refuses_everything_but_booleans(value, missing_index):
    with pytest.raises(TypeError, match="^argument 'verbose': "):
        quarrix.extract(missing_index, "o.las", FAR_BOX, value)


VERBOSE_ACCEPTED = [
    pytest.param(True, id="True"),
    pytest.param(False, id="False"),
    pytest.param(np.True_, id="numpy-True"),
    pytest.param(np.False_, id="numpy-False"),
    pytest.param(np.bool_(1), id="numpy-bool_"),
]


@pytest.mark.parametrize("value", VERBOSE_ACCEPTED)
def test_verbose_accepts_booleans(value, missing_index, tmp_path):
    # Accepted: the call gets as far as opening the index.
    with pytest.raises(ValueError) as caught:
        quarrix.extract(missing_index, str(tmp_path / "o.las"), FAR_BOX, verbose=value)
    assert str(caught.value) == open_failure(missing_index)


NOT_A_GEOMETRY = [
    pytest.param(None, id="None"),
    pytest.param((0, 1, 0, 1), id="tuple"),
    pytest.param(object(), id="object"),
    pytest.param("BoundingBox(0, 1, 0, 1)", id="str"),
    pytest.param(quarrix.BoundingBox, id="the-class"),
    pytest.param(quarrix.extract, id="a-function"),
]


@pytest.mark.parametrize("geometry", NOT_A_GEOMETRY)
def test_geometry_must_be_one_of_the_three_classes(geometry, missing_index):
    with pytest.raises(ValueError) as caught:
        quarrix.extract(missing_index, "o.las", geometry)
    assert str(caught.value) == GEOMETRY_MESSAGE


# The order of the checks: paths, then verbose, then the geometry.
ORDER_CASES = [
    pytest.param((1, 2, None), {}, TypeError, "argument 'index_path'", id="index-first"),
    pytest.param(("i", 2, None), {}, TypeError, "argument 'output_path'", id="output-second"),
    pytest.param(("i", "o", None, 1), {}, TypeError, "argument 'verbose'",
                 id="verbose-before-geometry"),
    pytest.param((pathlib.Path("i"), "o", None), {"verbose": None}, TypeError,
                 "argument 'index_path'", id="path-before-verbose"),
    pytest.param(("i", "o", None), {"verbose": True}, ValueError, GEOMETRY_MESSAGE,
                 id="geometry-last"),
]


@pytest.mark.parametrize("args, kwargs, error, text", ORDER_CASES)
def test_argument_checks_run_in_order(args, kwargs, error, text):
    with pytest.raises(error) as caught:
        quarrix.extract(*args, **kwargs)
    assert str(caught.value).startswith(text)


@pytest.mark.parametrize("geometry", [
    pytest.param(FAR_BOX, id="box"),
    pytest.param(quarrix.Cylinder(0, 0, 1), id="cylinder"),
    pytest.param(quarrix.Frustum(0, 0, 0, 0, 0, 90, 45, 0, 1), id="frustum"),
])
def test_failed_open_is_a_value_error_and_writes_nothing(geometry, missing_index, tmp_path):
    output = tmp_path / "o.las"
    with pytest.raises(ValueError) as caught:
        quarrix.extract(missing_index, str(output), geometry)
    assert str(caught.value) == open_failure(missing_index)
    assert not output.exists()


def test_index_that_is_not_a_geopackage(tmp_path):
    index = tmp_path / "empty.gpkg"  # created empty by the open, then the first query fails
    with pytest.raises(ValueError) as caught:
        quarrix.extract(str(index), str(tmp_path / "o.las"), FAR_BOX)
    assert str(caught.value) == "Extraction failed: Failed to query tiles: no such table: gpkg_contents"


# ---------------------------------------------------------------- extract on the lone-star tiles


def extract_lone_star(tmp_path, geometry, name="out.laz", **kwargs):
    return quarrix.extract(LONE_STAR_INDEX, str(tmp_path / name), geometry, **kwargs)


def test_positional_and_keyword_calls_agree(in_testdata, tmp_path):
    by_position = extract_lone_star(tmp_path, INSIDE_BOX, "a.laz")
    by_keyword = quarrix.extract(index_path=LONE_STAR_INDEX, output_path=str(tmp_path / "b.laz"),
                                 geometry=INSIDE_BOX, verbose=False)
    for name in ("tiles_processed", "points_read", "points_written"):
        assert getattr(by_position, name) == getattr(by_keyword, name)
    assert by_position.points_written > 0
    assert (tmp_path / "a.laz").read_bytes() == (tmp_path / "b.laz").read_bytes()


@pytest.mark.parametrize("verbose", [True, np.True_])
def test_verbose_extraction_prints_nothing(in_testdata, tmp_path, capfd, verbose):
    stats = extract_lone_star(tmp_path, INSIDE_BOX, verbose=verbose)
    assert stats.points_written > 0
    captured = capfd.readouterr()
    assert captured.out == "" and captured.err == ""


def test_no_tile_met(in_testdata, tmp_path):
    with pytest.raises(ValueError) as caught:
        extract_lone_star(tmp_path, FAR_BOX)
    assert str(caught.value) == (
        "Extraction failed: No tiles found intersecting the extraction geometry")
    assert list(tmp_path.iterdir()) == []


def test_no_point_kept_writes_no_file(in_testdata, tmp_path):
    # Inside the tiles' plan extent, far above every point.
    box = quarrix.BoundingBox(515380, 515390, 4918350, 4918360, 1e6, 2e6)
    output = tmp_path / "out.laz"
    output.write_bytes(b"older file")
    stats = extract_lone_star(tmp_path, box)
    assert stats.points_written == 0
    assert stats.points_read > 0
    assert stats.tiles_processed >= 1
    assert output.read_bytes() == b"older file"


@pytest.mark.parametrize("geometry", [
    pytest.param(INSIDE_BOX, id="box"),
    pytest.param(quarrix.Cylinder(515385, 4918355, 5), id="cylinder"),
    pytest.param(quarrix.Frustum(515385, 4918355, 2330, 0, -90, 359.99, 90, 0, 8), id="frustum"),
])
def test_each_geometry_class_extracts(in_testdata, tmp_path, geometry):
    laspy = pytest.importorskip("laspy")
    stats = extract_lone_star(tmp_path, geometry, "out.las")
    assert 0 < stats.points_written <= stats.points_read
    assert 1 <= stats.tiles_processed <= 4
    points = laspy.read(tmp_path / "out.las")
    assert len(points) == stats.points_written
    for x, y, z in list(zip(points.x, points.y, points.z))[:: max(1, len(points) // 500)]:
        assert geometry.contains(float(x), float(y), float(z))


# ---------------------------------------------------------------- ExtractionStats


@pytest.fixture
def stats(in_testdata, tmp_path):
    return extract_lone_star(tmp_path, INSIDE_BOX)


def test_stats_properties(stats):
    assert type(stats) is quarrix.ExtractionStats
    for name in ("tiles_processed", "points_read", "points_written"):
        assert type(getattr(stats, name)) is int
    assert type(stats.elapsed_time) is float
    assert stats.elapsed_time > 0
    assert stats.points_written <= stats.points_read


def test_stats_texts(stats):
    assert str(stats) == (f"Extracted {stats.points_written} points from {stats.tiles_processed}"
                          f" tiles in {stats.elapsed_time:.2f} seconds")
    assert repr(stats) == (f"ExtractionStats(tiles_processed={stats.tiles_processed}, "
                           f"points_read={stats.points_read}, "
                           f"points_written={stats.points_written}, "
                           f"elapsed_time={stats.elapsed_time:.2f}s)")


@pytest.mark.parametrize("name", ["tiles_processed", "points_read", "points_written",
                                  "elapsed_time"])
def test_stats_properties_are_read_only(stats, name):
    before = getattr(stats, name)
    with pytest.raises(AttributeError):
        setattr(stats, name, 1)
    with pytest.raises(AttributeError):
        delattr(stats, name)
    assert getattr(stats, name) == before


def test_stats_instances_have_no_dict_and_no_weakref(stats):
    with pytest.raises(AttributeError):
        stats.extra = 1
    assert not hasattr(stats, "__dict__")
    with pytest.raises(TypeError):
        weakref.ref(stats)


def test_stats_compare_by_identity(in_testdata, tmp_path):
    a = extract_lone_star(tmp_path, INSIDE_BOX, "a.laz")
    b = extract_lone_star(tmp_path, INSIDE_BOX, "b.laz")
    assert a == a and a != b
    assert hash(a) == hash(a)
    with pytest.raises(TypeError):
        a < b  # noqa: B015


def test_stats_class_texts():
    cls = quarrix.ExtractionStats
    assert cls.__doc__ == "Python wrapper for extraction statistics."
    assert cls.__module__ == "builtins"
    assert cls.__name__ == "ExtractionStats"
    assert cls.__qualname__ == "ExtractionStats"
    docs = {name: getattr(cls, name).__doc__
            for name in ("tiles_processed", "points_read", "points_written", "elapsed_time")}
    assert docs == {
        "tiles_processed": "Number of tiles that were successfully processed.",
        "points_read": "Total number of points read from all tiles.",
        "points_written": "Number of points that passed the geometry filter.",
        "elapsed_time": "Total time taken for the extraction in seconds.",
    }


@pytest.mark.parametrize("args, kwargs", [((), {}), ((1, 2, 3, 4.0), {}),
                                          ((), {"tiles_processed": 1})])
def test_stats_cannot_be_instantiated(args, kwargs):
    with pytest.raises(TypeError):
        quarrix.ExtractionStats(*args, **kwargs)
    with pytest.raises(TypeError):
        quarrix.ExtractionStats.__new__(quarrix.ExtractionStats)


# ---------------------------------------------------------------- flags shared by the classes

CLASSES = [quarrix.ExtractionStats, quarrix.BoundingBox, quarrix.Cylinder, quarrix.Frustum]


@pytest.mark.parametrize("cls", CLASSES, ids=lambda c: c.__name__)
def test_class_names(cls):
    assert cls.__module__ == "builtins"
    assert cls.__qualname__ == cls.__name__
    assert getattr(quarrix, cls.__name__) is cls


@pytest.mark.parametrize("cls", CLASSES, ids=lambda c: c.__name__)
def test_classes_cannot_be_subclassed(cls):
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})


@pytest.mark.parametrize("cls", CLASSES, ids=lambda c: c.__name__)
def test_classes_define_no_comparison_hash_or_pickling(cls):
    for name in ("__eq__", "__ne__", "__lt__", "__le__", "__gt__", "__ge__", "__hash__"):
        assert getattr(cls, name) is getattr(object, name), name
    for name in ("__reduce__", "__reduce_ex__", "__getstate__", "__getnewargs__"):
        assert name not in vars(cls), name


@pytest.mark.parametrize("instance", [
    pytest.param(quarrix.BoundingBox(0, 1, 0, 1), id="BoundingBox"),
    pytest.param(quarrix.Cylinder(0, 0, 1), id="Cylinder"),
    pytest.param(quarrix.Frustum(0, 0, 0, 0, 0, 90, 45, 0, 1), id="Frustum"),
])
def test_geometries_cannot_be_pickled_or_copied(instance):
    import copy
    import pickle

    with pytest.raises(TypeError):
        pickle.dumps(instance)
    with pytest.raises(TypeError):
        copy.copy(instance)
