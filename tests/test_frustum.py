"""quarrix.Frustum: the constructor's checks and their order (the core's refusal of NaN distances
included), argument conversion, contains() across the azimuth wrap, half turns, full circles,
elevation order, the origin and the vertical, the properties, the repr and the class texts."""

from __future__ import annotations

import inspect
import math

import numpy as np
import pytest

import quarrix

Frustum = quarrix.Frustum
NAN = math.nan
INF = math.inf

CLASS_DOC = (
    "Python wrapper for a frustum (truncated pyramid) geometry.\n\n"
    "A frustum is defined by an origin point, angular bounds (two corner angles),\n"
    "and distance bounds (near and far planes).\n\n"
    "Uses geographic coordinates:\n"
    "- phi (azimuth): measured clockwise from north (0-360 degrees)\n"
    "- theta (elevation): measured above/below horizontal (-90 to +90 degrees)")
CONTAINS_DOC = (
    "Check if a 3D point is inside the frustum.\n\nArgs:\n"
    "    x: X coordinate\n    y: Y coordinate\n    z: Z coordinate\n\n"
    "Returns:\n    bool: True if the point is inside the frustum")
PARAMETERS = ("origin_x", "origin_y", "origin_z", "phi1", "theta1", "phi2", "theta2",
              "min_distance", "max_distance")


def frustum(phi1=0, phi2=90, theta1=0, theta2=45, min_distance=0, max_distance=10,
            origin=(0, 0, 0)):
    return Frustum(*origin, phi1, theta1, phi2, theta2, min_distance, max_distance)


def toward(azimuth_degrees, distance=5.0, elevation_degrees=0.0, origin=(0.0, 0.0, 0.0)):
    """The point seen from `origin` at that azimuth (clockwise from north), elevation and
    distance."""
    a = math.radians(azimuth_degrees)
    e = math.radians(elevation_degrees)
    h = distance * math.cos(e)
    return (origin[0] + h * math.sin(a), origin[1] + h * math.cos(a),
            origin[2] + distance * math.sin(e))


# ---------------------------------------------------------------- texts and flags


def test_class_texts():
    assert Frustum.__doc__ == CLASS_DOC
    assert Frustum.__text_signature__ == (
        "(origin_x, origin_y, origin_z, phi1, theta1, phi2, theta2, min_distance, max_distance)")
    assert tuple(inspect.signature(Frustum).parameters) == PARAMETERS


def test_contains_texts():
    assert Frustum.contains.__text_signature__ == "($self, x, y, z)"
    assert Frustum.contains.__doc__ == CONTAINS_DOC


def test_members_are_exactly_these():
    own = {name for name in vars(Frustum) if not name.startswith("__")}
    assert own == {"contains", "origin_x", "origin_y", "origin_z", "min_distance",
                   "max_distance"}


@pytest.mark.parametrize("name", ["origin_x", "origin_y", "origin_z", "min_distance",
                                  "max_distance"])
def test_properties_have_no_doc_and_are_read_only(name):
    assert getattr(Frustum, name).__doc__ is None
    f = frustum()
    before = getattr(f, name)
    with pytest.raises(AttributeError):
        setattr(f, name, 5.0)
    with pytest.raises(AttributeError):
        delattr(f, name)
    assert getattr(f, name) == before


def test_angles_are_not_exposed():
    f = frustum()
    for name in ("phi1", "phi2", "theta1", "theta2", "phi_min", "phi_max", "theta_min",
                 "theta_max", "phi_wraps"):
        assert not hasattr(f, name), name


def test_compared_by_identity():
    a, b = frustum(), frustum()
    assert a == a and a != b
    with pytest.raises(TypeError):
        a > b  # noqa: B015


def test_properties():
    f = Frustum(1, 2.5, -3, 10, 20, 30, 40, 0.5, 100)
    assert (f.origin_x, f.origin_y, f.origin_z, f.min_distance, f.max_distance) == (
        1.0, 2.5, -3.0, 0.5, 100.0)
    assert all(type(getattr(f, name)) is float
               for name in ("origin_x", "origin_y", "origin_z", "min_distance", "max_distance"))


