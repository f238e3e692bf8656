"""Hostile robot descriptions: malformed XML, cycles, unknown joint types, file
references that escape their folders, huge files, ambiguous chains and broken meshes."""

import json
import math
import struct

import pytest

from conftest import run_python

LINK = '<link name="{0}"/>'
JOINT = ('<joint name="{0}" type="{1}"><parent link="{2}"/><child link="{3}"/><axis xyz="0 0 1"/>'
         '<limit lower="-1" upper="1" velocity="1" effort="1"/></joint>')
MESH = '<link name="{0}"><visual><geometry><mesh filename="{1}"/></geometry></visual></link>'
COLLISION_MESH = '<link name="{0}"><collision><geometry><mesh filename="{1}"/></geometry></collision></link>'


def robot(*elements):
    return '<robot name="r">' + "".join(elements) + "</robot>"


ARM = (LINK.format("a"), LINK.format("b"), JOINT.format("j", "revolute", "a", "b"))


def arm_with_mesh(reference):
    return robot(LINK.format("a"), MESH.format("b", reference), JOINT.format("j", "revolute", "a", "b"))

ATTEMPT = """
import json, sys, velmor
try:
    # A huge text does not fit in one argument, so the child makes it.
    source = "<robot>" + " " * (9 << 20) + "</robot>" if sys.argv[1] == "HUGE" else sys.argv[1]
    velmor.robots.from_urdf(source, **json.loads(sys.argv[2]))
    print(json.dumps({"error": None}))
except Exception as error:
    print(json.dumps({"error": str(error)}))
"""


@pytest.mark.parametrize("description, options, reason", [
    ("<robot name='r'><link name='a'>", {}, "not valid"),
    ("<", {}, "not valid"),
    (robot(LINK.format("a"), LINK.format("b"), JOINT.format("j1", "revolute", "a", "b"),
           JOINT.format("j2", "revolute", "b", "a")), {}, "not valid"),
    (robot(LINK.format("a"), LINK.format("b"), JOINT.format("j", "screw", "a", "b")), {}, "not valid"),
    (robot(LINK.format("a"), LINK.format("b"), JOINT.format("j", "floating", "a", "b")), {}, "floating or planar"),
    (robot(LINK.format("a"), LINK.format("b"), LINK.format("c"), JOINT.format("j1", "revolute", "a", "b"),
           JOINT.format("j2", "revolute", "a", "c")), {}, 'choose the tip link among "b", "c"'),
    (robot(*ARM), {"tip_link": "nowhere"}, 'tip link "nowhere" is not in'),
    (robot(*ARM), {"base_link": "b", "tip_link": "a"}, "does not lie below"),
    (robot(LINK.format("a"), LINK.format("b"), JOINT.format("j", "fixed", "a", "b")), {}, "No revolute"),
    (robot(*ARM), {"max_jerk": [1, 2]}, "Got 2 jerk limits for an arm of 1 joints"),
    (arm_with_mesh("../../etc/passwd"), {}, "is relative to nothing"),
    (arm_with_mesh("package://p/../../../etc/passwd"), {"package_paths": {"p": "/tmp"}},
     'leads outside the folder of package "p"'),
    (arm_with_mesh("package://q/x.stl"), {"package_paths": {"p": "/tmp"}},
     'names the package "q"'),
    (arm_with_mesh("https://example.org/x.stl"), {}, "uses a scheme other than"),
    ("HUGE", {}, "more than the 8388608 read"),
    ("/nonexistent/robot.urdf", {}, "No robot description file"),
])
def test_bad_descriptions_get_a_clear_error(description, options, reason):
    error = run_python(ATTEMPT, description, json.dumps(options))["error"]
    assert error and reason in error, error
    assert len(error) < 1200, "the message quotes more than an excerpt"


@pytest.mark.parametrize("reference", ["../outside.stl", "link_to_outside.stl", "file:///etc/hostname"])
def test_file_references_stay_inside_the_description_folder(tmp_path, reference):
    folder = tmp_path / "robot"
    folder.mkdir()
    (tmp_path / "outside.stl").write_text("solid x\nendsolid x\n")
    (folder / "link_to_outside.stl").symlink_to(tmp_path / "outside.stl")
    path = folder / "robot.urdf"
    path.write_text(arm_with_mesh(reference))
    error = run_python(ATTEMPT, str(path), "{}")["error"]
    assert error and "leads outside the description's folder" in error, error


def test_huge_description_file_is_refused_unread(tmp_path):
    path = tmp_path / "huge.urdf"
    with open(path, "wb") as file:
        file.truncate(1 << 34)  # sparse: 16 GiB that take no room
    error = run_python(ATTEMPT, str(path), "{}")["error"]
    assert error and "larger than the 8388608 bytes read" in error, error


def binary_stl(claimed, corners):
    """A binary STL file claiming `claimed` triangles, holding the given corners' triangles."""
    body = b"".join(struct.pack("<12x9f2x", *corners[i:i + 9]) for i in range(0, len(corners), 9))
    return b" " * 80 + struct.pack("<I", claimed) + body


ASCII_FACET = "facet normal 0 0 1\nouter loop\nvertex {}\nvertex 1 0 0\nvertex 0 1 0\nendloop\nendfacet\n"
TRIANGLE = [0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0, 0.0]


@pytest.mark.parametrize("name, content, reason", [
    ("short.stl", binary_stl(10, TRIANGLE * 3), "its header's 10 triangles take 584 (truncated"),
    ("claim.stl", binary_stl(4_000_000_000, TRIANGLE), "claims 4000000000 triangles, more than the 500000 read"),
    ("nan.stl", binary_stl(2, TRIANGLE + [math.nan] + TRIANGLE[1:]), "corner of triangle 2 that is not a finite"),
    ("inf.stl", ("solid s\n" + ASCII_FACET.format("0 inf 0") + "endsolid s\n").encode(), "not a finite number"),
    ("cut.stl", ("solid s\n" + ASCII_FACET.format("0 0 0")[:60]).encode(), "ends early (truncated?)"),
    ("word.stl", ("solid s\n" + ASCII_FACET.format("0 zero 0")).encode(), '"zero" where a number belongs on line 4'),
    ("empty.stl", binary_stl(0, []), "holds no triangles"),
    ("tiny.stl", b"\x00" * 20, "fewer than a binary STL's 84-byte header"),
    ("part.dae", b"<COLLADA/>", '".dae" meshes are not read; convert it to STL'),
    ("huge.stl", 1 << 34, "more than the 33554432 read"),
], ids=lambda value: value if isinstance(value, str) and value.endswith((".stl", ".dae")) else "")
def test_bad_collision_meshes_get_a_clear_error(tmp_path, name, content, reason):
    if isinstance(content, int):
        with open(tmp_path / name, "wb") as file:
            file.truncate(content)  # sparse: no room taken
    else:
        (tmp_path / name).write_bytes(content)
    path = tmp_path / "robot.urdf"
    path.write_text(robot(LINK.format("a"), COLLISION_MESH.format("b", name), JOINT.format("j", "revolute", "a", "b")))
    error = run_python(ATTEMPT, str(path), "{}")["error"]
    assert error and reason in error and name in error, error
