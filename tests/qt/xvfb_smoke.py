#!/usr/bin/env python3
"""Starts a program on a real X server (Xvfb) through the xcb platform,
checks a screenshot of it and ends it with keys, or checks that it refuses
to start without a display.

app: grows, pauses and then uses under 1 % of a core over 10 s, ends on Esc.
saver: started three times: a key while it grows ends it; during the pause
after a complete cluster a key, and then a one-pixel mouse move, end it once
the pause is over.

usage: xvfb_smoke.py PROGRAM KIND
  KIND: app | saver           run on Xvfb (exit 77 = skipped: no Xvfb)
        nodisplay             run without any display
"""
import ctypes
import os
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77
TITLES = {"app": "ZORV DLA 2017", "saver": "ZORV DLA"}


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


def program_env(display):
    env = {k: v for k, v in os.environ.items() if k not in ("QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY")}
    if display:
        env["DISPLAY"] = display
        env["QT_QPA_PLATFORM"] = "xcb"
    return env


def no_display(program):
    result = subprocess.run([program], env=program_env(None), capture_output=True, text=True, timeout=30)
    lines = result.stderr.strip().splitlines()
    if result.returncode != 1:
        fail("exit code %d without a display, expected 1" % result.returncode)
    if len(lines) != 1 or "display" not in lines[0].lower():
        fail("expected one line about the display, got: %r" % result.stderr)
    print("no display: %s" % lines[0])


class Keyboard:
    """Keys and mouse moves made through the X server, as a user's."""

    def __init__(self, display):
        self.x11 = ctypes.CDLL("libX11.so.6")
        self.xtst = ctypes.CDLL("libXtst.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XStringToKeysym.restype = ctypes.c_ulong
        self.x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x11.XFlush.argtypes = [ctypes.c_void_p]
        self.x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self.xtst.XTestFakeRelativeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_ulong]
        self.dpy = self.x11.XOpenDisplay(display.encode())
        if not self.dpy:
            fail("cannot open %s for input" % display)

    def press(self, name):
        code = self.x11.XKeysymToKeycode(self.dpy, self.x11.XStringToKeysym(name.encode()))
        self.xtst.XTestFakeKeyEvent(self.dpy, code, 1, 0)
        self.xtst.XTestFakeKeyEvent(self.dpy, code, 0, 0)
        self.x11.XFlush(self.dpy)

    def nudge(self):
        """Moves the pointer one pixel to the right."""
        self.xtst.XTestFakeRelativeMotionEvent(self.dpy, 1, 0, 0)
        self.x11.XFlush(self.dpy)

    def close(self):
        self.x11.XCloseDisplay(self.dpy)