# ---------------------------------------------------------------- construction

REFUSALS = [
    # min_distance, max_distance, message
    (-1, 10, "min_distance must be non-negative"),
    (-5e-324, 10, "min_distance must be non-negative"),
    (-INF, INF, "min_distance must be non-negative"),
    (-1, -5, "min_distance must be non-negative"),  # the first check wins
    (-1, NAN, "min_distance must be non-negative"),
    (5, 2, "max_distance must be >= min_distance"),
    (INF, 1e308, "max_distance must be >= min_distance"),
    # NaN passes the class's own checks and is refused by the core with its message
    (NAN, 10, "min_distance must be non-negative, got NaN"),
    (NAN, NAN, "min_distance must be non-negative, got NaN"),
    (0, NAN, "max_distance (NaN) must be >= min_distance (0)"),
    (2.5, NAN, "max_distance (NaN) must be >= min_distance (2.5)"),
    (1e21, NAN, "max_distance (NaN) must be >= min_distance (1" + "0" * 21 + ")"),
]


@pytest.mark.parametrize("min_distance, max_distance, message", REFUSALS,
                         ids=[c[2] for c in REFUSALS])
def test_distance_refusals(min_distance, max_distance, message):
    with pytest.raises(ValueError) as caught:
        frustum(min_distance=min_distance, max_distance=max_distance)
    assert str(caught.value) == message


@pytest.mark.parametrize("min_distance, max_distance", [
    (5, 5), (0, 0), (-0.0, 0), (0, INF), (INF, INF), (0, 5e-324), (1e-300, 1e300)])
def test_accepted_distances(min_distance, max_distance):
    f = frustum(min_distance=min_distance, max_distance=max_distance)
    assert f.min_distance == min_distance and f.max_distance == max_distance


@pytest.mark.parametrize("angles", [
    (370, 0, 380, 10), (-720, -90, 720, 90), (1e300, -1e300, -1e300, 1e300),
    (NAN, NAN, NAN, NAN), (INF, 0, -INF, 0), (0, 180, 90, -180)])
def test_angles_are_never_refused(angles):
    phi1, theta1, phi2, theta2 = angles
    Frustum(0, 0, 0, phi1, theta1, phi2, theta2, 0, 10)


@pytest.mark.parametrize("index", range(9), ids=PARAMETERS)
def test_conversion_failures_name_the_parameter(index):
    arguments = [0, 0, 0, 0, 0, 90, 45, 0, 10]
    arguments[index] = "x"
    with pytest.raises(TypeError) as caught:
        Frustum(*arguments)
    assert str(caught.value).startswith(f"argument '{PARAMETERS[index]}': ")


def test_conversion_runs_before_the_checks_and_in_order():
    with pytest.raises(TypeError, match="^argument 'theta2': "):
        Frustum(0, 0, 0, 0, 0, 90, None, -1, 10)
    with pytest.raises(TypeError, match="^argument 'max_distance': "):
        Frustum(0, 0, 0, 0, 0, 90, 45, -1, None)
    with pytest.raises(TypeError, match="^argument 'origin_y': "):
        Frustum(0, "y", 0, 0, 0, 90, None, -1, 10)


def test_keywords_and_float_protocol():
    f = Frustum(max_distance=np.float32(8), min_distance=np.int64(1), theta2=45, phi2=90,
                theta1=0, phi1=0, origin_z=True, origin_y=2, origin_x=1)
    assert (f.origin_x, f.origin_y, f.origin_z, f.min_distance, f.max_distance) == (
        1.0, 2.0, 1.0, 1.0, 8.0)


