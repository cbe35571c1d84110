#!/usr/bin/env python3
"""The desktop programs on a real X server (Xvfb, xcb), driven with input made through the server, as a user's.
Each run's function says what it shows.

usage: xvfb.py PROGRAM app|saver|hack|nodisplay     (exit 77 = skipped: no Xvfb, import or xwininfo)
"""
import ctypes, os, shutil, signal, subprocess, sys, tempfile, time
from ctypes import byref, c_int, c_uint, c_ulong, c_void_p, POINTER

def check(ok, message):
    if not ok:
        print("FAIL: " + message, file=sys.stderr)
        sys.exit(1)

class X:
    """A client of the X server: input through XTest, and plain mid-grey windows, as a framework makes them."""
    def __init__(self, display):
        self.x11 = x11 = ctypes.CDLL("libX11.so.6")
        self.xtst = ctypes.CDLL("libXtst.so.6")
        x11.XOpenDisplay.restype = c_void_p
        for f in (x11.XStringToKeysym, x11.XDefaultRootWindow, x11.XCreateSimpleWindow, x11.XCreatePixmap,
                  x11.XCreateWindow):
            f.restype = c_ulong
        x11.XCreateWindow.argtypes = [c_void_p, c_ulong, c_int, c_int, c_uint, c_uint, c_uint, c_int, c_uint,
                                      c_void_p, c_ulong, c_void_p]
        x11.XQueryTree.argtypes = [c_void_p, c_ulong, POINTER(c_ulong), POINTER(c_ulong),
                                   POINTER(POINTER(c_ulong)), POINTER(c_uint)]
        self.dpy = c_void_p(x11.XOpenDisplay(display.encode()))
        check(self.dpy.value, "cannot open " + display)
    def key(self, name):
        code = self.x11.XKeysymToKeycode(self.dpy, c_ulong(self.x11.XStringToKeysym(name.encode())))
        self.xtst.XTestFakeKeyEvent(self.dpy, code, 1, 0)
        self.xtst.XTestFakeKeyEvent(self.dpy, code, 0, 0)
        self.x11.XFlush(self.dpy)
    def move(self, x, y, relative=False):
        if relative:
            self.xtst.XTestFakeRelativeMotionEvent(self.dpy, x, y, 0)
        else:
            self.xtst.XTestFakeMotionEvent(self.dpy, 0, x, y, 0)
        self.x11.XFlush(self.dpy)
    def window(self, x, y, width, height):
        root = c_ulong(self.x11.XDefaultRootWindow(self.dpy))
        w = self.x11.XCreateSimpleWindow(self.dpy, root, x, y, width, height, 0, c_ulong(0), c_ulong(0x808080))
        self.x11.XMapWindow(self.dpy, c_ulong(w))
        self.x11.XSync(self.dpy, 0)
        return w
    def input_only(self, width, height):
        root = c_ulong(self.x11.XDefaultRootWindow(self.dpy))
        w = self.x11.XCreateWindow(self.dpy, root, 0, 0, width, height, 0, 0, 2, None, 0, None)  # class InputOnly
        self.x11.XSync(self.dpy, 0)
        return w
    def pixmap(self, width, height):
        p = self.x11.XCreatePixmap(self.dpy, c_ulong(self.x11.XDefaultRootWindow(self.dpy)), width, height, 24)
        self.x11.XSync(self.dpy, 0)
        return p
    def destroy(self, window):
        self.x11.XDestroyWindow(self.dpy, c_ulong(window))
        self.x11.XSync(self.dpy, 0)
    def children(self, window):
        root, parent, children, n = c_ulong(), c_ulong(), POINTER(c_ulong)(), c_uint()
        self.x11.XQueryTree(self.dpy, c_ulong(window), byref(root), byref(parent), byref(children), byref(n))
        found = [children[i] for i in range(n.value)]
        if children:
            self.x11.XFree(children)
        return found
    def kill_client(self, resource):
        """Closes the connection of the client that made the resource, as XKillClient does."""
        self.x11.XKillClient(self.dpy, c_ulong(resource))
        self.x11.XSync(self.dpy, 0)

