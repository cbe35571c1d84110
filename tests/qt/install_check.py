#!/usr/bin/env python3
"""Installs the build into a fresh prefix with "cmake --install", checks what
a desktop and a packager meet (programs, menu entries, AppStream file, .dla
file type and its icon, manual pages, the XScreenSaver hack, the licence)
with the desktop's own validators, then uninstalls and checks that nothing
is left behind, and that files the install did not make stay.

usage: install_check.py CMAKE BUILD_DIR PROGRAM...
Exit 77 (skipped) when a validator is missing, after every other check.
"""
import configparser
import os
import shlex
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

SKIP = 77
SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
MIME_NS = "{http://www.freedesktop.org/standards/shared-mime-info}"
# zorv-dla's keys: the accelerators, the window's own keys, and the mouse stop.
KEYS = ["F1", "PAUSE", "Esc", "S", "O", "L", "F4", "F5", "F6", "M", "B", "F", "G", "P", "D", "F2", "F3"]
missing_tools = set()


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


def env():
    return {k: v for k, v in os.environ.items() if k != "DESTDIR"}


def run(argv, what):
    result = subprocess.run(argv, capture_output=True, text=True, timeout=120, env=env())
    if result.returncode != 0:
        fail("%s failed (%d): %s%s" % (what, result.returncode, result.stdout, result.stderr))
    return result


def validate(tool, args, what):
    """Runs a validator; its verdict must be clean. Notes a missing tool."""
    if not shutil.which(tool):
        missing_tools.add(tool)
        return
    result = run([tool] + args, what)
    if tool == "groff" and result.stderr.strip():
        fail("%s: groff warns: %s" % (what, result.stderr))


def entry(path):
    parser = configparser.ConfigParser(interpolation=None, strict=True)
    parser.optionxform = str
    with open(path, encoding="utf-8") as f:
        parser.read_file(f)
    if "Desktop Entry" not in parser:
        fail(path + ": no [Desktop Entry] group")
    return parser["Desktop Entry"]


def check_entries(prefix, share, programs):
    for program in ("zorv-dla", "zorv-dla-ss"):
        if program not in programs:
            continue
        path = os.path.join(share, "applications", program + ".desktop")
        validate("desktop-file-validate", [path], program + ".desktop")
        e = entry(path)
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


def check_file_type(share):
    path = os.path.join(share, "mime", "packages", "zorv-dla.xml")
    validate("xmllint", ["--noout", path], "xmllint of the MIME file")
    types = ET.parse(path).getroot().findall(MIME_NS + "mime-type")
    if [t.get("type") for t in types] != ["application/x-zorv-dla"]:
        fail("the MIME package does not define application/x-zorv-dla")
    if [g.get("pattern") for g in types[0].findall(MIME_NS + "glob")] != ["*.dla"]:
        fail("the MIME type does not match *.dla")
    # The file-type icon is a document icon of its own in the hicolor theme.
    icons = [g.get("name") for g in types[0].findall(MIME_NS + "generic-icon")]
    if len(icons) != 1 or icons[0] == "zorv-dla":
        fail("the MIME type's icon is %r, not a document icon of its own" % icons)
    ET.parse(os.path.join(share, "icons", "hicolor", "scalable", "mimetypes", icons[0] + ".svg"))
    if shutil.which("update-mime-database"):
        # The install refreshed the database: .dla names map to the type.
        with open(os.path.join(share, "mime", "globs2"), encoding="utf-8") as f:
            if not any(line.strip().endswith("application/x-zorv-dla:*.dla") for line in f):
                fail("the MIME database does not map *.dla")