def cpu_seconds(pid):
    """The process's own CPU time (user and system), from /proc."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def wait_for_pause(app, seconds):
    """Waits until the saver, having grown, stops using the processor: the
    pause after a complete cluster. Growth keeps it busy even beside other
    busy processes."""
    end = time.time() + seconds
    window = []  # (time, cpu seconds) over the last 0.4 s
    grew = False
    while time.time() < end:
        if app.poll() is not None:
            fail("the saver ended by itself")
        window.append((time.time(), cpu_seconds(app.pid)))
        while window[-1][0] - window[0][0] > 0.4:
            window.pop(0)
        if window[-1][0] - window[0][0] >= 0.3:
            used = window[-1][1] - window[0][1]
            grew = grew or used >= 0.05
            if grew and used <= 0.01:
                return
        time.sleep(0.05)
    fail("timed out waiting for the pause after a cluster")


def ended_within(app, seconds, what):
    try:
        code = app.wait(timeout=seconds)
    except subprocess.TimeoutExpired:
        fail("the program did not end on %s within %g s" % (what, seconds))
    if code != 0:
        fail("exit code %d: %s" % (code, app.stderr.read().decode(errors="replace")))


def screenshot(display, window="root"):
    data = subprocess.run(["import", "-display", display, "-window", window, "-depth", "8", "ppm:-"],
                          capture_output=True, timeout=30).stdout
    # P6 header: magic, width, height, maximum, then RGB bytes.
    fields, at = [], 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        start = at
        while not data[at:at + 1].isspace():
            at += 1
        fields.append(data[start:at])
    width, height = int(fields[1]), int(fields[2])
    return width, height, data[at + 1:]


def pixel(shot, x, y):
    width, _, rgb = shot
    i = (y * width + x) * 3
    return rgb[i], rgb[i + 1], rgb[i + 2]


def colourful(shot, x0, y0, x1, y1):
    count = 0
    for y in range(y0, y1, 2):
        for x in range(x0, x1, 2):
            r, g, b = pixel(shot, x, y)
            if max(r, g, b) - min(r, g, b) > 60:
                count += 1
    return count


def window_shown(display, title):
    tree = subprocess.run(["xwininfo", "-display", display, "-root", "-tree"], capture_output=True, text=True,
                          timeout=10).stdout
    return ('"%s"' % title) in tree


def wait_for(what, condition, seconds):
    end = time.time() + seconds
    while time.time() < end:
        if condition():
            return
        time.sleep(0.1)
    fail("timed out waiting for " + what)


def check_picture(kind, shot):
    if kind == "app":
        n = colourful(shot, 0, 0, 450, 500)
        if n < 20:
            fail("no cluster in the window (%d coloured pixels)" % n)
        return "%d coloured cluster pixels" % n
    width, height, _ = shot
    n = colourful(shot, width // 2 - 210, height // 2 - 210, width // 2 + 210, height // 2 + 210)
    if n < 5:
        fail("no cluster around the centre (%d coloured pixels)" % n)
    return "%d coloured cluster pixels around the centre" % n


def start(program, display, work):
    return subprocess.Popen([program], env=program_env(display), cwd=work, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE)


def run_app(program, display, work, keys):
    app = start(program, display, work)
    try:
        wait_for("the help box", lambda: window_shown(display, "HELP"), 20)
        time.sleep(0.3)
        keys.press("Return")
        wait_for("the help box to close", lambda: not window_shown(display, "HELP"), 10)
        wait_for("the window", lambda: window_shown(display, TITLES["app"]), 20)
        time.sleep(1.5)  # let it grow
        found = check_picture("app", screenshot(display))
        keys.press("Pause")  # stop the run: nothing is due now, and Exit acts only while idle
        time.sleep(0.5)
        before, since = cpu_seconds(app.pid), time.time()
        time.sleep(10)
        used, seconds = cpu_seconds(app.pid) - before, time.time() - since
        if used >= 0.01 * seconds:
            fail("paused, the program used %.2f s of CPU in %.1f s" % (used, seconds))
        keys.press("Escape")
        ended_within(app, 15, "Esc")
        return "%s; paused, %.2f s of CPU in %.1f s" % (found, used, seconds)
    finally:
        stop(app)


def run_saver(program, display, work, keys, when):
    app = start(program, display, work)
    try:
        wait_for("the window", lambda: window_shown(display, TITLES["saver"]), 20)
        if when == "growing":
            time.sleep(0.5)
            found = check_picture("saver", screenshot(display))
            keys.press("space")
            ended_within(app, 15, "a key")
            return found
        wait_for_pause(app, 60)
        if when == "pause key":
            keys.press("space")
        else:
            keys.nudge()
        # The pause lasts 3 s; the input is handled as soon as it is over.
        ended_within(app, 6, "a " + ("key" if when == "pause key" else "one-pixel move") + " during the pause")
        return "ended on a %s during the pause" % ("key" if when == "pause key" else "one-pixel move")
    finally:
        stop(app)


def stop(app):
    if app.poll() is None:
        app.kill()
        app.wait()


def start_xvfb():
    """Starts Xvfb on a free display: (server, display). Exits 77 without it."""
    xvfb = shutil.which("Xvfb")
    if not xvfb or not shutil.which("import") or not shutil.which("xwininfo"):
        print("Xvfb, import or xwininfo missing: skipped")
        sys.exit(SKIP)
    read_fd, write_fd = os.pipe()
    server = subprocess.Popen([xvfb, "-displayfd", str(write_fd), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                              pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_fd)
    number = b""
    end = time.time() + 15
    while not number.endswith(b"\n") and time.time() < end:
        chunk = os.read(read_fd, 16)
        if not chunk:
            break
        number += chunk
    os.close(read_fd)
    if not number.strip():
        stop_xvfb(server)
        fail("Xvfb did not start")
    return server, ":" + number.decode().strip()


def stop_xvfb(server):
    server.terminate()
    try:
        server.wait(timeout=10)
    except subprocess.TimeoutExpired:
        server.kill()


def on_xvfb(program, kind):
    server, display = start_xvfb()
    work = tempfile.mkdtemp(prefix="zorv-xvfb-")
    try:
        keys = Keyboard(display)
        if kind == "app":
            print("app on %s: %s; ended with code 0" % (display, run_app(program, display, work, keys)))
        else:
            for when in ("growing", "pause key", "pause move"):
                print("saver on %s: %s; ended with code 0" % (display, run_saver(program, display, work, keys, when)))
        keys.close()
    finally:
        stop_xvfb(server)
        shutil.rmtree(work, ignore_errors=True)

def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    program, kind = os.path.abspath(sys.argv[1]), sys.argv[2]
    if kind == "nodisplay":
        no_display(program)
    else:
        on_xvfb(program, kind)


if __name__ == "__main__":
    main()
