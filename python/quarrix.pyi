"""Python bindings for quarrix - extract points from LAS/LAZ files using GeoPackage tile indices"""

# Type stub of the extension module quarrix, installed beside it so that editors and type
# checkers know the API.

from typing import final

__version__: str
__all__ = [
    "ExtractionStats",
    "BoundingBox",
    "Cylinder",
    "Frustum",
    "extract",
    "__doc__",
    "__version__",
]

@final
class ExtractionStats:
    """Python wrapper for extraction statistics."""

    # Made only by extract(); calling the class raises TypeError.
    @property
    def tiles_processed(self) -> int:
        """Number of tiles that were successfully processed."""
    @property
    def points_read(self) -> int:
        """Total number of points read from all tiles."""
    @property
    def points_written(self) -> int:
        """Number of points that passed the geometry filter."""
    @property
    def elapsed_time(self) -> float:
        """Total time taken for the extraction in seconds."""

@final
class BoundingBox:
    """Python wrapper for a 2D/3D bounding box geometry."""

    def __new__(
        cls,
        min_x: float,
        max_x: float,
        min_y: float,
        max_y: float,
        min_z: float | None = None,
        max_z: float | None = None,
    ) -> BoundingBox: ...
    @staticmethod
    def new_2d(min_x: float, max_x: float, min_y: float, max_y: float) -> BoundingBox:
        """Create a new 2D bounding box (convenience method)."""
    @staticmethod
    def new_3d(
        min_x: float, max_x: float, min_y: float, max_y: float, min_z: float, max_z: float
    ) -> BoundingBox:
        """Create a new 3D bounding box (convenience method)."""
    def contains(self, x: float, y: float, z: float | None = None) -> bool:
        """Check if a point is inside the bounding box."""
    @property
    def min_x(self) -> float: ...
    @property
    def max_x(self) -> float: ...
    @property
    def min_y(self) -> float: ...
    @property
    def max_y(self) -> float: ...
    @property
    def min_z(self) -> float | None: ...
    @property
    def max_z(self) -> float | None: ...

@final
class Cylinder:
    """Python wrapper for a vertical cylinder geometry."""

    def __new__(cls, center_x: float, center_y: float, radius: float) -> Cylinder: ...
    @staticmethod
    def from_diameter(center_x: float, center_y: float, diameter: float) -> Cylinder:
        """Create a new vertical cylinder from center coordinates and diameter."""
    def contains(self, x: float, y: float, z: float = 0.0) -> bool:
        """Check if a point is inside the cylinder."""
    @property
    def center_x(self) -> float: ...
    @property
    def center_y(self) -> float: ...
    @property
    def radius(self) -> float: ...
    @property
    def diameter(self) -> float: ...

@final
class Frustum:
    """Python wrapper for a frustum (truncated pyramid) geometry.

    A frustum is defined by an origin point, angular bounds (two corner angles),
    and distance bounds (near and far planes).

    Uses geographic coordinates:
    - phi (azimuth): measured clockwise from north (0-360 degrees)
    - theta (elevation): measured above/below horizontal (-90 to +90 degrees)
    """

    def __new__(
        cls,
        origin_x: float,
        origin_y: float,
        origin_z: float,
        phi1: float,
        theta1: float,
        phi2: float,
        theta2: float,
        min_distance: float,
        max_distance: float,
    ) -> Frustum: ...
    def contains(self, x: float, y: float, z: float) -> bool:
        """Check if a 3D point is inside the frustum."""
    @property
    def origin_x(self) -> float: ...
    @property
    def origin_y(self) -> float: ...
    @property
    def origin_z(self) -> float: ...
    @property
    def min_distance(self) -> float: ...
    @property
    def max_distance(self) -> float: ...

def extract(
    index_path: str,
    output_path: str,
    geometry: BoundingBox | Cylinder | Frustum,
    verbose: bool = False,
) -> ExtractionStats:
    """Extract points from LAS/LAZ files using a GeoPackage tile index.

    Raises ValueError when the geometry is none of the three classes and when the extraction
    fails ("Extraction failed: ..."); TypeError for arguments of the wrong type.
    """
