#!/usr/bin/env python3
"""Installs the build into a fresh prefix with "cmake --install" and checks
the desktop integration: programs, menu entries, the .dla file type and the
icon.

usage: install_check.py CMAKE BUILD_DIR PROGRAM...
"""
import configparser
import os
import shlex
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


def entry(path):
    parser = configparser.ConfigParser(interpolation=None, strict=True)
    parser.optionxform = str
    with open(path, encoding="utf-8") as f:
        parser.read_file(f)
    if "Desktop Entry" not in parser:
        fail(path + ": no [Desktop Entry] group")
    e = parser["Desktop Entry"]
    for key in ("Type", "Name", "Exec", "Icon"):
        if key not in e:
            fail("%s: no %s key" % (path, key))
    if e["Type"] != "Application":
        fail(path + ": not an application")
    return e


def main():
    if len(sys.argv) < 4:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    cmake, build, programs = sys.argv[1], sys.argv[2], sys.argv[3:]
    prefix = tempfile.mkdtemp(prefix="zorv-install-")
    try:
        result = subprocess.run([cmake, "--install", build, "--prefix", prefix], capture_output=True, text=True,
                                timeout=120, env={k: v for k, v in os.environ.items() if k != "DESTDIR"})
        if result.returncode != 0:
            fail("cmake --install failed: " + result.stderr)
        share = os.path.join(prefix, "share")
        for program in programs:
            path = os.path.join(prefix, "bin", program)
            if not os.access(path, os.X_OK):
                fail(program + " not installed as a program")
        icon = os.path.join(share, "icons", "hicolor", "scalable", "apps", "zorv-dla.svg")
        ET.parse(icon)  # well-formed
        for program in ("zorv-dla", "zorv-dla-ss"):
            if program not in programs:
                continue
            e = entry(os.path.join(share, "applications", program + ".desktop"))
            argv = shlex.split(e["Exec"])
            if argv[0] != os.path.join(prefix, "bin", program) or not os.access(argv[0], os.X_OK):
                fail("%s.desktop starts %s" % (program, argv[0]))
            if e["Icon"] != "zorv-dla":
                fail(program + ".desktop has icon " + e["Icon"])
            if program == "zorv-dla":
                # A file manager opening a.dla runs the program with that one path.
                if argv[1:] != ["%f"]:
                    fail("zorv-dla.desktop does not take the opened file: " + e["Exec"])
                if "application/x-zorv-dla" not in e.get("MimeType", "").split(";"):
                    fail("zorv-dla.desktop does not claim .dla files")
        if "zorv-dla" in programs:
            mime = ET.parse(os.path.join(share, "mime", "packages", "zorv-dla.xml")).getroot()
            ns = "{http://www.freedesktop.org/standards/shared-mime-info}"
            types = mime.findall(ns + "mime-type")
            if [t.get("type") for t in types] != ["application/x-zorv-dla"]:
                fail("the MIME package does not define application/x-zorv-dla")
            if [g.get("pattern") for g in types[0].findall(ns + "glob")] != ["*.dla"]:
                fail("the MIME type does not match *.dla")
            if shutil.which("update-mime-database"):
                # The install refreshed the database: .dla names map to the type.
                with open(os.path.join(share, "mime", "globs2"), encoding="utf-8") as f:
                    if not any(line.strip().endswith("application/x-zorv-dla:*.dla") for line in f):
                        fail("the MIME database does not map *.dla")
        print("installed into %s: %s" % (prefix, ", ".join(programs)))
    finally:
        shutil.rmtree(prefix, ignore_errors=True)


if __name__ == "__main__":
    main()