def screenshot(display, window="root"):
    """(width, height, RGB bytes) of a window, through ImageMagick's import."""
    data = subprocess.run(["import", "-display", display, "-window", window, "-depth", "8", "ppm:-"],
                          capture_output=True, timeout=30).stdout
    fields = data.split(maxsplit=4)  # P6 width height maximum pixels
    return int(fields[1]), int(fields[2]), fields[4][-int(fields[1]) * int(fields[2]) * 3:]

def pixel(shot, x, y):
    i = (y * shot[0] + x) * 3
    return tuple(shot[2][i:i + 3])

def coloured(shot, x0=0, y0=0, x1=None, y1=None):
    """Every second pixel in the box that is strongly coloured (a cluster's, not black or grey)."""
    return [(x, y) for y in range(y0, y1 or shot[1], 2) for x in range(x0, x1 or shot[0], 2)
            if max(pixel(shot, x, y)) - min(pixel(shot, x, y)) > 60]

def wait_for(what, condition, seconds=20):
    end = time.time() + seconds
    while not condition():
        check(time.time() < end, "timed out waiting for " + what)
        time.sleep(0.1)

def shown(display, title):
    return ('"%s"' % title) in subprocess.run(["xwininfo", "-display", display, "-root", "-tree"],
                                              capture_output=True, text=True, timeout=10).stdout

def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

def ended(app, what, seconds=15):
    """The program ends with code 0 on what was done within the time, without an X error on the way; returns the lines
    it wrote to its standard error."""
    try:
        code = app.wait(timeout=seconds)
    except subprocess.TimeoutExpired:
        check(False, "the program did not end on %s within %g s" % (what, seconds))
    errors = app.stderr.read().decode(errors="replace")
    check(code == 0, "exit code %d on %s: %s" % (code, what, errors))
    check("XCB error" not in errors, "X errors on %s: %s" % (what, errors))
    return errors.splitlines()

def refused(r, words):
    lines = r.stderr.strip().splitlines()
    check(r.returncode == 1 and len(lines) == 1 and all(w in lines[0].lower() for w in words),
          "%s: expected exit 1 and one line with %s, got %d: %r" % (r.args, words, r.returncode, r.stderr))

def run_app(start, display, x, server):
    """zorv-dla grows, pauses, then uses under 1 % of a core over 10 s; it ends on Esc."""
    app = start([])
    wait_for("the help box", lambda: shown(display, "HELP"))
    time.sleep(0.3)
    x.key("Return")
    wait_for("the window", lambda: not shown(display, "HELP") and shown(display, "ZORV DLA 2017"))
    time.sleep(1.5)  # let it grow
    n = len(coloured(screenshot(display), 0, 0, 450, 500))
    check(n >= 20, "no cluster in the window (%d coloured pixels)" % n)
    x.key("Pause")  # nothing is due now, and Exit acts only while idle
    time.sleep(0.5)
    before, since = cpu_seconds(app.pid), time.time()
    time.sleep(10)
    used, seconds = cpu_seconds(app.pid) - before, time.time() - since
    check(used < 0.01 * seconds, "paused, the program used %.2f s of CPU in %.1f s" % (used, seconds))
    x.key("Escape")
    ended(app, "Esc")
    print("app: %d coloured cluster pixels; paused, %.2f s of CPU in %.1f s; Esc: code 0" % (n, used, seconds))

