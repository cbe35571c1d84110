#!/usr/bin/env python3
"""Installs the build into a fresh prefix with "cmake --install" (twice, the second over the first), checks what a
desktop and a packager meet (programs, menu entries, AppStream file, .dla file type and icon, manual pages, the
XScreenSaver hack, the licence) with the desktop's validators, then uninstalls: files the install did not make stay.

usage: install_check.py CMAKE BUILD_DIR PROGRAM...     (exit 77 when a validator is missing, after every other check)
"""
import configparser, os, shlex, shutil, subprocess, sys, tempfile
import xml.etree.ElementTree as ET

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
MIME = "{http://www.freedesktop.org/standards/shared-mime-info}"
# zorv-dla's keys: the accelerators, the window's own keys, and the mouse stop.
KEYS = ["F1", "PAUSE", "Esc", "S", "O", "L", "F4", "F5", "F6", "M", "B", "F", "G", "P", "D", "F2", "F3"]
missing_tools = set()

def check(condition, message):
    if not condition:
        print("FAIL: " + message, file=sys.stderr)
        sys.exit(1)

def run(argv, what):
    r = subprocess.run(argv, capture_output=True, text=True, timeout=120,
                       env={k: v for k, v in os.environ.items() if k != "DESTDIR"})
    check(r.returncode == 0, "%s failed (%d): %s%s" % (what, r.returncode, r.stdout, r.stderr))
    return r

def validate(tool, *args):
    """Runs a validator, whose verdict must be clean (groff: no warnings); its output, or None without the tool."""
    if not shutil.which(tool):
        return missing_tools.add(tool)
    r = run([tool] + list(args), "%s %s" % (tool, args[-1]))
    check(tool != "groff" or not r.stderr.strip(), "%s: groff warns: %s" % (args[-1], r.stderr))
    return r.stdout

def check_desktop(prefix, share, programs):
    for program in {"zorv-dla", "zorv-dla-ss"} & set(programs):
        path = os.path.join(share, "applications", program + ".desktop")
        validate("desktop-file-validate", path)
        parser = configparser.ConfigParser(interpolation=None, strict=True)
        parser.read(path, encoding="utf-8")
        e, what = parser["Desktop Entry"], program + ".desktop: "
        argv = shlex.split(e["Exec"])
        check(argv[0] == os.path.join(prefix, "bin", program) and os.access(argv[0], os.X_OK), what + e["Exec"])
        check(e["Icon"] == "zorv-dla", what + "icon " + e["Icon"])
        # A file manager opening a.dla runs the program with that one path.
        check(program != "zorv-dla" or (argv[1:] == ["%f"] and "application/x-zorv-dla" in e["MimeType"].split(";")),
              what + "does not take the opened .dla file: " + e["Exec"])
    if "zorv-dla" not in programs:
        return
    path = os.path.join(share, "mime", "packages", "zorv-dla.xml")
    validate("xmllint", "--noout", path)
    types = ET.parse(path).getroot().findall(MIME + "mime-type")
    check([t.get("type") for t in types] == ["application/x-zorv-dla"], "no MIME type application/x-zorv-dla")
    check([g.get("pattern") for g in types[0].findall(MIME + "glob")] == ["*.dla"], "the MIME type is not *.dla")
    icons = [g.get("name") for g in types[0].findall(MIME + "generic-icon")]  # a document icon of its own
    check(len(icons) == 1 and icons[0] != "zorv-dla", "the MIME type's icon is %r, not a document icon" % icons)
    ET.parse(os.path.join(share, "icons", "hicolor", "scalable", "mimetypes", icons[0] + ".svg"))
    if shutil.which("update-mime-database"):  # the install refreshed the database: .dla names map to the type
        with open(os.path.join(share, "mime", "globs2"), encoding="utf-8") as f:
            check(any(line.strip().endswith("application/x-zorv-dla:*.dla") for line in f), "globs2 lacks *.dla")
    files = os.listdir(os.path.join(share, "metainfo"))
    check(len(files) == 1 and files[0].endswith(".metainfo.xml"), "expected one metainfo file, found %r" % files)
    path = os.path.join(share, "metainfo", files[0])
    verdict = validate("appstreamcli", "validate", "--pedantic", "--no-net", path)
    check(verdict is None or "Validation was successful." in verdict, "appstreamcli --pedantic: %s" % verdict)
    root = ET.parse(path).getroot()
    provides, shots = root.find("provides"), [i.text for i in root.iter("image")]
    for ok, what in ((files[0] == root.findtext("id") + ".metainfo.xml", "the file is not named after its id"),
                     (root.findtext("launchable") == "zorv-dla.desktop", "it does not launch zorv-dla.desktop"),
                     (root.findtext("project_license") == "MIT", "it names another licence"),
                     (sorted(b.text for b in provides.findall("binary")) == sorted(programs), "wrong binaries"),
                     ([m.text for m in provides.findall("mediatype")] == ["application/x-zorv-dla"], "no .dla type"),
                     (root.find("content_rating") is not None, "no content rating"),
                     ("".join(root.find("description").itertext()).strip(), "no description"),
                     (shots and all(os.path.isfile(os.path.join(SOURCE, "docs", os.path.basename(s))) for s in shots),
                      "the screenshots %r are not the pictures in docs/" % shots)):
        check(ok, "metainfo: " + what)
    with open(os.path.join(share, "doc", "zorv-dla", "LICENSE"), encoding="utf-8") as f:
        check(f.readline().startswith("MIT License"), "the installed LICENSE is not the MIT licence")

