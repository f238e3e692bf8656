"""Type-checks the README's Python blocks together with the example scripts.

    check_snippet_types.py README CACHE_DIR SCRIPT [SCRIPT ...]

Each ```python block of README becomes a file of its own (readme_line_N.py, N
its first line in the README, so mypy's messages lead back to it) in a
temporary folder, and `python3 -m mypy --strict` checks them with the scripts.
The exit status is mypy's; no block at all is an error too.
"""

import pathlib
import re
import subprocess
import sys
import tempfile

BLOCK = re.compile(r"^```python\n(.*?)^```$", re.MULTILINE | re.DOTALL)


def blocks(readme):
    text = readme.read_text()
    for match in BLOCK.finditer(text):
        yield text.count("\n", 0, match.start(1)) + 1, match.group(1)


def main():
    readme, cache, scripts = pathlib.Path(sys.argv[1]), sys.argv[2], sys.argv[3:]
    with tempfile.TemporaryDirectory(prefix="velmor-snippets-") as folder:
        files = []
        for line, code in blocks(readme):
            path = pathlib.Path(folder) / f"readme_line_{line}.py"
            path.write_text(code)
            files.append(str(path))
        if not files:
            raise SystemExit(f"{readme} holds no ```python block")
        print(f"{len(files)} README blocks and {len(scripts)} scripts")
        finished = subprocess.run([sys.executable, "-m", "mypy", "--strict", "--cache-dir", cache, *files, *scripts])
    return finished.returncode


if __name__ == "__main__":
    sys.exit(main())
