"""quarrix.Cylinder: constructor and from_diameter with their checks, argument conversion,
contains() on and around the rim, the properties, the repr and the class texts."""

from __future__ import annotations

import inspect
import math

import numpy as np
import pytest

import quarrix

Cylinder = quarrix.Cylinder
NAN = math.nan
INF = math.inf

FROM_DIAMETER_DOC = (
    "Create a new vertical cylinder from center coordinates and diameter.\n\nArgs:\n"
    "    center_x: X coordinate of the cylinder center\n"
    "    center_y: Y coordinate of the cylinder center\n"
    "    diameter: Diameter of the cylinder\n\n"
    "Returns:\n    Cylinder: A new vertical cylinder geometry")
CONTAINS_DOC = (
    "Check if a point is inside the cylinder.\n\nArgs:\n"
    "    x: X coordinate\n    y: Y coordinate\n"
    "    z: Z coordinate (ignored for vertical cylinders)\n\n"
    "Returns:\n    bool: True if the point is inside the cylinder")


# ---------------------------------------------------------------- texts and flags


def test_class_texts():
    assert Cylinder.__doc__ == "Python wrapper for a vertical cylinder geometry."
    assert Cylinder.__text_signature__ == "(center_x, center_y, radius)"
    assert str(inspect.signature(Cylinder)) == "(center_x, center_y, radius)"


@pytest.mark.parametrize("name, signature, doc", [
    ("from_diameter", "(center_x, center_y, diameter)", FROM_DIAMETER_DOC),
    ("contains", "($self, x, y, z=0.0)", CONTAINS_DOC),
])
def test_method_texts(name, signature, doc):
    method = getattr(Cylinder, name)
    assert method.__text_signature__ == signature
    assert method.__doc__ == doc


def test_members_are_exactly_these():
    own = {name for name in vars(Cylinder) if not name.startswith("__")}
    assert own == {"from_diameter", "contains", "center_x", "center_y", "radius", "diameter"}
    assert isinstance(inspect.getattr_static(Cylinder, "from_diameter"), staticmethod)


@pytest.mark.parametrize("name", ["center_x", "center_y", "radius", "diameter"])
def test_properties_have_no_doc_and_are_read_only(name):
    assert getattr(Cylinder, name).__doc__ is None
    cylinder = Cylinder(1, 2, 3)
    before = getattr(cylinder, name)
    with pytest.raises(AttributeError):
        setattr(cylinder, name, 5.0)
    with pytest.raises(AttributeError):
        delattr(cylinder, name)
    assert getattr(cylinder, name) == before


def test_compared_by_identity():
    a, b = Cylinder(0, 0, 1), Cylinder(0, 0, 1)
    assert a == a and a != b
    with pytest.raises(TypeError):
        a <= b  # noqa: B015


# ---------------------------------------------------------------- construction


def make(maker, *args, **kwargs):
    return Cylinder(*args, **kwargs) if maker == "new" else Cylinder.from_diameter(*args, **kwargs)


REFUSALS = [
    ("new", (0, 0, 0), {}, "radius must be positive"),
    ("new", (0, 0, -0.0), {}, "radius must be positive"),
    ("new", (0, 0, -1), {}, "radius must be positive"),
    ("new", (0, 0, -INF), {}, "radius must be positive"),
    ("new", (NAN, NAN), {"radius": -5e-324}, "radius must be positive"),
    ("from_diameter", (0, 0, 0), {}, "diameter must be positive"),
    ("from_diameter", (0, 0, -2), {}, "diameter must be positive"),
    ("from_diameter", (0, 0), {"diameter": -INF}, "diameter must be positive"),
]


@pytest.mark.parametrize("maker, args, kwargs, message", REFUSALS,
                         ids=[f"{c[0]}{c[1]}{c[2]}" for c in REFUSALS])
def test_refusals(maker, args, kwargs, message):
    with pytest.raises(ValueError) as caught:
        make(maker, *args, **kwargs)
    assert str(caught.value) == message
    assert type(caught.value) is ValueError


