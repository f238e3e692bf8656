"""Hostile robot descriptions: malformed XML, cycles, unknown joint types, file
references that escape their folders, huge files and ambiguous chains."""

import json

import pytest

from conftest import run_python

LINK = '<link name="{0}"/>'
JOINT = ('<joint name="{0}" type="{1}"><parent link="{2}"/><child link="{3}"/><axis xyz="0 0 1"/>'
         '<limit lower="-1" upper="1" velocity="1" effort="1"/></joint>')
MESH = '<link name="{0}"><visual><geometry><mesh filename="{1}"/></geometry></visual></link>'


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
