"""quarrix.BoundingBox: constructors and their checks, argument conversion, contains(), the
properties, the repr in the float text form and the class texts."""

from __future__ import annotations

import decimal
import fractions
import inspect
import math

import numpy as np
import pytest

import quarrix

BoundingBox = quarrix.BoundingBox
NAN = math.nan
INF = math.inf

NEW_2D_DOC = (
    "Create a new 2D bounding box (convenience method).\n\nArgs:\n"
    "    min_x: Minimum X coordinate\n    max_x: Maximum X coordinate\n"
    "    min_y: Minimum Y coordinate\n    max_y: Maximum Y coordinate\n\n"
    "Returns:\n    BoundingBox: A new 2D bounding box geometry")
NEW_3D_DOC = (
    "Create a new 3D bounding box (convenience method).\n\nArgs:\n"
    "    min_x: Minimum X coordinate\n    max_x: Maximum X coordinate\n"
    "    min_y: Minimum Y coordinate\n    max_y: Maximum Y coordinate\n"
    "    min_z: Minimum Z coordinate\n    max_z: Maximum Z coordinate\n\n"
    "Returns:\n    BoundingBox: A new 3D bounding box geometry")
CONTAINS_DOC = (
    "Check if a point is inside the bounding box.\n\nArgs:\n"
    "    x: X coordinate\n    y: Y coordinate\n"
    "    z: Optional Z coordinate (only checked for 3D boxes)\n\n"
    "Returns:\n    bool: True if the point is inside the bounding box")


def make(maker: str, *args, **kwargs):
    if maker == "new":
        return BoundingBox(*args, **kwargs)
    return getattr(BoundingBox, maker)(*args, **kwargs)


# ---------------------------------------------------------------- texts


def test_class_texts():
    assert BoundingBox.__doc__ == "Python wrapper for a 2D/3D bounding box geometry."
    assert BoundingBox.__text_signature__ == "(min_x, max_x, min_y, max_y, min_z=None, max_z=None)"
    assert str(inspect.signature(BoundingBox)) == (
        "(min_x, max_x, min_y, max_y, min_z=None, max_z=None)")


@pytest.mark.parametrize("name, signature, doc", [
    ("new_2d", "(min_x, max_x, min_y, max_y)", NEW_2D_DOC),
    ("new_3d", "(min_x, max_x, min_y, max_y, min_z, max_z)", NEW_3D_DOC),
    ("contains", "($self, x, y, z=None)", CONTAINS_DOC),
])
def test_method_texts(name, signature, doc):
    method = getattr(BoundingBox, name)
    assert method.__text_signature__ == signature
    assert method.__doc__ == doc


def test_static_methods_are_static():
    assert isinstance(inspect.getattr_static(BoundingBox, "new_2d"), staticmethod)
    assert isinstance(inspect.getattr_static(BoundingBox, "new_3d"), staticmethod)
    box = BoundingBox(0, 1, 0, 1)
    assert repr(box.new_2d(0, 1, 0, 1)) == repr(box)  # callable through an instance as well


def test_members_are_exactly_these():
    own = {name for name in vars(BoundingBox) if not name.startswith("__")}
    assert own == {"new_2d", "new_3d", "contains", "min_x", "max_x", "min_y", "max_y", "min_z",
                   "max_z"}


@pytest.mark.parametrize("name", ["min_x", "max_x", "min_y", "max_y", "min_z", "max_z"])
def test_properties_have_no_doc_and_are_read_only(name):
    assert getattr(BoundingBox, name).__doc__ is None
    box = BoundingBox.new_3d(0, 1, 0, 1, 2, 3)
    before = getattr(box, name)
    with pytest.raises(AttributeError):
        setattr(box, name, 5.0)
    with pytest.raises(AttributeError):
        delattr(box, name)
    assert getattr(box, name) == before


def test_no_new_attributes():
    box = BoundingBox(0, 1, 0, 1)
    with pytest.raises(AttributeError):
        box.min_w = 0


def test_compared_by_identity():
    a, b = BoundingBox(0, 1, 0, 1), BoundingBox(0, 1, 0, 1)
    assert a == a and a != b
    with pytest.raises(TypeError):
        a < b  # noqa: B015


# ---------------------------------------------------------------- validation

