"""Type-checks the README's Python blocks with the example scripts: check_snippet_types.py README CACHE SCRIPT...

Each ```python block becomes readme_line_N.py (N: its first line in the README, for mypy's messages)."""

import pathlib
import re
import subprocess
import sys
import tempfile


def main():
    readme, cache, scripts = pathlib.Path(sys.argv[1]), sys.argv[2], sys.argv[3:]
    text = readme.read_text()
    with tempfile.TemporaryDirectory(prefix="velmor-snippets-") as folder:
        files = []
        for match in re.finditer(r"^```python\n(.*?)^```$", text, re.MULTILINE | re.DOTALL):
            path = pathlib.Path(folder) / f"readme_line_{text.count(chr(10), 0, match.start(1)) + 1}.py"
            path.write_text(match.group(1))
            files.append(str(path))
        if not files:
            raise SystemExit(f"{readme} holds no ```python block")
        print(f"{len(files)} README blocks and {len(scripts)} scripts")
        return subprocess.run([sys.executable, "-m", "mypy", "--strict", "--cache-dir", cache, *files,
                               *scripts]).returncode


if __name__ == "__main__":
    sys.exit(main())