@pytest.mark.parametrize("args, kwargs, text", [
    ((0,) * 8, {}, "missing 1 required positional argument: 'max_distance'"),
    ((0,) * 10, {}, "takes 9 positional arguments but 10 were given"),
    ((0,) * 9, {"phi": 1}, "unexpected keyword argument 'phi'"),
    ((0,) * 9, {"phi1": 1}, "multiple values for argument 'phi1'"),
    ((), {}, "missing 9 required positional arguments"),
])
def test_argument_matching(args, kwargs, text):
    with pytest.raises(TypeError) as caught:
        Frustum(*args, **kwargs)
    assert text in str(caught.value)


# ---------------------------------------------------------------- contains

QUADRANT = frustum()  # azimuths 0-90, elevations 0-45, distances 0-10

CONTAINS = [
    # frustum, point, expected, why
    (QUADRANT, (5, 5, 0), True, "azimuth 45, elevation 0, distance 7.07"),
    (QUADRANT, (5, 5, 9), False, "distance above 10"),
    (QUADRANT, (-5, 5, 0), False, "azimuth 315"),
    (QUADRANT, (5, 5, 5), True, "elevation 35"),
    (QUADRANT, (1, 1, 2), False, "elevation 54.7"),
    (QUADRANT, (5, 5, -0.1), False, "below the horizontal"),
    (QUADRANT, (0, 10, 0), True, "due north at the far limit"),
    (QUADRANT, (10, 0, 0), True, "due east at the far limit"),
    (QUADRANT, (0, 0, 0), True, "the origin: distance 0, elevation 0, north"),
    (QUADRANT, (0, -5, 0), False, "due south"),
    (frustum(min_distance=1), (0, 0, 0), False, "the origin closer than min_distance"),
    (frustum(theta1=10), (0, 0, 0), False, "the origin's elevation 0 not in range"),
    (frustum(phi1=10, phi2=20), (0, 0, 0), False, "the origin's azimuth north not in range"),
    (frustum(phi1=350, phi2=10), (0, 5, 0), True, "wrap through north"),
    (frustum(phi1=10, phi2=350), (0, 5, 0), True, "wrap through north, other order"),
    (frustum(phi1=350, phi2=10), (5, 0, 0), False, "east outside the wrap"),
    (frustum(phi1=10, phi2=350), (5, 0, 0), False, "east outside the wrap, other order"),
    (frustum(phi1=350, phi2=10), toward(355), True, "azimuth 355"),
    (frustum(phi1=350, phi2=10), toward(5), True, "azimuth 5"),
    (frustum(phi1=350, phi2=10), toward(345), False, "azimuth 345"),
    (frustum(phi1=-10, phi2=10), toward(355), True, "negative corner azimuth"),
    (frustum(phi1=-10, phi2=10), toward(15), False, "negative corner azimuth, outside"),
    (frustum(phi1=0, phi2=200), toward(270), True, "160 degree arc through north"),
    (frustum(phi1=0, phi2=200), toward(100), False, "outside the 160 degree arc"),
    (frustum(phi1=0, phi2=180), toward(90), True, "half turn: east"),
    (frustum(phi1=0, phi2=180), toward(270), False, "half turn: west"),
    (frustum(phi1=0, phi2=180), (0, -5, 0), True, "half turn: 180 itself"),
    (frustum(phi1=180, phi2=0), (-5, 0, 0), False, "half turn other order: still 0 to 180"),
    (frustum(phi1=90, phi2=90.05), toward(270), True, "span 0.05: full circle"),
    (frustum(phi1=0, phi2=359.95), toward(180), True, "span 359.95: full circle"),
    (frustum(phi1=10, phi2=370), toward(200), True, "span 360: full circle"),
    (frustum(phi1=5, phi2=5), toward(123), True, "span 0: full circle"),
    (frustum(phi1=0, phi2=359.85), (0, 5, 0), True, "0.15 degree wedge: north"),
    (frustum(phi1=0, phi2=359.85), toward(359.9), True, "0.15 degree wedge: 359.9"),
    (frustum(phi1=0, phi2=359.85), toward(0.1), False, "0.15 degree wedge: 0.1"),
    (frustum(phi1=0, phi2=359.85), toward(180), False, "0.15 degree wedge: south"),
    (frustum(phi1=370, phi2=380, theta2=10), toward(15), True, "corners 370, 380: 10 to 20"),
    (frustum(phi1=370, phi2=380, theta2=10), toward(5), False, "corners 370, 380: 5"),
    (frustum(phi1=370, phi2=380, theta2=10), toward(25), False, "corners 370, 380: 25"),
    (frustum(theta1=30, theta2=-10), toward(45, 5, 20), True, "elevation 20 in -10..30"),
    (frustum(theta1=30, theta2=-10), toward(45, 5, -5), True, "elevation -5 in -10..30"),
    (frustum(theta1=30, theta2=-10), toward(45, 5, 35), False, "elevation 35"),
    (frustum(theta1=30, theta2=-10), toward(45, 5, -15), False, "elevation -15"),
    (frustum(theta1=-10, theta2=30), toward(45, 5, -15), False, "elevation -15, other order"),
    (frustum(min_distance=5, max_distance=5), (3, 4, 0), True, "distance exactly 5"),
    (frustum(min_distance=5, max_distance=5), (3, 4.001, 0), False, "distance above 5"),
    (frustum(min_distance=5, max_distance=5), (3, 3.999, 0), False, "distance below 5"),
    (frustum(phi1=0, phi2=359.95, theta2=90), (0, 0, 5), True, "straight up, full circle"),
    (frustum(phi1=10, phi2=20, theta2=90), (0, 0, 5), False, "straight up counts as north"),
    (frustum(phi1=350, phi2=10, theta2=90), (0, 0, 5), True, "straight up, north in range"),
    (frustum(phi1=0, phi2=359.95, theta1=-90, theta2=0), (0, 0, -5), True, "straight down"),
    (frustum(phi1=0, phi2=359.95), (NAN, 0, 0), True, "NaN x, full circle"),
    (frustum(phi1=0, phi2=359.95), (0, 0, NAN), True, "NaN z, full circle"),
    (frustum(phi1=0, phi2=90), (NAN, 0, 0), False, "NaN x, limited azimuths"),
    (frustum(phi1=0, phi2=90), (0, NAN, 0), False, "NaN y, limited azimuths"),
    # A NaN z leaves the azimuth a number: only distance and elevation become NaN, and those
    # tests only reject.
    (frustum(phi1=0, phi2=90), (1, 1, NAN), True, "NaN z, azimuth 45 in range"),
    (frustum(phi1=0, phi2=90), (-1, 1, NAN), False, "NaN z, azimuth 315 out of range"),
    (frustum(origin=(1000, 2000, 300)), (1005, 2005, 300), True, "shifted origin"),
    (frustum(origin=(1000, 2000, 300)), (5, 5, 0), False, "shifted origin, far point"),
    (frustum(max_distance=INF), (1e300, 1e300, 0), True, "unbounded distance"),
]