REFUSALS = [
    ("new", (0, 0, 0, 1), {}, "min_x must be less than max_x"),
    ("new", (1, 0, 0, 1), {}, "min_x must be less than max_x"),
    ("new", (0, 1, 5, 5), {}, "min_y must be less than max_y"),
    ("new", (0, 1, 6, 5), {}, "min_y must be less than max_y"),
    ("new", (1, 0, 5, 5), {}, "min_x must be less than max_x"),  # x is checked first
    ("new", (0, 1, 1, 0, 5, 5), {}, "min_y must be less than max_y"),  # y before z
    ("new", (0, 1, 0, 1, 5, 5), {}, "min_z must be less than max_z"),
    ("new", (0, 1, 0, 1), {"min_z": 6, "max_z": 5}, "min_z must be less than max_z"),
    ("new", (-INF, -INF, 0, 1), {}, "min_x must be less than max_x"),
    ("new", (INF, INF, 0, 1), {}, "min_x must be less than max_x"),
    ("new_2d", (0, 0, 0, 1), {}, "min_x must be less than max_x"),
    ("new_2d", (0, 1, 1, 1), {}, "min_y must be less than max_y"),
    ("new_3d", (0, 1, 0, 1, 5, 5), {}, "min_z must be less than max_z"),
    ("new_3d", (0, 1, 0, 1, 5, -5), {}, "min_z must be less than max_z"),
    ("new_3d", (2, 1, 0, 1, 5, 5), {}, "min_x must be less than max_x"),
]


@pytest.mark.parametrize("maker, args, kwargs, message", REFUSALS,
                         ids=[f"{c[0]}{c[1]}{c[2]}" for c in REFUSALS])
def test_refusals(maker, args, kwargs, message):
    with pytest.raises(ValueError) as caught:
        make(maker, *args, **kwargs)
    assert str(caught.value) == message
    assert type(caught.value) is ValueError


ACCEPTED = [
    # maker, args, kwargs, (min_x, max_x, min_y, max_y, min_z, max_z)
    ("new", (0, 1, 0, 1), {}, (0, 1, 0, 1, None, None)),
    ("new", (0, 1, 0, 1, None, None), {}, (0, 1, 0, 1, None, None)),
    ("new", (0, 1, 0, 1), {"min_z": 5}, (0, 1, 0, 1, 5, None)),
    ("new", (0, 1, 0, 1), {"max_z": 5}, (0, 1, 0, 1, None, 5)),
    ("new", (0, 1, 0, 1, 5), {}, (0, 1, 0, 1, 5, None)),
    ("new", (0, 1, 0, 1, None, -5), {}, (0, 1, 0, 1, None, -5)),
    ("new", (0, 1, 0, 1, 2, 3), {}, (0, 1, 0, 1, 2, 3)),
    ("new", (-INF, INF, -INF, INF), {}, (-INF, INF, -INF, INF, None, None)),
    ("new", (NAN, 1, 0, 1), {}, (NAN, 1, 0, 1, None, None)),
    ("new", (0, NAN, NAN, NAN, NAN, NAN), {}, (0, NAN, NAN, NAN, NAN, NAN)),
    ("new", (0, 1, 0, 1, 5, NAN), {}, (0, 1, 0, 1, 5, NAN)),
    ("new_2d", (0.5, 1.5, -3, -2), {}, (0.5, 1.5, -3, -2, None, None)),
    ("new_3d", (0, 1, 0, 1, 2, 3), {}, (0, 1, 0, 1, 2, 3)),
    ("new_3d", (0, 1, 0, 1, -INF, INF), {}, (0, 1, 0, 1, -INF, INF)),
    ("new", (), {"max_y": 4, "min_y": 3, "max_x": 2, "min_x": 1}, (1, 2, 3, 4, None, None)),
    ("new_3d", (0, 1), {"max_z": 6, "min_z": 5, "max_y": 1, "min_y": 0},
     (0, 1, 0, 1, 5, 6)),
]


def same(a, b):
    if a is None or b is None:
        return a is b
    return (math.isnan(a) and math.isnan(b)) or a == b


@pytest.mark.parametrize("maker, args, kwargs, fields", ACCEPTED,
                         ids=[f"{c[0]}{c[1]}{c[2]}" for c in ACCEPTED])