ACCEPTED = [
    # maker, args, kwargs, (center_x, center_y, radius, diameter)
    ("new", (1, 2, 3), {}, (1, 2, 3, 6)),
    ("new", (0, 0, 5e-324), {}, (0, 0, 5e-324, 1e-323)),
    ("new", (0, 0, INF), {}, (0, 0, INF, INF)),
    ("new", (0, 0, NAN), {}, (0, 0, NAN, NAN)),
    ("new", (NAN, INF, 1), {}, (NAN, INF, 1, 2)),
    ("new", (), {"radius": 2, "center_y": 1, "center_x": 0}, (0, 1, 2, 4)),
    ("from_diameter", (10, 20, 7), {}, (10, 20, 3.5, 7)),
    ("from_diameter", (0, 0, 3), {}, (0, 0, 1.5, 3)),
    ("from_diameter", (0, 0, 5e-324), {}, (0, 0, 0.0, 0.0)),  # half the smallest double is 0
    ("from_diameter", (0, 0, NAN), {}, (0, 0, NAN, NAN)),
    ("from_diameter", (0, 0, 1.7976931348623157e308), {},
     (0, 0, 8.988465674311579e307, 1.7976931348623157e308)),
]


def same(a, b):
    return (math.isnan(a) and math.isnan(b)) or a == b


@pytest.mark.parametrize("maker, args, kwargs, fields", ACCEPTED,
                         ids=[f"{c[0]}{c[1]}{c[2]}" for c in ACCEPTED])
def test_accepted_cylinders(maker, args, kwargs, fields):
    cylinder = make(maker, *args, **kwargs)
    for name, expected in zip(("center_x", "center_y", "radius", "diameter"), fields):
        value = getattr(cylinder, name)
        assert type(value) is float, name
        assert same(value, expected), name


def test_diameter_is_radius_plus_radius():
    for radius in (0.1, 1 / 3, 2.675, 1e308):
        assert Cylinder(0, 0, radius).diameter == radius + radius


NOT_CONVERTIBLE = [
    ("new", ("a", 0, 1), {}, "center_x"),
    ("new", (0, None, 1), {}, "center_y"),
    ("new", (0, 0, "1"), {}, "radius"),
    ("new", (0, 0), {"radius": [1]}, "radius"),
    ("new", ("a", "b", -1), {}, "center_x"),  # conversion before the radius check
    ("new", (0, 0, None), {}, "radius"),
    ("from_diameter", (0, 0, None), {}, "diameter"),
    ("from_diameter", (b"0", 0, -1), {}, "center_x"),
]


@pytest.mark.parametrize("maker, args, kwargs, parameter", NOT_CONVERTIBLE,
                         ids=[f"{c[0]}{c[1]}{c[2]}" for c in NOT_CONVERTIBLE])
def test_conversion_failures_name_the_parameter(maker, args, kwargs, parameter):
    with pytest.raises(TypeError) as caught:
        make(maker, *args, **kwargs)
    assert str(caught.value).startswith(f"argument '{parameter}': ")


def test_float_protocol():
    cylinder = Cylinder(np.int32(3), np.float32(0.5), True)
    assert (cylinder.center_x, cylinder.center_y, cylinder.radius) == (3.0, 0.5, 1.0)


@pytest.mark.parametrize("maker, args, kwargs, text", [
    ("new", (0, 0), {}, "missing 1 required positional argument: 'radius'"),
    ("new", (0, 0, 1, 2), {}, "takes 3 positional arguments but 4 were given"),
    ("new", (0, 0), {"diameter": 2}, "unexpected keyword argument 'diameter'"),
    ("from_diameter", (0, 0), {"radius": 2}, "unexpected keyword argument 'radius'"),
    ("from_diameter", (0, 0, 1), {"center_x": 1}, "multiple values for argument 'center_x'"),
])
def test_argument_matching(maker, args, kwargs, text):
    with pytest.raises(TypeError) as caught:
        make(maker, *args, **kwargs)
    assert text in str(caught.value)


# ---------------------------------------------------------------- contains

UNIT = Cylinder(0, 0, 5)

