"""Mutation testing by hand-picked faults: applies each fault of faults.py to the source,
rebuilds the tree that holds it, runs the tests that cover its folder, records whether they
failed (killed) or passed (survived), and restores the file. Not run in CI: a full run of the
323 faults takes four to five hours on two cores; --only splits the list across worktrees.

    tools/mutation/run.sh [--only ID,ID] [--build-root DIR] [--list]

run.sh boots the Wine prefix the Windows tests need and calls this script; the build trees
must exist (scripts/build.sh native win). Source files are edited in place and restored even
when a run is interrupted, so run it in a checkout nobody is editing (a git worktree).
"""

import argparse
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(__file__))
from faults import FAULTS, TESTS  # noqa: E402

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))


def edits(fault):
    """The fault's (find, replace) pairs: the main one, then any in "also"."""
    return [(fault["find"], fault["replace"])] + list(fault.get("also", []))


def locate(fault, find):
    """The path of the one file in the fault's folder where `find` occurs, once."""
    matches = []
    # A fault counts for the folder whose behaviour it breaks; "source" names another folder
    # when the code that behaviour rests on lives there.
    for base, _, names in os.walk(os.path.join(REPO, fault.get("source", fault["folder"]))):
        for name in sorted(names):
            if not name.endswith((".cpp", ".h")):
                continue
            path = os.path.join(base, name)
            with open(path, encoding="utf-8") as f:
                matches += [path] * f.read().count(find)
    if len(matches) != 1:
        raise LookupError("%s: %d places match in %s/" % (fault["id"], len(matches),
                                                        fault["folder"]))
    return matches[0]


def run(command, timeout, env=None):
    try:
        done = subprocess.run(command, cwd=REPO, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, timeout=timeout, env=env)
        return done.returncode, done.stdout.decode("utf-8", "replace")
    except subprocess.TimeoutExpired:
        return 124, "timed out after %d s" % timeout


def try_fault(fault, build_root):
    originals = {}
    for find, replace in edits(fault):
        path = locate(fault, find)
        if path not in originals:
            with open(path, encoding="utf-8") as f:
                originals[path] = f.read()
        with open(path, encoding="utf-8") as f:
            text = f.read()
        with open(path, "w", encoding="utf-8") as f:
            f.write(text.replace(find, replace))
    tree = os.path.join(build_root, fault.get("tree", "win"))
    env = dict(os.environ, ORVANTA_HYGIENE_CYCLES="5")
    try:
        code, out = run(["cmake", "--build", tree], 900)
        if code != 0:
            return "build-failed", out[-2000:]
        tests = fault.get("tests") or TESTS[fault["folder"]]
        command = ["ctest", "--test-dir", tree, "-R", tests, "--timeout", "300",
                   "--stop-on-failure", "--output-on-failure"]
        # The end-to-end run is the longest by far (and CTest starts it first): the other tests
        # of the selection go first, and it runs only for a fault they all let through.
        code, out = run(command + ["-E", "^e2e"], 1800, env)
        if code == 0:
            code, out = run(command + ["-E", "^([^e]|e[^2]|e2[^e])"], 1800, env)
            if code == 0:
                return "survived", out[-2000:]
        failed = [line.split(" - ")[-1].split(" (")[0].strip() for line in out.splitlines()
                  if " - " in line and "(" in line and line.strip()[:1].isdigit()]
        # A test executable holds many cases: name the ones that failed, as GoogleTest ends.
        cases = sorted({line.split("]", 1)[1].split(" (")[0].strip()
                        for line in out.splitlines()
                        if line.startswith("[  FAILED  ]") and "." in line})
        return "killed", "by " + ", ".join(failed) + (" (%s)" % ", ".join(cases) if cases else "")
    finally:
        for path, text in originals.items():
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--only", default="", help="comma-separated fault ids")
    parser.add_argument("--build-root", default=os.path.join(REPO, "build"))
    parser.add_argument("--list", action="store_true", help="check and list the faults only")
    args = parser.parse_args()
    faults = [f for f in FAULTS if not args.only or f["id"] in args.only.split(",")]
    # Every fault must still apply before anything is built, and its id name it alone.
    problems = []
    ids = [f["id"] for f in FAULTS]
    problems += sorted("%s: the id of more than one fault" % i for i in set(ids)
                       if ids.count(i) > 1)
    for fault in faults:
        for find, _ in edits(fault):
            try:
                locate(fault, find)
            except LookupError as error:
                problems.append(str(error))
    if problems:
        print("\n".join(problems), file=sys.stderr)
        return 2
    if args.list:
        for fault in faults:
            print("%-5s %-14s %s" % (fault["id"], fault["folder"], fault["description"]))
        return 0

    results = {}
    for fault in faults:
        started = time.monotonic()
        outcome, out = try_fault(fault, args.build_root)
        results[fault["id"]] = outcome
        print("%-5s %-12s %-14s %4.0fs  %s" % (fault["id"], outcome, fault["folder"],
                                             time.monotonic() - started, fault["description"]),
              flush=True)
        if outcome == "build-failed":
            print(out, flush=True)
        elif outcome == "killed":
            print("      " + out, flush=True)
    # Rebuild the untouched sources so the trees match the checkout again.
    for tree in sorted({f.get("tree", "win") for f in faults}):
        run(["cmake", "--build", os.path.join(args.build_root, tree)], 900)

    print("\n%-14s %7s %8s %9s" % ("folder", "killed", "faults", "kill rate"))
    folders = sorted({f["folder"] for f in faults})
    total_killed = total = 0
    for folder in folders:
        ids = [f["id"] for f in faults if f["folder"] == folder and
               results[f["id"]] != "build-failed"]
        killed = sum(results[i] == "killed" for i in ids)
        total_killed += killed
        total += len(ids)
        print("%-14s %7d %8d %8.0f%%" % (folder, killed, len(ids), 100.0 * killed / max(1, len(ids))))
    print("%-14s %7d %8d %8.0f%%" % ("all", total_killed, total, 100.0 * total_killed / max(1, total)))
    survivors = [i for i, r in results.items() if r == "survived"]
    if survivors:
        print("survived: " + ", ".join(survivors))
    return 0


if __name__ == "__main__":
    sys.exit(main())