def test_accepted_boxes_hold_their_values(maker, args, kwargs, fields):
    box = make(maker, *args, **kwargs)
    names = ("min_x", "max_x", "min_y", "max_y", "min_z", "max_z")
    for name, expected in zip(names, fields):
        value = getattr(box, name)
        assert same(value, expected), name
        if expected is not None:
            assert type(value) is float, name


def test_nan_min_x_box_contains_nothing():
    box = BoundingBox(NAN, 1, 0, 1)
    assert not box.contains(0.5, 0.5)
    assert not box.contains(0.5, 0.5, 0.0)


# ---------------------------------------------------------------- argument conversion


class Floaty:
    def __float__(self):
        return 2.5


class Indexy:
    def __index__(self):
        return 7


class FloatSubclass(float):
    def __float__(self):  # bypassed: a float subclass is taken by its value
        return 99.0


CONVERTIBLE = [
    pytest.param(3, 3.0, id="int"),
    pytest.param(True, 1.0, id="bool"),
    pytest.param(np.float32(0.5), 0.5, id="numpy-float32"),
    pytest.param(np.float64(0.1), 0.1, id="numpy-float64"),
    pytest.param(np.int64(-4), -4.0, id="numpy-int64"),
    pytest.param(fractions.Fraction(1, 4), 0.25, id="fraction"),
    pytest.param(decimal.Decimal("1.5"), 1.5, id="decimal"),
    pytest.param(Floaty(), 2.5, id="__float__"),
    pytest.param(Indexy(), 7.0, id="__index__"),
    pytest.param(FloatSubclass(1.25), 1.25, id="float-subclass"),
    pytest.param(2**53 + 1, float(2**53 + 1), id="big-int-rounds"),
]


@pytest.mark.parametrize("value, expected", CONVERTIBLE)
def test_float_protocol(value, expected):
    box = BoundingBox(-1e300, 1e300, -1e300, 1e300, value)
    assert box.min_z == expected
    assert BoundingBox.new_2d(value, 1e300, 0, 1).min_x == expected


NOT_CONVERTIBLE = [
    # maker, args, kwargs, parameter named in the TypeError
    ("new", ("a", 1, 0, 1), {}, "min_x"),
    ("new", (0, "1", 0, 1), {}, "max_x"),
    ("new", (0, 1, [0], 1), {}, "min_y"),
    ("new", (0, 1, 0, None), {}, "max_y"),
    ("new", (0, 1, 0, 1, "z"), {}, "min_z"),
    ("new", (0, 1, 0, 1, None, "z"), {}, "max_z"),
    ("new", (0, 1, 0, 1), {"max_z": b"1"}, "max_z"),
    ("new", (0, 1, 0, 1, 1j), {}, "min_z"),
    ("new_2d", (0, 1, 0, "1"), {}, "max_y"),
    ("new_2d", (None, 1, 0, 1), {}, "min_x"),
    ("new_3d", (0, 1, 0, 1, None, 2), {}, "min_z"),
    ("new_3d", (0, 1, 0, 1, 1, None), {}, "max_z"),
    # conversion runs in signature order and before any check
    ("new", ("a", "b", 1, 0), {}, "min_x"),
    ("new", (1, 0, "y", 0), {}, "min_y"),
    ("new", (1, 0, 1, 0, 2, "z"), {}, "max_z"),
    ("new_3d", (1, 0, 1, 0, 2, None), {}, "max_z"),
]


@pytest.mark.parametrize("maker, args, kwargs, parameter", NOT_CONVERTIBLE,
                         ids=[f"{c[0]}{c[1]}{c[2]}" for c in NOT_CONVERTIBLE])
def test_conversion_failures_name_the_parameter(maker, args, kwargs, parameter):
    with pytest.raises(TypeError) as caught:
        make(maker, *args, **kwargs)
    message = str(caught.value)
    assert message.startswith(f"argument '{parameter}': ")


def test_conversion_message_names_the_type():
    with pytest.raises(TypeError) as caught:
        BoundingBox("a", 1, 0, 1)
    assert "str" in str(caught.value)
    assert isinstance(caught.value.__cause__, TypeError)


class FloatRaises:
    def __float__(self):
        raise ZeroDivisionError("no float here")


