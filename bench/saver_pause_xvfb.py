#!/usr/bin/env python3
"""How long zorv-dla-ss takes to end on a key or a one-pixel move made at a random moment of the 3-second pause after
a finished cluster, on Xvfb with input through the X server. The pause is found as the first 150 ms without processor
time after growth; a run whose saver goes on 5 s after the input took a stall in growth for the pause (a one-pixel
move during growth ends nothing) and is made again. Prints each run's moment in the pause and the time from the input
to the process's end.

usage: saver_pause_xvfb.py ZORV-DLA-SS [RUNS-PER-KIND]     (10 keys and 10 moves unless told)
"""
import os, random, statistics, subprocess, sys, threading, time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "qt"))
import xvfb  # noqa: E402  the project's X client and helpers

IDLE = 0.15  # s without processor time that mark the pause


def one_run(program, env, x, how, moment):
    app = subprocess.Popen([program], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    ended = {}
    waiter = threading.Thread(target=lambda: ended.update(code=app.wait(), at=time.monotonic()))
    waiter.start()
    try:
        xvfb.wait_for("the window", lambda: xvfb.shown(env["DISPLAY"], "ZORV DLA"))
        cpu, grew, idle_since, deadline = xvfb.cpu_seconds(app.pid), False, None, time.monotonic() + 60
        while True:  # the pause: growth seen, then 60 ms without a tick of processor time
            xvfb.check(app.poll() is None and time.monotonic() < deadline, "no pause within 60 s")
            time.sleep(0.01)
            now, used = time.monotonic(), xvfb.cpu_seconds(app.pid) - cpu
            cpu += used
            if used > 0:
                grew, idle_since = True, None
            elif grew:
                idle_since = idle_since or now
                if now - idle_since >= IDLE:
                    break
        time.sleep(max(0.0, idle_since + moment - time.monotonic()))
        x.key("space") if how == "key" else x.move(1, 0, relative=True)
        made = time.monotonic()
        waiter.join(5)
        return ended["at"] - made if "at" in ended else None
    finally:
        if app.poll() is None:
            app.kill()
        waiter.join()


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    program, runs = os.path.abspath(sys.argv[1]), int(sys.argv[2]) if len(sys.argv) == 3 else 10
    read_fd, write_fd = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                              pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_fd)
    with os.fdopen(read_fd) as f:
        display = ":" + f.readline().strip()
    try:
        env = {k: v for k, v in os.environ.items() if k not in ("WAYLAND_DISPLAY", "XSCREENSAVER_WINDOW")}
        env.update(DISPLAY=display, QT_QPA_PLATFORM="xcb")
        x = xvfb.X(display)
        for how in ("key", "move"):
            times, missed = [], 0
            while len(times) < runs:
                moment = random.uniform(0.0, 2.8 - IDLE)  # from the pause's start as found
                took = one_run(program, env, x, how, moment)
                if took is None:
                    missed += 1
                    continue
                times.append(took)
                print("%-4s at %.2f s of the pause: ended after %4.0f ms" % (how, moment + IDLE, took * 1000), flush=True)
            print("%s: median %.0f ms, slowest %.0f ms, fastest %.0f ms; %d runs made again" %
                  (how, statistics.median(times) * 1000, max(times) * 1000, min(times) * 1000, missed), flush=True)
    finally:
        server.terminate()
        server.wait(timeout=10)


if __name__ == "__main__":
    main()