CONTAINS = [
    # cylinder, args, kwargs, expected
    (UNIT, (3, 4), {}, True),  # on the rim
    (UNIT, (-3, -4), {}, True),
    (UNIT, (0, 5), {}, True),
    (UNIT, (5, 0), {}, True),
    (UNIT, (3, 4.01), {}, False),
    (UNIT, (5.000000000000001, 0), {}, False),
    (UNIT, (3, 4, 1e9), {}, True),  # z never matters
    (UNIT, (3, 4, -INF), {}, True),
    (UNIT, (3, 4, NAN), {}, True),
    (UNIT, (3, 4), {"z": 7}, True),
    (UNIT, (0, 0), {}, True),
    (UNIT, (NAN, 0), {}, False),
    (UNIT, (0, NAN), {}, False),
    (UNIT, (INF, 0), {}, False),
    (Cylinder(0, 0, NAN), (0, 0), {}, False),
    (Cylinder(0, 0, INF), (1e300, 1e300), {}, True),
    (Cylinder(100.5, 200, 5), (103.5, 204), {}, True),
    (Cylinder(100.5, 200, 5), (103.5, 204.0001), {}, False),
    (Cylinder(0.1, 0.2, 0.3), (0.4, 0.2), {}, (0.4 - 0.1) ** 2 + 0.0 <= 0.3 * 0.3),
    (UNIT, (), {"y": 4, "x": 3, "z": 0}, True),
]


@pytest.mark.parametrize("cylinder, args, kwargs, expected", CONTAINS,
                         ids=[f"{c[0]!r}{c[1]}{c[2]}" for c in CONTAINS])
def test_contains(cylinder, args, kwargs, expected):
    assert cylinder.contains(*args, **kwargs) is expected


@pytest.mark.parametrize("args, kwargs, text", [
    ((3, 4, None), {}, "argument 'z': "),
    ((3, 4), {"z": None}, "argument 'z': "),
    ((3, 4, "1"), {}, "argument 'z': "),
    (("3", 4, None), {}, "argument 'x': "),
    ((3, [4]), {}, "argument 'y': "),
    ((3,), {}, "missing 1 required positional argument: 'y'"),
    ((3, 4, 5, 6), {}, "takes from 2 to 3 positional arguments but 4 were given"),
])
def test_contains_argument_errors(args, kwargs, text):
    with pytest.raises(TypeError) as caught:
        UNIT.contains(*args, **kwargs)
    assert text in str(caught.value)


def reference_contains(cx, cy, r, x, y):
    dx, dy = x - cx, y - cy
    return dx * dx + dy * dy <= r * r


def test_contains_agrees_with_the_formula_around_the_rim():
    rng = np.random.default_rng(20240611)
    for _ in range(200):
        cx, cy = (float(v) for v in rng.uniform(-1e6, 1e6, 2))
        r = float(rng.uniform(0.01, 1000))
        cylinder = Cylinder(cx, cy, r)
        angles = rng.uniform(0, 2 * math.pi, 50)
        for angle in angles:
            for scale in (1 - 1e-15, 1.0, 1 + 1e-15):
                x = float(cx + r * scale * math.cos(angle))
                y = float(cy + r * scale * math.sin(angle))
                assert cylinder.contains(x, y) is reference_contains(cx, cy, r, x, y)


# ---------------------------------------------------------------- repr

REPRS = [
    (Cylinder(100.5, 200, 5), "Cylinder(center_x=100.5, center_y=200, radius=5)"),
    (Cylinder.from_diameter(0, 0, 3), "Cylinder(center_x=0, center_y=0, radius=1.5)"),
    (Cylinder(-0.0, 1e21, 1e-7), "Cylinder(center_x=-0, center_y=1" + "0" * 21
     + ", radius=0.0000001)"),
    (Cylinder(NAN, -INF, INF), "Cylinder(center_x=NaN, center_y=-inf, radius=inf)"),
    (Cylinder(515385.12345, 4918355.5, 0.1), "Cylinder(center_x=515385.12345, "
     "center_y=4918355.5, radius=0.1)"),
    (Cylinder(0, 0, NAN), "Cylinder(center_x=0, center_y=0, radius=NaN)"),
]


@pytest.mark.parametrize("cylinder, text", REPRS, ids=[t for _, t in REPRS])
def test_repr(cylinder, text):
    assert repr(cylinder) == text
    assert str(cylinder) == text