def check_installed(prefix, programs):
    share = os.path.join(prefix, "share")
    for program in programs:
        check(os.access(os.path.join(prefix, "bin", program), os.X_OK), program + " not installed as a program")
        page = os.path.join(share, "man", "man1", program + ".1")
        validate("groff", "-ww", "-man", "-z", page)
        text = validate("man", "-l", page)
        if text is not None:
            words = set(text.replace(",", " ").split())
            check(program.upper() in text and "EXIT STATUS" in text, "man -l %s.1 renders no page" % program)
            check(program != "zorv-dla" or set(KEYS) <= words, "zorv-dla.1 lacks the keys %s" % (set(KEYS) - words))
    ET.parse(os.path.join(share, "icons", "hicolor", "scalable", "apps", "zorv-dla.svg"))
    check_desktop(prefix, share, programs)
    if "zorv-dla-ss" in programs:
        check(os.access(os.path.join(prefix, "libexec", "xscreensaver", "zorv-dla-ss"), os.X_OK),
              "the saver is not installed as an XScreenSaver hack")
        config = os.path.join(share, "xscreensaver", "config", "zorv-dla-ss.xml")
        validate("xmllint", "--noout", config)
        root = ET.parse(config).getroot()
        check(root.tag == "screensaver" and root.get("name") == "zorv-dla-ss", "the hack's config does not name it")

def left(prefix):
    return sorted(os.path.relpath(os.path.join(folder, n), prefix) for folder, dirs, files in os.walk(prefix)
                  for n in dirs + files)

def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    cmake, build, programs = sys.argv[1], sys.argv[2], sys.argv[3:]
    work = tempfile.mkdtemp(prefix="zorv-install-")
    try:
        prefix, used = os.path.join(work, "fresh"), os.path.join(work, "used")
        os.makedirs(os.path.join(used, "bin"))
        open(os.path.join(used, "bin", "other-tool"), "w").close()
        run([cmake, "--install", build, "--prefix", prefix], "cmake --install")
        check_installed(prefix, programs)
        for target, keep in ((prefix, []), (used, ["bin", os.path.join("bin", "other-tool")])):
            run([cmake, "--install", build, "--prefix", target], "cmake --install")
            run([cmake, "--build", build, "--target", "uninstall"], "the uninstall target")
            check(left(target) == keep, "the uninstall left %s in %s" % (left(target), target))
        print("installed, checked and uninstalled: %s" % ", ".join(programs))
        if missing_tools:
            print("skipped the checks of missing tools: " + ", ".join(sorted(missing_tools)))
            sys.exit(77)
    finally:
        shutil.rmtree(work, ignore_errors=True)

if __name__ == "__main__":
    main()
