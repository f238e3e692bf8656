"""Finds and starts the velmor-mirava program that belongs to these modules.

    velmor-mirava [--address HOST:PORT] [--robot NAME] [--web-root DIR]
    python3 -m velmor_tools.mirava ...

The program is looked up beside this package, wherever the modules came from:
the build folder (build/python next to build/motion/app), an installed wheel
(PREFIX/libexec, since PREFIX/bin holds this launcher), or a CMake or Debian
installation (PREFIX/bin). The program finds its page itself, relative to its
own location.
"""

import os
import pathlib
import sys

PROGRAM_NAME = "velmor-mirava"


class MiravaNotFound(Exception):
    pass


def candidates() -> list[pathlib.Path]:
    """Where the program may lie, most specific first."""
    package = pathlib.Path(__file__).resolve().parent
    # PREFIX/lib/python3.X/site-packages/velmor_tools, or PREFIX/lib/python3/dist-packages/velmor_tools
    prefix = package.parents[3]
    return [
        package.parents[1] / "motion" / "app" / PROGRAM_NAME,
        prefix / "libexec" / PROGRAM_NAME,
        prefix / "bin" / PROGRAM_NAME,
    ]


def is_program(path: pathlib.Path) -> bool:
    """A native executable: never a script, so the launcher cannot start itself."""
    try:
        with open(path, "rb") as file:
            return file.read(4) == b"\x7fELF" and os.access(path, os.X_OK)
    except OSError:
        return False


def program() -> pathlib.Path:
    """The path of the velmor-mirava program; raises MiravaNotFound when there is none."""
    for candidate in candidates():
        if is_program(candidate):
            return candidate
    searched = ", ".join(str(candidate) for candidate in candidates())
    raise MiravaNotFound(f"{PROGRAM_NAME} was not found (searched {searched}); "
                         "it is built unless the build was configured with -DVELMOR_BUILD_MIRAVA_APP=OFF")


def main() -> None:
    """Replaces this process with the program, passing the command line on."""
    try:
        path = program()
    except MiravaNotFound as error:
        raise SystemExit(f"[velmor.mirava] {error}") from None
    os.execv(path, [str(path), *sys.argv[1:]])


if __name__ == "__main__":
    main()