@pytest.mark.parametrize("value, error", [
    pytest.param(10**400, OverflowError, id="huge-int"),
    pytest.param(FloatRaises(), ZeroDivisionError, id="raising-__float__"),
])
def test_other_conversion_failures_pass_unchanged(value, error):
    with pytest.raises(error):
        BoundingBox(value, 1, 0, 1)
    box = BoundingBox(0, 1, 0, 1)
    with pytest.raises(error):
        box.contains(0, value)


ARGUMENT_ERRORS = [
    ("new", (), {}, "missing 4 required positional arguments"),
    ("new", (0, 1, 0), {}, "missing 1 required positional argument: 'max_y'"),
    ("new", (0, 1, 0, 1, 2, 3, 4), {}, "takes from 4 to 6 positional arguments but 7 were given"),
    ("new", (0, 1, 0, 1), {"min_x": 0}, "multiple values for argument 'min_x'"),
    ("new", (0, 1, 0, 1), {"z_min": 0}, "unexpected keyword argument 'z_min'"),
    ("new_2d", (0, 1, 0, 1, 2), {}, "takes 4 positional arguments but 5 were given"),
    ("new_2d", (0, 1, 0, 1), {"min_z": 0}, "unexpected keyword argument 'min_z'"),
    ("new_3d", (0, 1, 0, 1), {}, "missing 2 required positional arguments: 'min_z' and 'max_z'"),
    ("new_3d", (0, 1, 0, 1, 2), {}, "missing 1 required positional argument: 'max_z'"),
]


@pytest.mark.parametrize("maker, args, kwargs, text", ARGUMENT_ERRORS,
                         ids=[f"{c[0]}{c[1]}{c[2]}" for c in ARGUMENT_ERRORS])
def test_argument_matching(maker, args, kwargs, text):
    with pytest.raises(TypeError) as caught:
        make(maker, *args, **kwargs)
    assert text in str(caught.value)


# ---------------------------------------------------------------- contains

BOX_2D = BoundingBox(0, 1, 0, 1)
BOX_3D = BoundingBox.new_3d(0, 1, 0, 1, 0, 10)
ONLY_MIN_Z = BoundingBox(0, 1, 0, 1, min_z=5)
ONLY_MAX_Z = BoundingBox(0, 1, 0, 1, max_z=5)

CONTAINS = [
    # box, args, kwargs, expected
    (BOX_2D, (0.5, 0.5), {}, True),
    (BOX_2D, (1, 0), {}, True),  # on a face
    (BOX_2D, (0, 0), {}, True),  # corner
    (BOX_2D, (1, 1), {}, True),
    (BOX_2D, (1.0000000000000002, 0.5), {}, False),
    (BOX_2D, (-5e-324, 0.5), {}, False),
    (BOX_2D, (0.5, 0.5, 1e300), {}, True),  # 2D ignores z
    (BOX_2D, (0.5, 0.5, NAN), {}, True),
    (BOX_2D, (0.5, 0.5, -INF), {}, True),
    (BOX_2D, (NAN, 0.5), {}, False),
    (BOX_2D, (0.5, NAN, 0), {}, False),
    (BOX_2D, (INF, 0.5), {}, False),
    (BOX_3D, (0.5, 0.5), {}, True),
    (BOX_3D, (0.5, 0.5, None), {}, True),
    (BOX_3D, (0.5, 0.5), {"z": None}, True),
    (BOX_3D, (0.5, 0.5, 11), {}, False),
    (BOX_3D, (0.5, 0.5, -1), {}, False),
    (BOX_3D, (0.5, 0.5, 10), {}, True),
    (BOX_3D, (0.5, 0.5, 0), {}, True),
    (BOX_3D, (0.5, 0.5, NAN), {}, True),  # a NaN z is never rejected
    (BOX_3D, (2, 0.5), {}, False),
    (BOX_3D, (2, 0.5, 5), {}, False),
    (ONLY_MIN_Z, (0.5, 0.5, 4), {}, False),
    (ONLY_MIN_Z, (0.5, 0.5, 6), {}, True),
    (ONLY_MIN_Z, (0.5, 0.5, 5), {}, True),
    (ONLY_MIN_Z, (0.5, 0.5, 1e300), {}, True),
    (ONLY_MIN_Z, (0.5, 0.5), {}, True),
    (ONLY_MAX_Z, (0.5, 0.5, 6), {}, False),
    (ONLY_MAX_Z, (0.5, 0.5, -1e300), {}, True),
    (BOX_2D, (), {"x": 0.5, "y": 0.5, "z": 3}, True),
    (BOX_3D, (), {"y": 0.5, "x": 0.5, "z": 30}, False),
]