@pytest.mark.parametrize("f, point, expected, why", CONTAINS, ids=[c[3] for c in CONTAINS])
def test_contains(f, point, expected, why):
    assert f.contains(*point) is expected


def test_contains_by_keyword():
    assert QUADRANT.contains(z=0, y=5, x=5) is True


@pytest.mark.parametrize("args, kwargs, text", [
    ((1, 2), {}, "missing 1 required positional argument: 'z'"),
    ((1,), {}, "missing 2 required positional arguments: 'y' and 'z'"),
    ((1, 2, 3, 4), {}, "takes 3 positional arguments but 4 were given"),
    ((1, 2, None), {}, "argument 'z': "),
    (("1", 2, 3), {}, "argument 'x': "),
    ((1, 2), {"w": 3}, "unexpected keyword argument 'w'"),
])
def test_contains_argument_errors(args, kwargs, text):
    with pytest.raises(TypeError) as caught:
        QUADRANT.contains(*args, **kwargs)
    assert text in str(caught.value)


# An independent statement of the point test with the same floating-point operations (Python's
# math module calls the same C library), so the answers must agree exactly.
def reference_contains(parameters, x, y, z):
    ox, oy, oz, phi1, theta1, phi2, theta2, dmin, dmax = parameters
    rad = 0.017453292519943295
    two_pi = 6.283185307179586
    if abs(phi2 - phi1) >= 359.9 or abs(phi2 - phi1) <= 0.1:
        phi_min, phi_max, wraps = 0.0, two_pi, False
    else:
        a1 = math.fmod(phi1 * rad, two_pi)
        a1 = a1 + two_pi if a1 < 0 else a1
        a2 = math.fmod(phi2 * rad, two_pi)
        a2 = a2 + two_pi if a2 < 0 else a2
        v = abs(a2 - a1)
        if v <= two_pi - v:
            phi_min, phi_max, wraps = min(a1, a2), max(a1, a2), False
        else:
            phi_min, phi_max, wraps = max(a1, a2), min(a1, a2), True
    t1, t2 = theta1 * rad, theta2 * rad
    theta_min, theta_max = min(t1, t2), max(t1, t2)
    dx, dy, dz = x - ox, y - oy, z - oz
    h2 = dx * dx + dy * dy
    distance = math.sqrt(h2 + dz * dz)
    if distance < 1e-10:
        distance, elevation, azimuth = 0.0, 0.0, 0.0
    else:
        elevation = math.asin(dz / distance)
        if math.sqrt(h2) < 1e-10:
            azimuth = 0.0
        else:
            azimuth = math.fmod(math.atan2(dx, dy), two_pi)
            if azimuth < 0:
                azimuth += two_pi
    if distance < dmin or distance > dmax or elevation < theta_min or elevation > theta_max:
        return False
    if phi_max >= 6.283185306179586:
        return True
    if wraps:
        return azimuth >= phi_min or azimuth <= phi_max
    return phi_min <= azimuth <= phi_max


