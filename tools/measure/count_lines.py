"""Non-blank, non-comment lines of the .cpp, .h and .py files git knows, per top folder, split
into tests (everything under tests/) and code, and the share the tests make up.

    /usr/bin/python3 tools/measure/count_lines.py [repository]
"""

import os
import subprocess
import sys


def count(path):
    lines = 0
    in_block = False
    python = path.endswith(".py")
    with open(path, encoding="utf-8", errors="replace") as f:
        for raw in f:
            text = raw.strip()
            if not text or (python and text.startswith("#")):
                continue
            if in_block:
                in_block = "*/" not in text
                continue
            if not python and text.startswith("//"):
                continue
            if not python and text.startswith("/*"):
                in_block = "*/" not in text
                continue
            lines += 1
    return lines


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else "."
    listed = subprocess.run(["git", "-C", root, "ls-files", "--cached", "--others",
                             "--exclude-standard"], capture_output=True, text=True, check=True)
    totals = {}
    for name in listed.stdout.split():
        path = os.path.join(root, name)
        if not name.endswith((".cpp", ".h", ".py")) or not os.path.exists(path):
            continue
        parts = name.split("/")
        key = ("test", "/".join(parts[:2])) if parts[0] == "tests" else ("code", parts[0])
        totals[key] = totals.get(key, 0) + count(path)
    for (kind, folder), lines in sorted(totals.items()):
        print("%-5s %-24s %6d" % (kind, folder, lines))
    tests = sum(n for (kind, _), n in totals.items() if kind == "test")
    code = sum(n for (kind, _), n in totals.items() if kind == "code")
    print("tests %d, code %d: tests are %.1f %% of %d" % (tests, code, 100.0 * tests / (tests + code),
                                                         tests + code))


if __name__ == "__main__":
    main()
