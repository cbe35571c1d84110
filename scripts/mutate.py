#!/usr/bin/env python3
"""Applies each one-line change of a list to a copy of the source, rebuilds
the copy incrementally, runs the tests, and tells for each change whether a
test caught it (failed, or ran past its time) or missed it.

    scripts/mutate.py [--list scripts/mutations.txt] [--tests REGEX]
                      [--exclude REGEX] [--only REGEX] [--lines N,N] [--timeout S]
                      [--no-qt] [--work DIR]

The list has one change per line: file, exact text, replacement, separated
by tabs; "<NL>" stands for a line break; lines starting with # are comments.
The copy lives in a temporary folder (or --work DIR, kept and reused); the
source tree is never touched.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def run(cmd, cwd, timeout=None, quiet=True):
    try:
        r = subprocess.run(cmd, cwd=cwd, timeout=timeout, text=True,
                           stdout=subprocess.PIPE if quiet else None, stderr=subprocess.STDOUT if quiet else None)
        return r.returncode, r.stdout or ""
    except subprocess.TimeoutExpired:
        return None, ""


def load(path):
    changes = []
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.startswith("#"):
                continue
            parts = line.split("\t")
            if len(parts) != 3:
                sys.exit(f"{path}:{number}: want file, text and replacement separated by tabs")
            file, text, replacement = (p.replace("<NL>", "\n") if i else p for i, p in enumerate(parts))
            changes.append((number, file, text, replacement))
    return changes


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--list", default=os.path.join(ROOT, "scripts", "mutations.txt"))
    ap.add_argument("--tests", help="ctest -R: only the tests matching")
    ap.add_argument("--exclude", help="ctest -E: leave out the tests matching")
    ap.add_argument("--only", help="only the changes to files matching this regular expression")
    ap.add_argument("--lines", help="only the changes on these lines of the list, as 14,26")
    ap.add_argument("--timeout", type=int, default=120, help="seconds per test; a test past it counts as failed")
    ap.add_argument("--no-qt", action="store_true", help="build without the Qt backend and desktop programs")
    ap.add_argument("--work", help="folder for the copy, kept for another run (default: a temporary one)")
    args = ap.parse_args()

    changes = load(args.list)
    if args.only:
        changes = [c for c in changes if re.search(args.only, c[1])]
    if args.lines:
        wanted = {int(n) for n in args.lines.split(",")}
        changes = [c for c in changes if c[0] in wanted]
    work = args.work or tempfile.mkdtemp(prefix="zorv-mutate-")
    src = os.path.join(work, "src")
    build = os.path.join(work, "build")
    files = subprocess.run(["git", "ls-files", "-co", "--exclude-standard"], cwd=ROOT, text=True,
                           stdout=subprocess.PIPE, check=True).stdout.split("\n")
    for name in filter(None, files):
        if not os.path.isfile(os.path.join(ROOT, name)):
            continue
        target = os.path.join(src, name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        if not os.path.exists(target) or open(target, "rb").read() != open(os.path.join(ROOT, name), "rb").read():
            shutil.copy(os.path.join(ROOT, name), target)

    configure = ["cmake", "-S", src, "-B", build, "-DCMAKE_BUILD_TYPE=Release", "-DZORV_BENCH=OFF"]
    if args.no_qt:
        configure.append("-DZORV_QT=OFF")
    ctest = ["ctest", "--test-dir", build, "-j2", "--timeout", str(args.timeout), "--stop-on-failure"]
    if args.tests:
        ctest += ["-R", args.tests]
    if args.exclude:
        ctest += ["-E", args.exclude]
    build_cmd = ["cmake", "--build", build, "-j2"]
    print(f"copy in {work}; building it once", flush=True)
    for cmd in (configure, build_cmd):
        code, out = run(cmd, work)
        if code != 0:
            sys.exit(out[-4000:] + "\nthe unchanged copy does not build")
    code, out = run(ctest, work)
    if code != 0:
        sys.exit(out[-4000:] + "\nthe unchanged copy does not pass its tests")

    caught = missed = other = 0
    for number, file, text, replacement in changes:
        path = os.path.join(src, file)
        if not os.path.exists(path):
            print(f"{number:4}  no such file  {file}", flush=True)
            other += 1
            continue
        original = open(path, encoding="utf-8").read()
        if original.count(text) != 1:
            print(f"{number:4}  text found {original.count(text)} times  {file}: {text!r}", flush=True)
            other += 1
            continue
        start = time.time()
        with open(path, "w", encoding="utf-8") as f:
            f.write(original.replace(text, replacement))
        try:
            code, out = run(build_cmd, work)
            if code != 0:
                verdict = "does not build"
                other += 1
            else:
                code, out = run(ctest, work)
                if code == 0:
                    verdict = "MISSED"
                    missed += 1
                else:
                    failed = [l.split(": ", 1)[1].split()[0] for l in out.splitlines() if "***" in l and ": " in l]
                    verdict = "caught" + (f" by {failed[0]}" if failed else "")
                    caught += 1
        finally:
            # Written anew (not with its old time), so the next build compiles it again.
            with open(path, "w", encoding="utf-8") as f:
                f.write(original)
        print(f"{number:4}  {verdict:<60.60}  {time.time() - start:5.0f} s  {file}: {replacement.strip()[:70]!r}", flush=True)

    print(f"\n{caught} caught, {missed} missed, {other} not run, of {len(changes)} changes")
    run(build_cmd, work)
    if not args.work:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