def test_contains_agrees_with_an_independent_statement():
    rng = np.random.default_rng(7)
    for _ in range(150):
        origin = [float(v) for v in rng.uniform(-1000, 1000, 3)]
        phis = [float(v) for v in rng.uniform(-400, 400, 2)]
        thetas = [float(v) for v in rng.uniform(-90, 90, 2)]
        dmin = float(rng.choice([0.0, rng.uniform(0, 50)]))
        dmax = dmin + float(rng.uniform(0, 100))
        parameters = (*origin, phis[0], thetas[0], phis[1], thetas[1], dmin, dmax)
        f = Frustum(*parameters)
        points = rng.uniform(-150, 150, (200, 3)) + np.array(origin)
        # Points on the bounds: the corner directions at the two distances.
        for phi in phis:
            for theta in thetas:
                for distance in (dmin, dmax):
                    points = np.vstack([points, toward(phi, distance, theta, origin)])
        for x, y, z in points.tolist():
            assert f.contains(x, y, z) is reference_contains(parameters, x, y, z), (
                parameters, (x, y, z))


# ---------------------------------------------------------------- repr

REPRS = [
    (Frustum(1, 2, 3, 0, 0, 90, 45, 0, 100.5),
     "Frustum(origin=(1, 2, 3), min_distance=0, max_distance=100.5)"),
    (Frustum(515385.25, 4918355.125, 2330.5, 370, -10, 20, 80, 2, 8),
     "Frustum(origin=(515385.25, 4918355.125, 2330.5), min_distance=2, max_distance=8)"),
    (Frustum(-0.0, 0.1, -1e21, 0, 0, 0, 0, 1e-7, INF),
     "Frustum(origin=(-0, 0.1, -1" + "0" * 21 + "), min_distance=0.0000001, max_distance=inf)"),
    (Frustum(NAN, INF, -INF, 0, 0, 0, 0, 5, 5),
     "Frustum(origin=(NaN, inf, -inf), min_distance=5, max_distance=5)"),
]


@pytest.mark.parametrize("f, text", REPRS, ids=[t for _, t in REPRS])
def test_repr(f, text):
    assert repr(f) == text
    assert str(f) == text
