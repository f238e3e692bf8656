"""Writes gripper.stl, the seven-axis arm's gripper: a palm on the flange and two
fingers standing on it, as an ASCII STL mesh in metres in the flange's frame.

    python3 motion/robots/meshes/make_gripper.py > motion/robots/meshes/gripper.stl
"""

import sys
from typing import List, Tuple

Point = Tuple[float, float, float]

PALM = ((-0.04, -0.06, 0.0), (0.04, 0.06, 0.03))
FINGERS = [((-0.015, -0.05, 0.03), (0.015, -0.03, 0.09)), ((-0.015, 0.03, 0.03), (0.015, 0.05, 0.09))]


def box_faces(low: Point, high: Point) -> List[Tuple[Point, List[Point]]]:
    """The two triangles of each face of a box, wound outwards, with the face's normal."""
    faces: List[Tuple[Point, List[Point]]] = []
    for axis in range(3):
        u, v = [k for k in range(3) if k != axis]
        for side, corner in ((-1, low), (1, high)):
            def at(a: float, b: float) -> Point:
                point = [0.0, 0.0, 0.0]
                point[axis], point[u], point[v] = corner[axis], a, b
                return (point[0], point[1], point[2])
            quad = [at(low[u], low[v]), at(low[u], high[v]), at(high[u], high[v]), at(high[u], low[v])]
            # Seen from outside, the corners must turn anticlockwise about the normal.
            if (side > 0) == (axis != 1):
                quad = [quad[0], quad[3], quad[2], quad[1]]
            normal = (float(side) if axis == 0 else 0.0, float(side) if axis == 1 else 0.0,
                      float(side) if axis == 2 else 0.0)
            faces.append((normal, [quad[0], quad[1], quad[2]]))
            faces.append((normal, [quad[0], quad[2], quad[3]]))
    return faces


def number(value: float) -> str:
    """Shortest form, and 0 rather than -0."""
    return f"{value + 0.0:g}"


def main() -> None:
    lines = ["solid gripper"]
    for low, high in [PALM, *FINGERS]:
        for normal, corners in box_faces(low, high):
            lines.append("  facet normal " + " ".join(number(n) for n in normal))
            lines.append("    outer loop")
            lines += ["      vertex " + " ".join(number(c) for c in corner) for corner in corners]
            lines += ["    endloop", "  endfacet"]
    lines.append("endsolid gripper")
    sys.stdout.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
