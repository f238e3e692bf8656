"""Build backend (PEP 517) that makes the wheel out of an existing CMake build.

Nothing is compiled or bundled here: the backend runs the build's own install
rules (components runtime and python, stripped) into a staging folder and lays
that tree out as a wheel. The Python modules, their stubs and velmor_tools go
to the wheel's root (site-packages). Everything else keeps its place below the
prefix as wheel data, which pip installs below the environment's prefix: the
shared libraries land in PREFIX/lib, three folders above site-packages
(PREFIX/lib/python3.11/site-packages), exactly as in a CMake installation,
so the modules' relative run path finds them there too. velmor-mirava goes to
PREFIX/libexec, since PREFIX/bin holds the `velmor-mirava` launcher, and finds
its page in PREFIX/share/velmor-mirava/web.

The build folder is `build` (pyproject.toml, [tool.velmor-wheel]) or the
config setting `build-dir`.
"""

import base64
import csv
import hashlib
import io
import pathlib
import re
import subprocess
import tempfile
import tomllib
import zipfile

SOURCE = pathlib.Path.cwd()
COMPONENTS = ("runtime", "python")
MIRAVA = "bin/velmor-mirava"


class WheelError(Exception):
    pass


def read_pyproject():
    with open(SOURCE / "pyproject.toml", "rb") as file:
        return tomllib.load(file)


def build_folder(pyproject, config_settings):
    folder = (config_settings or {}).get("build-dir") or pyproject["tool"]["velmor-wheel"]["build-dir"]
    folder = (SOURCE / folder).resolve()
    if not (folder / "CMakeCache.txt").is_file():
        raise WheelError(f"{folder} is no CMake build folder: build first with scripts/build.sh {folder}")
    return folder


def cmake_cache(folder):
    """The build's cache entries, name to value."""
    entries = {}
    for line in (folder / "CMakeCache.txt").read_text().splitlines():
        match = re.match(r"^([A-Za-z0-9_]+):[A-Z]+=(.*)$", line)
        if match:
            entries[match.group(1)] = match.group(2)
    return entries


def check_build(cache, folder):
    for option in ("VELMOR_BUILD_PYTHON", "VELMOR_BUILD_MIRAVA_APP"):
        if cache.get(option, "ON").upper() in ("OFF", "0", "FALSE", "NO"):
            raise WheelError(f"{folder} was configured with {option}=OFF; the wheel needs both Python modules "
                             "and velmor-mirava")


def stage(cache, folder, prefix):
    cmake = cache.get("CMAKE_COMMAND", "cmake")
    for component in COMPONENTS:
        finished = subprocess.run([cmake, "--install", str(folder), "--prefix", str(prefix), "--component",
                                   component, "--strip"], stdout=subprocess.DEVNULL)
        if finished.returncode != 0:
            raise WheelError(f"installing the {component} component of {folder} failed: is the build complete? "
                             f"(scripts/build.sh {folder})")


def python_tag(modules):
    """The wheel tag of the built extension modules, from their file names."""
    tags = {re.search(r"\.cpython-(\d+)-x86_64-linux-gnu\.so$", module.name) for module in modules}
    versions = {tag.group(1) for tag in tags if tag}
    if len(versions) != 1 or None in tags:
        raise WheelError(f"cannot tell one CPython version from the modules {[m.name for m in modules]}")
    version = versions.pop()
    return f"cp{version}-cp{version}-linux_x86_64"


def wheel_layout(prefix, python_dir, data_dir):
    """Each staged file and the path it takes in the wheel."""
    layout = []
    for path in sorted(prefix.rglob("*")):
        if path.is_dir() and not path.is_symlink():
            continue
        relative = path.relative_to(prefix).as_posix()
        if path.is_symlink():
            raise WheelError(f"{relative} is a symbolic link, which a wheel cannot hold")
        if relative.startswith(python_dir + "/"):
            layout.append((path, relative[len(python_dir) + 1:]))
        elif relative == MIRAVA:
            layout.append((path, f"{data_dir}/data/libexec/velmor-mirava"))
        else:
            layout.append((path, f"{data_dir}/data/{relative}"))
    return layout


def metadata(project, version):
    lines = [
        "Metadata-Version: 2.1",
        f"Name: {project['name']}",
        f"Version: {version}",
        f"Summary: {project['description']}",
        f"Requires-Python: {project['requires-python']}",
    ]
    lines += [f"Classifier: {classifier}" for classifier in project.get("classifiers", [])]
    readme = SOURCE / project["readme"]
    lines.append("Description-Content-Type: text/markdown")
    return "\n".join(lines) + "\n\n" + readme.read_text()


def entry_points(project):
    groups = {"console_scripts": project.get("scripts", {}), **project.get("entry-points", {})}
    return "\n".join(f"[{group}]\n" + "".join(f"{name} = {target}\n" for name, target in entries.items())
                     for group, entries in groups.items())


def record_line(name, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return [name, f"sha256={digest}", str(len(data))]


def write_wheel(target, files, generated):
    """Writes the files (path, name in wheel) and the generated texts (name, text) with a RECORD."""
    record = []
    with zipfile.ZipFile(target, "w", compression=zipfile.ZIP_DEFLATED) as wheel:

        def add(name, data, mode=0o100644):
            # A fixed time stamp keeps the wheel the same for the same build; the
            # mode keeps velmor-mirava executable once pip unpacks it.
            info = zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0))
            info.external_attr = (mode & 0xFFFF) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            wheel.writestr(info, data)

        for path, name in files:
            data = path.read_bytes()
            add(name, data, path.stat().st_mode)
            record.append(record_line(name, data))
        for name, text in generated:
            add(name, text.encode())
            record.append(record_line(name, text.encode()))
        record_name = generated[0][0].split("/", 1)[0] + "/RECORD"
        text = io.StringIO()
        csv.writer(text, lineterminator="\n").writerows(record + [[record_name, "", ""]])
        add(record_name, text.getvalue().encode())


def get_requires_for_build_wheel(config_settings=None):
    return []


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    try:
        return assemble_wheel(pathlib.Path(wheel_directory), config_settings)
    except WheelError as error:
        raise SystemExit(f"velmor_wheel: {error}") from None


def assemble_wheel(wheel_directory, config_settings):
    pyproject = read_pyproject()
    project = pyproject["project"]
    folder = build_folder(pyproject, config_settings)
    cache = cmake_cache(folder)
    check_build(cache, folder)
    version = cache["CMAKE_PROJECT_VERSION"]
    distribution = re.sub(r"[-_.]+", "_", project["name"]).lower()
    python_dir = cache.get("VELMOR_INSTALL_PYTHONDIR", "lib/python3/dist-packages")
    with tempfile.TemporaryDirectory(prefix="velmor-wheel-") as temporary:
        prefix = pathlib.Path(temporary)
        stage(cache, folder, prefix)
        tag = python_tag(list((prefix / python_dir).glob("*.so")))
        files = wheel_layout(prefix, python_dir, f"{distribution}-{version}.data")
        dist_info = f"{distribution}-{version}.dist-info"
        generated = [
            (f"{dist_info}/METADATA", metadata(project, version)),
            (f"{dist_info}/WHEEL", f"Wheel-Version: 1.0\nGenerator: velmor_wheel {version}\n"
                                   f"Root-Is-Purelib: false\nTag: {tag}\n"),
            (f"{dist_info}/entry_points.txt", entry_points(project)),
        ]
        name = f"{distribution}-{version}-{tag}.whl"
        wheel_directory.mkdir(parents=True, exist_ok=True)
        write_wheel(wheel_directory / name, files, generated)
    return name
