"""The velmor-mirava launcher starts the program built beside the modules,
and never a script in its place (an installed wheel's bin/velmor-mirava is the
launcher itself)."""

import pathlib
import stat

import pytest

import velmor_tools.mirava as launcher


def test_finds_the_program_built_beside_the_modules():
    built = pathlib.Path(launcher.__file__).resolve().parents[2] / "motion" / "app" / "velmor-mirava"
    if not built.exists():
        pytest.skip("velmor-mirava is not built (VELMOR_BUILD_MIRAVA_APP=OFF)")
    assert launcher.program() == built


@pytest.mark.parametrize("content", [b"#!/usr/bin/python3\n", b"\x7fELF"], ids=["script", "not executable"])
def test_refuses_what_it_cannot_start_as_the_program(tmp_path, content):
    candidate = tmp_path / "velmor-mirava"
    candidate.write_bytes(content)
    if content.startswith(b"#!"):
        candidate.chmod(candidate.stat().st_mode | stat.S_IXUSR)
    assert not launcher.is_program(candidate)