def check_metainfo(share, programs):
    folder = os.path.join(share, "metainfo")
    files = os.listdir(folder)
    if len(files) != 1 or not files[0].endswith(".metainfo.xml"):
        fail("expected one metainfo file, found %r" % files)
    path = os.path.join(folder, files[0])
    validate("appstreamcli", ["validate", "--no-net", path], "appstreamcli validate")
    root = ET.parse(path).getroot()
    if files[0] != root.findtext("id") + ".metainfo.xml":
        fail("the metainfo file is not named after its id")
    if root.findtext("launchable") != "zorv-dla.desktop":
        fail("the metainfo does not launch zorv-dla.desktop")
    if root.findtext("project_license") != "MIT":
        fail("the metainfo names the licence " + str(root.findtext("project_license")))
    provides = root.find("provides")
    if sorted(b.text for b in provides.findall("binary")) != sorted(programs):
        fail("the metainfo provides %r" % [b.text for b in provides.findall("binary")])
    if [m.text for m in provides.findall("mediatype")] != ["application/x-zorv-dla"]:
        fail("the metainfo does not name the .dla file type")
    if root.find("content_rating") is None or not "".join(root.find("description").itertext()).strip():
        fail("the metainfo lacks a content rating or a description")
    shots = [i.text for i in root.iter("image")]
    if not shots or not all(os.path.isfile(os.path.join(SOURCE, "docs", os.path.basename(s))) for s in shots):
        fail("the screenshots %r are not the pictures in docs/" % shots)
    with open(os.path.join(share, "doc", "zorv-dla", "LICENSE"), encoding="utf-8") as f:
        if not f.readline().startswith("MIT License"):
            fail("the installed LICENSE is not the MIT licence")


def check_manuals(share, programs):
    for program in programs:
        page = os.path.join(share, "man", "man1", program + ".1")
        validate("groff", ["-ww", "-man", "-z", page], "groff of " + program + ".1")
        if shutil.which("man"):
            text = run(["man", "-l", page], "man -l " + program + ".1").stdout
            if program.upper() not in text or "EXIT STATUS" not in text:
                fail("man -l %s.1 renders no page" % program)
            if program == "zorv-dla":
                words = set(text.replace(",", " ").split())
                absent = [k for k in KEYS if k not in words]
                if absent:
                    fail("zorv-dla.1 does not describe the keys %s" % absent)
        else:
            missing_tools.add("man")


def check_hack(prefix, share):
    hack = os.path.join(prefix, "libexec", "xscreensaver", "zorv-dla-ss")
    if not os.access(hack, os.X_OK):
        fail("the saver is not installed as an XScreenSaver hack")
    config = os.path.join(share, "xscreensaver", "config", "zorv-dla-ss.xml")
    validate("xmllint", ["--noout", config], "xmllint of the hack's config")
    root = ET.parse(config).getroot()
    if root.tag != "screensaver" or root.get("name") != "zorv-dla-ss":
        fail("the hack's config does not name zorv-dla-ss")


def install(cmake, build, prefix):
    run([cmake, "--install", build, "--prefix", prefix], "cmake --install")


def uninstall(cmake, build):
    run([cmake, "--build", build, "--target", "uninstall"], "the uninstall target")


def left(prefix):
    found = []
    for folder, dirs, files in os.walk(prefix):
        found += [os.path.relpath(os.path.join(folder, n), prefix) for n in dirs + files]
    return sorted(found)


def main():
    if len(sys.argv) < 4:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    cmake, build, programs = sys.argv[1], sys.argv[2], sys.argv[3:]
    work = tempfile.mkdtemp(prefix="zorv-install-")
    try:
        prefix = os.path.join(work, "fresh")
        os.mkdir(prefix)
        install(cmake, build, prefix)
        install(cmake, build, prefix)  # a second install over the first changes nothing
        share = os.path.join(prefix, "share")
        for program in programs:
            if not os.access(os.path.join(prefix, "bin", program), os.X_OK):
                fail(program + " not installed as a program")
        ET.parse(os.path.join(share, "icons", "hicolor", "scalable", "apps", "zorv-dla.svg"))
        check_entries(prefix, share, programs)
        if "zorv-dla" in programs:
            check_file_type(share)
            check_metainfo(share, programs)
        if "zorv-dla-ss" in programs:
            check_hack(prefix, share)
        check_manuals(share, programs)
        uninstall(cmake, build)
        if left(prefix):
            fail("the uninstall left %s" % left(prefix))

        # A prefix already in use: what was there before stays.
        used = os.path.join(work, "used")
        os.makedirs(os.path.join(used, "bin"))
        with open(os.path.join(used, "bin", "other-tool"), "w") as f:
            f.write("#!/bin/sh\n")
        install(cmake, build, used)
        uninstall(cmake, build)
        if left(used) != ["bin", os.path.join("bin", "other-tool")]:
            fail("the uninstall from a used prefix left %s" % left(used))
        print("installed, checked and uninstalled: %s" % ", ".join(programs))
        if missing_tools:
            print("skipped the checks of missing tools: " + ", ".join(sorted(missing_tools)))
            sys.exit(SKIP)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
