#!/usr/bin/env python3
"""zorv-dla-ss as an XScreenSaver hack on a real X server (Xvfb): it draws
into a window that another client made, at that window's size with the
cluster at its centre, leaves the input to that client, and ends on SIGTERM
(or SIGINT) with exit code 0. A window too small, or no window at all, is
refused with one line and exit code 1.

usage: xvfb_hack.py PROGRAM     (exit 77 = skipped: no Xvfb)
"""
import ctypes
import os
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no __pycache__ in the source tree
import xvfb_smoke as smoke  # noqa: E402

fail = smoke.fail


class Framework:
    """Stands in for the framework: makes and maps plain X windows."""

    def __init__(self, display):
        self.x11 = ctypes.CDLL("libX11.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x11.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x11.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_int] * 2 + \
            [ctypes.c_uint] * 3 + [ctypes.c_ulong] * 2
        self.x11.XCreateSimpleWindow.restype = ctypes.c_ulong
        self.x11.XMapWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.dpy = self.x11.XOpenDisplay(display.encode())
        if not self.dpy:
            fail("cannot open " + display)

    def window(self, x, y, width, height):
        """A mapped window with a mid-grey background; its id."""
        root = self.x11.XDefaultRootWindow(self.dpy)
        w = self.x11.XCreateSimpleWindow(self.dpy, root, x, y, width, height, 0, 0, 0x808080)
        self.x11.XMapWindow(self.dpy, w)
        self.x11.XSync(self.dpy, 0)
        return w


def env(display, window=None):
    e = smoke.program_env(display)
    e.pop("XSCREENSAVER_WINDOW", None)
    if window is not None:
        e["XSCREENSAVER_WINDOW"] = window
    return e


def coloured(shot):
    """Coordinates of the cluster's pixels (neither black nor grey)."""
    width, height, _ = shot
    points = []
    for y in range(0, height, 2):
        for x in range(0, width, 2):
            r, g, b = smoke.pixel(shot, x, y)
            if max(r, g, b) - min(r, g, b) > 60:
                points.append((x, y))
    return points


def check_drawing(display, window, width, height, label):
    """The window shows the saver's black canvas and a cluster at its centre."""
    shot = None
    end = time.time() + 20
    points = []
    while time.time() < end:
        shot = smoke.screenshot(display, hex(window))
        if shot[:2] != (width, height):
            fail("%s: screenshot of %dx%d, expected %dx%d" % (label, shot[0], shot[1], width, height))
        points = coloured(shot)
        if len(points) >= 20:
            break
        time.sleep(0.3)
    if len(points) < 20:
        fail("%s: no cluster in the window (%d coloured pixels)" % (label, len(points)))
    for corner in ((1, 1), (width - 2, 1), (1, height - 2), (width - 2, height - 2)):
        if smoke.pixel(shot, *corner) != (0, 0, 0):
            fail("%s: the window's corner %s is %s, not the saver's black" % (label, corner, smoke.pixel(shot, *corner)))
    cx = sum(p[0] for p in points) / len(points)
    cy = sum(p[1] for p in points) / len(points)
    if abs(cx - width / 2) > 40 or abs(cy - height / 2) > 40:
        fail("%s: the cluster is centred at (%d, %d), not at the window's centre" % (label, cx, cy))
    return len(points)


def outside_untouched(display, x0, y0, x1, y1):
    """Nothing of the saver outside the framework's window on the screen."""
    shot = smoke.screenshot(display)
    width, height, _ = shot
    for y in range(0, height, 8):
        for x in range(0, width, 8):
            if x0 <= x < x1 and y0 <= y < y1:
                continue
            if smoke.pixel(shot, x, y) != smoke.pixel(shot, 0, 0):
                fail("the saver drew outside the framework's window, at (%d, %d)" % (x, y))


def ended(app, sig, label):
    app.send_signal(sig)
    try:
        code = app.wait(timeout=15)
    except subprocess.TimeoutExpired:
        fail("%s: the saver did not end on %s" % (label, sig.name))
    if code != 0:
        fail("%s: exit code %d on %s: %s" % (label, code, sig.name, app.stderr.read().decode(errors="replace")))


def refused(program, display, args, window, words):
    result = subprocess.run([program] + args, env=env(display, window), capture_output=True, text=True, timeout=30)
    lines = result.stderr.strip().splitlines()
    if result.returncode != 1 or len(lines) != 1 or not all(w in lines[0] for w in words):
        fail("%s: expected exit 1 and one line with %s, got %d: %r" % (args, words, result.returncode, result.stderr))


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    program = os.path.abspath(sys.argv[1])
    server, display = smoke.start_xvfb()
    app = None
    try:
        framework = Framework(display)
        keys = smoke.Keyboard(display)
        work = tempfile.mkdtemp(prefix="zorv-hack-")

        # A window smaller than the growth area, named by the environment as
        # XScreenSaver does: the middle of the growth area shows, clipped.
        small = framework.window(60, 40, 300, 260)
        app = subprocess.Popen([program, "-root"], env=env(display, hex(small)), cwd=work,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        n = check_drawing(display, small, 300, 260, "300x260 window")
        outside_untouched(display, 60, 40, 360, 300)
        # The framework owns the input: keys, clicks and moves end nothing.
        keys.press("space")
        keys.press("Escape")
        keys.xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int,
                                                   ctypes.c_ulong]
        for x, y in ((150, 150), (250, 200), (100, 90)):
            keys.xtst.XTestFakeMotionEvent(keys.dpy, 0, x, y, 0)
            keys.x11.XFlush(keys.dpy)
            time.sleep(0.2)
        time.sleep(0.5)
        if app.poll() is not None:
            fail("the saver ended on input (code %d): %s" % (app.returncode, app.stderr.read().decode()))
        ended(app, signal.SIGTERM, "300x260 window")
        print("XSCREENSAVER_WINDOW 300x260: %d cluster pixels at the centre; input ignored; SIGTERM: code 0" % n)

        # A window larger than 640 x 480 named by -window-id, in decimal.
        large = framework.window(100, 80, 720, 560)
        app = subprocess.Popen([program, "-window-id", str(large)], env=env(display), cwd=work,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        n = check_drawing(display, large, 720, 560, "720x560 window")
        ended(app, signal.SIGINT, "720x560 window")
        print("-window-id 720x560: %d cluster pixels at the centre; SIGINT: code 0" % n)

        refused(program, display, ["-window-id", hex(framework.window(0, 0, 150, 150))], None, ["150 x 150", "200"])
        refused(program, display, ["-root"], "0x7ffffff", ["no window", "0x7ffffff"])
        refused(program, display, ["-window-id", "nonsense"], None, ["-window-id", "nonsense"])
        print("refused: a 150x150 window, a window that does not exist, an id that is no number")
    finally:
        if app and app.poll() is None:
            app.kill()
            app.wait()
        smoke.stop_xvfb(server)


if __name__ == "__main__":
    main()
