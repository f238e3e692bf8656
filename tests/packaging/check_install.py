"""Checks one installed copy of the project, unpacked below ROOT.

    check_install.py --root ROOT --python PYTHON --mirava PROGRAM --quickstart SCRIPT --demo COMMAND

From a folder outside the checkout, with the environment the caller prepared
(a virtual environment's interpreter, or PYTHONPATH and PATH set into an
unpacked package): the modules import from ROOT, the quickstart runs, every
program and library below ROOT finds the project's libraries through run paths
relative to itself, and velmor-mirava serves its page. Prints one line per
check and exits non-zero at the first failure.
"""

import argparse
import os
import pathlib
import re
import shlex
import subprocess
import sys
import tempfile
import time
import urllib.request

TIME_LIMIT = 60.0  # [s] for any one program run


def check(condition, what, details=""):
    if not condition:
        raise SystemExit(f"FAILED: {what}\n{details}")
    print(f"ok: {what}")


def run(command, folder):
    return subprocess.run(command, cwd=folder, capture_output=True, text=True, timeout=TIME_LIMIT)


def modules_come_from_root(python, root, folder):
    finished = run([python, "-c", "import velmor, velmor_driver_simulated, velmor_tools.mirava as m;"
                                  "print(velmor.__file__); print(velmor_driver_simulated.__file__);"
                                  "print(m.program())"], folder)
    check(finished.returncode == 0, "the modules import", finished.stderr)
    paths = [pathlib.Path(line).resolve() for line in finished.stdout.split()]
    check(all(path.is_relative_to(root) for path in paths), f"modules and velmor-mirava come from {root}",
          finished.stdout)


def quickstart_runs(python, script, folder):
    finished = run([python, str(script)], folder)
    check(finished.returncode == 0 and "run from a wrong start: " in finished.stdout, "the quickstart runs",
          finished.stdout + finished.stderr)


def elf_files(root):
    for path in root.rglob("*"):
        if path.is_file() and not path.is_symlink():
            with open(path, "rb") as file:
                if file.read(4) == b"\x7fELF":
                    yield path


def run_paths_are_relative(root):
    """No absolute run path (it could reach the build folder); every project library resolves inside ROOT."""
    libraries = {path.name: path for path in elf_files(root) if ".so." in path.name}
    checked = 0
    for path in elf_files(root):
        dynamic = subprocess.run(["readelf", "-d", str(path)], capture_output=True, text=True, check=True).stdout
        run_path = re.findall(r"\((?:RUNPATH|RPATH)\).*\[(.*)\]", dynamic)
        needed = [name for name in re.findall(r"\(NEEDED\).*\[(.*)\]", dynamic) if name.startswith("libvelmor-")]
        entries = [entry for paths in run_path for entry in paths.split(":")]
        check(all(entry.startswith("$ORIGIN") for entry in entries), f"{path.name}: run path {entries} is relative")
        folders = [pathlib.Path(entry.replace("$ORIGIN", str(path.parent))).resolve() for entry in entries]
        for name in needed:
            check(name in libraries and any((folder / name).exists() for folder in folders),
                  f"{path.name}: {name} is found through the run path")
        checked += 1
    check(checked >= 5, f"{checked} programs and libraries checked")


def mirava_serves_its_page(program, folder):
    process = subprocess.Popen([program, "--address", "127.0.0.1:0"], cwd=folder, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, text=True)
    try:
        # The first line names the address once the server listens.
        line = process.stdout.readline()
        match = re.search(r"http://127\.0\.0\.1:(\d+)/", line)
        check(match is not None, f"{program} starts", line)
        deadline = time.monotonic() + 10.0
        for name, marker in (("", "<html"), ("app.js", "")):
            with urllib.request.urlopen(f"http://127.0.0.1:{match.group(1)}/{name}",
                                        timeout=max(0.1, deadline - time.monotonic())) as response:
                body = response.read().decode(errors="replace")
            check(response.status == 200 and marker in body and len(body) > 100, f"velmor-mirava serves /{name}")
    finally:
        process.terminate()
        process.wait(timeout=TIME_LIMIT)


def command_answers(command, folder):
    finished = run(command, folder)
    check(finished.returncode == 0, f"{' '.join(command)} answers", finished.stdout + finished.stderr)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", type=pathlib.Path, required=True)
    parser.add_argument("--python", required=True)
    parser.add_argument("--mirava", required=True)
    parser.add_argument("--quickstart", type=pathlib.Path, required=True)
    parser.add_argument("--demo", required=True, help="the demo's command line, run with --help")
    arguments = parser.parse_args()
    check("LD_LIBRARY_PATH" not in os.environ, "LD_LIBRARY_PATH is not set")
    root = arguments.root.resolve()
    with tempfile.TemporaryDirectory(prefix="velmor-outside-") as folder:
        modules_come_from_root(arguments.python, root, folder)
        quickstart_runs(arguments.python, arguments.quickstart, folder)
        run_paths_are_relative(root)
        mirava_serves_its_page(arguments.mirava, folder)
        command_answers([*shlex.split(arguments.demo), "--help"], folder)


if __name__ == "__main__":
    sys.exit(main())