@pytest.mark.parametrize("box, args, kwargs, expected", CONTAINS,
                         ids=[f"{c[0]!r}{c[1]}{c[2]}" for c in CONTAINS])
def test_contains(box, args, kwargs, expected):
    assert box.contains(*args, **kwargs) is expected


@pytest.mark.parametrize("args, kwargs, error, text", [
    (("x", 0), {}, TypeError, "argument 'x': "),
    ((0, None), {}, TypeError, "argument 'y': "),
    ((0, 0, "z"), {}, TypeError, "argument 'z': "),
    (("x", None, "z"), {}, TypeError, "argument 'x': "),
    ((0,), {}, TypeError, "missing 1 required positional argument: 'y'"),
    ((0, 0, 0, 0), {}, TypeError, "takes from 2 to 3 positional arguments but 4 were given"),
    ((0, 0), {"w": 1}, TypeError, "unexpected keyword argument 'w'"),
    ((0, 0), {"x": 1}, TypeError, "multiple values for argument 'x'"),
])
def test_contains_argument_errors(args, kwargs, error, text):
    with pytest.raises(error) as caught:
        BOX_3D.contains(*args, **kwargs)
    assert text in str(caught.value)


def test_contains_called_on_the_class():
    assert BoundingBox.contains(BOX_2D, 0.5, 0.5) is True
    with pytest.raises(TypeError):
        BoundingBox.contains(quarrix.Cylinder(0, 0, 1), 0.5, 0.5)


# ---------------------------------------------------------------- repr

REPRS = [
    (BoundingBox(10000, 20000, 30000, 40000),
     "BoundingBox(min_x=10000, max_x=20000, min_y=30000, max_y=40000)"),
    (BoundingBox.new_3d(0.5, 1.5, 2, 3, -1e21, 10),
     "BoundingBox(min_x=0.5, max_x=1.5, min_y=2, max_y=3, min_z=-1" + "0" * 21 + ", max_z=10)"),
    (BoundingBox(0, 1, 0, 1, min_z=5), "BoundingBox(min_x=0, max_x=1, min_y=0, max_y=1)"),
    (BoundingBox(0, 1, 0, 1, max_z=5), "BoundingBox(min_x=0, max_x=1, min_y=0, max_y=1)"),
    (BoundingBox(0.1, 0.2, -0.3, 1e-7),
     "BoundingBox(min_x=0.1, max_x=0.2, min_y=-0.3, max_y=0.0000001)"),
    (BoundingBox(NAN, INF, -INF, 1, NAN, NAN),
     "BoundingBox(min_x=NaN, max_x=inf, min_y=-inf, max_y=1, min_z=NaN, max_z=NaN)"),
    (BoundingBox(515368.60225, 515401.043, 4918340.364, 4918381.12375),
     "BoundingBox(min_x=515368.60225, max_x=515401.043, min_y=4918340.364, max_y=4918381.12375)"),
    (BoundingBox(-0.0, 1 / 3, 0, 2**53),
     "BoundingBox(min_x=-0, max_x=0.3333333333333333, min_y=0, max_y=9007199254740992)"),
    (BoundingBox.new_2d(-1.5e-5, 5e-324, 0, 1.7976931348623157e308),
     "BoundingBox(min_x=-0.000015, max_x=0." + "0" * 323 + "5, min_y=0, max_y=17976931348623157"
     + "0" * 292 + ")"),
]


@pytest.mark.parametrize("box, text", REPRS, ids=[t for _, t in REPRS])
def test_repr(box, text):
    assert repr(box) == text
    assert str(box) == text


@pytest.mark.parametrize("value", [0.1, 1 / 3, 2.5e-8, 123456789.123, 1e15 + 0.5, 7e22, 5e-324,
                                   -2.2250738585072014e-308])
def test_repr_reads_back_to_the_same_float(value):
    box = BoundingBox(value, math.inf, 0, 1)
    text = repr(box).split("min_x=")[1].split(",")[0]
    assert "e" not in text.lower()
    assert float(text) == value
    assert not text.endswith(".0")