def run_saver(start, display, x, server):
    """zorv-dla-ss draws a cluster around the centre; a key made during the pause after a cluster, in a second run a
    one-pixel move, end it."""
    for how in ("key", "one-pixel move"):
        app = start([])
        wait_for("the window", lambda: shown(display, "ZORV DLA"))
        if how == "key":
            time.sleep(0.5)
            w, h, _ = shot = screenshot(display)
            n = len(coloured(shot, w // 2 - 210, h // 2 - 210, w // 2 + 210, h // 2 + 210))
            check(n >= 5, "no cluster around the centre (%d coloured pixels)" % n)
        # The pause: having grown, the saver uses no processor over a third of a second (growth keeps it busy even
        # beside other busy processes).
        end, grew, cpu = time.time() + 60, False, cpu_seconds(app.pid)
        while not (grew and used <= 0.01):
            check(app.poll() is None and time.time() < end, "the saver ended, or did not pause within 60 s")
            time.sleep(0.35)
            used, cpu = cpu_seconds(app.pid) - cpu, cpu_seconds(app.pid)
            grew = grew or used >= 0.05
        x.key("space") if how == "key" else x.move(1, 0, relative=True)
        ended(app, "a %s during the pause" % how, 6)
        print("saver: ended on a %s during the pause after a cluster" % how)

def check_drawing(display, window, width, height):
    """The framework's window shows the saver's black canvas and a cluster at its centre."""
    end, points, where = time.time() + 20, [], "%dx%d: " % (width, height)
    while len(points) < 20 and time.time() < end:
        shot = screenshot(display, hex(window))
        check(shot[:2] == (width, height), where + "the screenshot is %dx%d" % shot[:2])
        points = coloured(shot)
        time.sleep(0.3)
    check(len(points) >= 20, where + "no cluster in the window (%d coloured pixels)" % len(points))
    corners = [pixel(shot, cx, cy) for cx in (1, width - 2) for cy in (1, height - 2)]
    check(corners == [(0, 0, 0)] * 4, where + "the window's corners are %s, not the saver's black" % corners)
    cx, cy = sum(p[0] for p in points) / len(points), sum(p[1] for p in points) / len(points)
    check(abs(cx - width / 2) <= 40 and abs(cy - height / 2) <= 40, where + "the cluster is at (%d, %d)" % (cx, cy))

def run_hack(start, display, x, server):
    """zorv-dla-ss as a hack draws into another client's window at its size, cluster centred, leaves the input to that
    client, ends on SIGTERM or SIGINT with code 0; a window too small, or none, is refused in one line with code 1.
    It ends with code 0 when another client destroys its window, when its connection is closed, and when the server
    ends; a pixmap or an input-only window is refused."""
    small = x.window(60, 40, 300, 260)  # smaller than the growth area, named as XScreenSaver does: its middle shows
    app = start(["-root"], hex(small))
    check_drawing(display, small, 300, 260)
    shot = screenshot(display)
    outside = [(px, py) for py in range(0, shot[1], 8) for px in range(0, shot[0], 8)
               if not (60 <= px < 360 and 40 <= py < 300) and pixel(shot, px, py) != pixel(shot, 0, 0)]
    check(not outside, "the saver drew outside the framework's window, at %s" % (outside[:1],))
    x.key("space")  # the framework owns the input: keys and moves end nothing
    x.key("Escape")
    for px, py in ((150, 150), (250, 200), (100, 90)):
        x.move(px, py)
        time.sleep(0.2)
    time.sleep(0.5)
    check(app.poll() is None, "the saver ended on input (code %s)" % app.returncode)
    app.send_signal(signal.SIGTERM)
    ended(app, "SIGTERM")
    large = x.window(100, 80, 720, 560)  # larger than 640 x 480, named by -window-id in decimal
    app = start(["-window-id", str(large)])
    check_drawing(display, large, 720, 560)
    app.send_signal(signal.SIGINT)
    ended(app, "SIGINT")
    pixmap = x.pixmap(400, 300)
    input_only = x.input_only(400, 300)
    for args, window, words in ((["-window-id", hex(x.window(0, 0, 150, 150))], None, ["150 x 150", "200"]),
                                (["-root"], "0x7ffffff", ["no window", "0x7ffffff"]),
                                (["-window-id", "nonsense"], None, ["-window-id", "nonsense"]),
                                (["-window-id", hex(pixmap)], None, [hex(pixmap), "pixmap", "not a window"]),
                                (["-root"], hex(input_only), [hex(input_only), "input-only"])):
        refused(start(args, window, wait=True), words)
    check(not shown(display, "ZORV DLA"), "a refused hack opened a window of its own")

    # The framework destroys its window: the hack ends quietly.
    framework = x.window(100, 80, 400, 300)
    app = start(["-window-id", hex(framework)])
    check_drawing(display, framework, 400, 300)
    x.destroy(framework)
    lines = ended(app, "its window destroyed by another client", 10)
    check(not any("zorv-dla-ss" in line for line in lines), "destroying the window gave %s" % lines)

    # Its connection closed by another client, then the server ending: one line each, code 0.
    framework = x.window(100, 80, 400, 300)
    app = start(["-window-id", hex(framework)])
    check_drawing(display, framework, 400, 300)
    saver = x.children(framework)
    check(len(saver) == 1, "the framework's window holds %d windows, not the saver's" % len(saver))
    x.kill_client(saver[0])
    lost = "zorv-dla-ss: the connection to the display was lost"
    check(ended(app, "its connection closed by another client", 10)[-1:] == [lost], "no line on the lost connection")
    app = start(["-window-id", hex(framework)])
    check_drawing(display, framework, 400, 300)
    server.terminate()
    check(ended(app, "the end of the X server", 10)[-1:] == [lost], "no line on the end of the server")
    print("hack: 300x260 by XSCREENSAVER_WINDOW and 720x560 by -window-id drawn, centred; input ignored; "
          "SIGTERM, SIGINT: code 0; a 150x150 window, a missing one, a bad id, a pixmap and an input-only window "
          "refused; its window destroyed, its connection closed, the server ended: code 0")

def main():
    """Without any display (kind nodisplay) the program refuses to start, in one line."""
    check(len(sys.argv) == 3 and sys.argv[2] in ("app", "saver", "hack", "nodisplay"), __doc__)
    program, kind, work, started = os.path.abspath(sys.argv[1]), sys.argv[2], tempfile.mkdtemp(prefix="zorv-xvfb-"), []
    hidden = ("QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY", "XSCREENSAVER_WINDOW")
    env, server = {k: v for k, v in os.environ.items() if k not in hidden}, None

    def start(args, window=None, wait=False):
        command = dict(args=[program] + args, env=dict(env, **({"XSCREENSAVER_WINDOW": window} if window else {})),
                       cwd=work)
        if wait:
            return subprocess.run(**command, capture_output=True, text=True, timeout=30)
        started.append(subprocess.Popen(**command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE))
        return started[-1]
    try:
        if kind == "nodisplay":
            return refused(start([], wait=True), ["display"]) or print("no display: refused in one line")
        if not all(shutil.which(tool) for tool in ("Xvfb", "import", "xwininfo")):
            print("Xvfb, import or xwininfo missing: skipped")
            sys.exit(77)
        read_fd, write_fd = os.pipe()
        server = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24", "-nolisten",
                                   "tcp"], pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as f:
            env.update(DISPLAY=":" + f.readline().strip(), QT_QPA_PLATFORM="xcb")  # ":" when the server ended first
        check(env["DISPLAY"] != ":", "Xvfb did not start")
        run = {"app": run_app, "saver": run_saver, "hack": run_hack}[kind]
        run(start, env["DISPLAY"], X(env["DISPLAY"]), server)
    finally:
        for app in started:
            app.kill()
            app.wait()
        if server:
            server.terminate()
            server.wait(timeout=10)
        shutil.rmtree(work, ignore_errors=True)

if __name__ == "__main__":
    main()
