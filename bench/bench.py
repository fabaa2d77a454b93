#!/usr/bin/env python3
"""Horatik's benchmarks: idle CPU beside xclock (SDL's dummy audio and a PulseAudio server),
frame cost, start-up, key latency, memory, and the cost of the zoomed window.

Run through bench/run.sh, which builds what is needed first. Every figure is the
median of several runs and is printed beside its target; a figure that misses
its target is reported, not failed: the exit code is 0 unless a benchmark could
not run at all.
"""

import argparse
import ctypes
import ctypes.util
import glob
import os
import random
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

CLK_TCK = os.sysconf("SC_CLK_TCK")
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MONO = time.CLOCK_MONOTONIC

TARGET_HEAVY_IR = 1.5e6
TARGET_TYPICAL_IR = 0.4e6
TARGET_STARTUP_MS = 150.0
TARGET_LATENCY_MS = 15.0
TARGET_HWM_MIB = 24.0
TARGET_MAIN_WAKES = 2.0
TARGET_ZOOM_MS = 2.0  # what presenting at factor 3 may add to a frame, over factor 1
TARGET_IDLE_RATIO = 5.0   # idle CPU against xclock's
TARGET_IDLE_WAKES = 3.0   # wake-ups a second, all threads

# The read-out box at its start position (119, 138), 80 x 20: its inside.
PROBE = (120, 139, 198, 157)
PROBE_AREA = (PROBE[2] - PROBE[0] + 1) * (PROBE[3] - PROBE[1] + 1)
# Of the 40 x 30 pixels the shim samples, more than this many are not black on the face.
LIT_FACE = 600


def now_ns():
    return time.clock_gettime_ns(MONO)


def log(msg):
    print(msg, flush=True)


def median(xs):
    return statistics.median(xs) if xs else None


# ---------------------------------------------------------------- processes

class Procs:
    """Everything a script starts, ended by process id only; safe across threads.
    new_session: each in a session of its own, so that Ctrl-C reaches the script
    alone, which then ends them."""

    def __init__(self, new_session=False, timeout=3.0):
        self.lock = threading.Lock()
        self.started = []
        self.new_session = new_session
        self.timeout = timeout

    def start(self, argv, **kw):
        if self.new_session:
            kw.setdefault("start_new_session", True)
        with self.lock:
            p = subprocess.Popen(argv, **kw)
            self.started.append(p)
        return p

    def stop(self, p, sig=signal.SIGTERM, timeout=None):
        if p.poll() is None:
            try:
                os.kill(p.pid, signal.SIGCONT)  # a stopped process takes no SIGTERM
                os.kill(p.pid, sig)
                p.wait(self.timeout if timeout is None else timeout)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
            except ProcessLookupError:
                pass
        with self.lock:
            if p in self.started:
                self.started.remove(p)

    def stopall(self):
        with self.lock:
            left = list(reversed(self.started))
        for p in left:
            self.stop(p, timeout=3.0)


procs = Procs()


SERVICES = os.path.join(ROOT, "tests", "services.sh")


def service_ready(p, *args):
    """tests/services.sh, which starts every service the clock runs beside: whether the
    service of process p answers (within ten seconds)."""
    return subprocess.run(["bash", SERVICES, "ready", args[0], str(p.pid), *args[1:]]).returncode == 0


def start_xvfb(size="640x480", started=None):
    """A display of our own, kept in started (a Procs; this script's own by default)."""
    started = started or procs
    r, w = os.pipe()
    p = started.start(["bash", SERVICES, "start", "xvfb", size, str(w)],
                      pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(w)
    data = b""
    deadline = time.time() + 10
    while not data.endswith(b"\n") and time.time() < deadline:
        chunk = os.read(r, 64)
        if not chunk:
            break
        data += chunk
    os.close(r)
    if not data.strip():
        started.stop(p)
        raise RuntimeError("Xvfb did not start")
    return p, ":" + data.decode().strip()


def workdir(rundir, help_byte=0, armed=False):
    """A fresh working folder: the runtime's data/, and Horatik.dat with the help panel off;
    armed: an alarm armed for twelve hours ahead."""
    d = tempfile.mkdtemp(prefix="hxbench")
    os.symlink(os.path.join(rundir, "data"), os.path.join(d, "data"))
    for extra in ("config.conf", "Tavlo.png"):
        src = os.path.join(rundir, extra)
        if os.path.exists(src):
            shutil.copy(src, d)
    hour = (time.gmtime().tm_hour + 12) % 24 if armed else 0
    dat = ((86400000).to_bytes(4, "little") + bytes([help_byte]) + hour.to_bytes(4, "little") +
           (0).to_bytes(4, "little") + (2 if armed else 0).to_bytes(4, "little"))
    with open(os.path.join(d, "Horatik.dat"), "wb") as f:
        f.write(dat)
    return d


def start_pulse():
    """A PulseAudio server of our own in a runtime folder of its own (XDG_RUNTIME_DIR),
    its default sink a null sink; returns the process and the folder."""
    d = tempfile.mkdtemp(prefix="hxbenchpulse")
    p = procs.start(["bash", SERVICES, "start", "pulse", d], stdout=subprocess.DEVNULL,
                    stderr=subprocess.DEVNULL)
    if not service_ready(p, "pulse", d):
        procs.stop(p)
        shutil.rmtree(d, ignore_errors=True)
        raise RuntimeError("pulseaudio did not start")
    return p, d


def start_bus(d):
    """A session bus of our own in folder d (dbus-daemon) with the tests' stand-ins for the
    desktop portal's Inhibit and org.freedesktop.ScreenSaver; returns both processes and the
    bus's address. Their log, d/services.log, shows what the clock holds."""
    sock = os.path.join(d, "bus")
    daemon = procs.start(["bash", SERVICES, "start", "bus", sock], stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL)
    address = "unix:path=" + sock
    log_path = os.path.join(d, "services.log")
    if service_ready(daemon, "bus", sock):
        standin = procs.start(["bash", SERVICES, "start", "standins", address, "portal", log_path],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if service_ready(standin, "standins", log_path):
            return daemon, standin, address
        procs.stop(standin)
    procs.stop(daemon)
    raise RuntimeError("no session bus with the power services' stand-ins (scripts/deps.sh test "
                       "installs dbus-daemon, python3-dbus and python3-gi)")


def clock_env(display, extra=None, pulse=None):
    """pulse: the runtime folder of a PulseAudio server, which SDL then finds by itself;
    otherwise SDL's dummy audio driver."""
    env = dict(os.environ)
    # a bus in extra takes its place: SDL2 would start one of its own
    env.update(DISPLAY=display, SDL_AUDIODRIVER="dummy", DBUS_SESSION_BUS_ADDRESS="disabled:")
    env.pop("SDL_VIDEODRIVER", None)
    if pulse:
        env.pop("SDL_AUDIODRIVER")
        env.pop("PULSE_SERVER", None)
        env["XDG_RUNTIME_DIR"] = pulse
    if extra:
        env.update(extra)
    return env


# ---------------------------------------------------------------- /proc accounting

def cpu_ticks(pid):
    """utime + stime (fields 14 and 15 of /proc/PID/stat) of all threads, in clock ticks."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # fields 14, 15 counted from 1, after pid and comm


def cpu_ns(pid):
    """The same time to the nanosecond: first field of each thread's schedstat."""
    total = 0
    for path in glob.glob(f"/proc/{pid}/task/*/schedstat"):
        try:
            with open(path) as f:
                total += int(f.read().split()[0])
        except (OSError, ValueError, IndexError):
            pass
    return total


def switches(pid):
    """Voluntary + involuntary context switches per thread id."""
    out = {}
    for path in glob.glob(f"/proc/{pid}/task/*/status"):
        tid = path.split("/")[4]
        n = 0
        try:
            with open(path) as f:
                for line in f:
                    if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                        n += int(line.split()[1])
        except OSError:
            continue
        out[tid] = n
    return out


def switch_delta(a, b):
    return sum(n - a.get(tid, 0) for tid, n in b.items())


def status_kib(pid, key):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(key + ":"):
                return int(line.split()[1])
    return None


def machine_busy():
    """(busy, total) jiffies of all CPUs from /proc/stat."""
    with open("/proc/stat") as f:
        v = [int(x) for x in f.readline().split()[1:]]
    idle = v[3] + v[4]
    return sum(v) - idle, sum(v)


# ---------------------------------------------------------------- idle CPU and memory

def snapshot(pid):
    return cpu_ticks(pid), cpu_ns(pid), switches(pid)


def bench_idle(args, display, rundir, libdir=None, pulse=False, window="320x240", xclock_at="+400+0"):
    """libdir: a folder of another libSDL-1.2.so.0 (sdl12-compat) for the clock, or None;
    pulse: a PulseAudio server of its own for each run, measured too, and a session bus
    with the desktop's power services, on which the clock holds an inhibition for its
    alarm, armed for twelve hours ahead, as on a desktop at night;
    window: the size the clock's window must have."""
    results = []
    extra = {"LD_LIBRARY_PATH": libdir} if libdir else None
    for rep in range(args.repeat):
        server, pulsedir = start_pulse() if pulse else (None, None)
        bus = start_bus(pulsedir) if pulse else None
        env = clock_env(display, extra, pulsedir)
        if bus:
            env["DBUS_SESSION_BUS_ADDRESS"] = bus[2]
        d = workdir(rundir, armed=pulse)
        clock = procs.start([os.path.join(rundir, "horatik-desktop")], cwd=d, env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        xclock = procs.start(["xclock", "-update", "1", "-geometry", "164x164" + xclock_at],
                             env=clock_env(display), stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
        try:
            time.sleep(args.settle)
            for p in (clock, xclock, server):
                if p and p.poll() is not None:
                    raise RuntimeError(f"{p.args[0]} ended early with code {p.returncode}")
            if window_size(display) != window:
                raise RuntimeError(f"the clock's window is {window_size(display)}, not {window}")
            if bus and "+ " not in open(os.path.join(pulsedir, "services.log")).read():
                raise RuntimeError("the armed alarm holds no inhibition on the session bus")
            m0 = machine_busy()
            t0 = time.monotonic()
            a0, b0 = snapshot(clock.pid), snapshot(xclock.pid)
            s0 = snapshot(server.pid) if server else None
            time.sleep(args.duration)
            a1, b1 = snapshot(clock.pid), snapshot(xclock.pid)
            s1 = snapshot(server.pid) if server else None
            t1 = time.monotonic()
            m1 = machine_busy()
            hwm = status_kib(clock.pid, "VmHWM")
            xhwm = status_kib(xclock.pid, "VmHWM")
        finally:
            procs.stop(clock)
            procs.stop(xclock)
            if bus:
                procs.stop(bus[1])
                procs.stop(bus[0])
            if server:
                procs.stop(server)
                shutil.rmtree(pulsedir, ignore_errors=True)
            shutil.rmtree(d, ignore_errors=True)
        span = t1 - t0

        def figures(s0, s1):
            # threads in the order they were made (thread ids grow), the main thread first
            tids = sorted(s1[2], key=int)
            return {
                "cpu": (s1[0] - s0[0]) / CLK_TCK / span * 100.0,
                "cpu_ns": (s1[1] - s0[1]) / 1e9 / span * 100.0,
                "wake": switch_delta(s0[2], s1[2]) / span,
                "threads": [(s1[2][t] - s0[2].get(t, 0)) / span for t in tids],
            }

        r = {"clock": figures(a0, a1), "xclock": figures(b0, b1), "hwm": hwm / 1024.0,
             "xhwm": xhwm / 1024.0,
             "busy": (m1[0] - m0[0]) / max(1, m1[1] - m0[1]) * 100.0 * (os.cpu_count() or 1),
             "server": figures(s0, s1) if server else None}
        results.append(r)
        c, x = r["clock"], r["xclock"]
        log(f"  idle run {rep + 1}/{args.repeat} ({span:.0f} s): horatik {c['cpu']:.3f} % "
            f"(schedstat {c['cpu_ns']:.3f} %), {c['wake']:.1f} wake-ups/s; xclock {x['cpu']:.3f} % "
            f"(schedstat {x['cpu_ns']:.3f} %), {x['wake']:.1f} wake-ups/s; VmHWM horatik "
            f"{r['hwm']:.1f} MiB, xclock {r['xhwm']:.1f} MiB; machine busy {r['busy']:.0f} % "
            f"of one core (all processes)\n"
            f"    horatik wake-ups/s per thread (main first): "
            + ", ".join(f"{w:.1f}" for w in c["threads"])
            + (f"\n    pulseaudio {r['server']['cpu_ns']:.3f} % (schedstat), "
               f"{r['server']['wake']:.1f} wake-ups/s" if server else ""))
    return results


def bench_xserver(args, rundir, libdir=None):
    """CPU of the idle clock together with an X server of its own, beside xclock -update 1
    together with another: each on a 640x480x24 Xvfb of its own, side by side for
    --duration seconds, --repeat runs; what the server spends on each frame counts too.
    Returns per run the percentages of one core (schedstat) and their ratio."""
    results = []
    extra = {"LD_LIBRARY_PATH": libdir} if libdir else None
    for rep in range(args.repeat):
        xa, da = start_xvfb()
        xb, db = start_xvfb()
        d = workdir(rundir)
        clock = procs.start([os.path.join(rundir, "horatik-desktop")], cwd=d, env=clock_env(da, extra),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        xclock = procs.start(["xclock", "-update", "1", "-geometry", "164x164+0+0"], env=clock_env(db),
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            time.sleep(args.settle)
            for p in (clock, xclock):
                if p.poll() is not None:
                    raise RuntimeError(f"{p.args[0]} ended early with code {p.returncode}")
            pids = (clock.pid, xa.pid, xclock.pid, xb.pid)
            t0 = time.monotonic()
            c0 = [cpu_ns(pid) for pid in pids]
            time.sleep(args.duration)
            c1 = [cpu_ns(pid) for pid in pids]
            span = time.monotonic() - t0
        finally:
            for p in (clock, xclock, xa, xb):
                procs.stop(p)
            shutil.rmtree(d, ignore_errors=True)
        pc = [(b - a) / 1e9 / span * 100.0 for a, b in zip(c0, c1)]
        r = {"clock": pc[0], "server": pc[1], "xclock": pc[2], "xserver": pc[3],
             "ratio": (pc[0] + pc[1]) / (pc[2] + pc[3]) if pc[2] + pc[3] > 0 else float("inf")}
        results.append(r)
        log(f"  run {rep + 1}/{args.repeat} ({span:.0f} s): horatik {r['clock']:.3f} % + its Xvfb "
            f"{r['server']:.3f} %; xclock {r['xclock']:.3f} % + its Xvfb {r['xserver']:.3f} %; "
            f"ratio {r['ratio']:.2f}")
    return results


# ---------------------------------------------------------------- shim log

def read_log(path, marks=None):
    """Presents [(ns, n, probe, lit)], key takes [(ns, sym)] and the exec time, if any; start-up
    milestones go into marks (name -> ns of its last call) when given."""
    presents, keys, start = [], [], None
    try:
        with open(path) as f:
            for line in f:
                parts = line.split()
                if not parts or not line.endswith("\n"):
                    continue
                if parts[0] == "P" and len(parts) in (5, 6):
                    presents.append((int(parts[1]), int(parts[2]), int(parts[3]), int(parts[4])))
                elif parts[0] == "K" and len(parts) == 3:
                    keys.append((int(parts[1]), int(parts[2])))
                elif parts[0] == "S" and len(parts) == 2:
                    start = int(parts[1])
                elif parts[0] == "M" and len(parts) == 3 and marks is not None:
                    marks[parts[2]] = int(parts[1])
    except FileNotFoundError:
        pass
    return presents, keys, start


def start_shimmed(display, rundir, shim, logpath, d, extra=None):
    def mark_exec():
        # runs in the child right before exec: the start of the measured span
        fd = os.open(logpath, os.O_WRONLY | os.O_CREAT | os.O_APPEND, 0o644)
        os.write(fd, f"S {time.clock_gettime_ns(time.CLOCK_MONOTONIC)}\n".encode())
        os.close(fd)

    env = clock_env(display, dict(extra or {}, LD_PRELOAD=shim, HX_PRESENT_LOG=logpath,
                                  HX_PROBE=",".join(map(str, PROBE))))
    with open(os.path.join(d, "stderr.txt"), "wb") as err:
        return procs.start([os.path.join(rundir, "horatik-desktop")], cwd=d, env=env,
                           stdout=subprocess.DEVNULL, stderr=err, preexec_fn=mark_exec)


def stderr_of(d):
    try:
        with open(os.path.join(d, "stderr.txt"), errors="replace") as f:
            return f.read().strip()
    except OSError:
        return ""


def face_index(presents):
    """Index of the first presented clock face: the first frame that is mostly picture
    (the loading messages and the cleared screen are black), the fourth present when the
    shim could not look at the pixels."""
    for i, (_, _, _, lit) in enumerate(presents):
        if lit < 0:
            return 3 if len(presents) >= 4 else None
        if lit > LIT_FACE:
            return i
    return None


def wait_presents(p, logpath, count, timeout, face=False):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        presents, _, _ = read_log(logpath)
        if len(presents) >= count if not face else face_index(presents) is not None:
            return presents
        if p.poll() is not None:
            break
        time.sleep(0.002)
    return None


# ---------------------------------------------------------------- start-up

MILESTONES = (("loaded", "libraries loaded"), ("SDL_Init", "SDL_Init"),
              ("SDL_SetVideoMode", "video mode"), ("TTF_OpenFont", "fonts"),
              ("IMG_Load", "pictures"), ("Mix_OpenAudio", "audio"))


def bench_startup(args, display, rundir, shim):
    times, phases = [], {}
    for rep in range(args.startups):
        d = workdir(rundir)
        logpath = os.path.join(d, "present.log")
        p = start_shimmed(display, rundir, shim, logpath, d)
        try:
            presents = wait_presents(p, logpath, 0, 10.0, face=True)
            marks = {}
            _, _, start = read_log(logpath, marks)
            err = stderr_of(d)
        finally:
            procs.stop(p)
            shutil.rmtree(d, ignore_errors=True)
        if not presents or start is None:
            log(f"  start-up run {rep + 1}: no clock face presented (exit code {p.returncode}: {err})")
            continue
        i = face_index(presents)
        ms = (presents[i][0] - start) / 1e6
        if i != 3:
            log(f"  start-up run {rep + 1}: the face was present number {i + 1}, not the fourth")
        times.append(ms)
        steps = [(label, (marks[k] - start) / 1e6) for k, label in MILESTONES if k in marks]
        steps.append(("first message", (presents[0][0] - start) / 1e6))
        steps.sort(key=lambda s: s[1])
        for label, t in steps:
            phases.setdefault(label, []).append(t)
        log(f"  start-up run {rep + 1}/{args.startups}: clock face {ms:.1f} ms; "
            + ", ".join(f"{label} {t:.1f}" for label, t in steps))
    return times, phases


# ---------------------------------------------------------------- key latency

class Keyboard:
    """Key presses through XTest, timed right before the request is sent."""

    def __init__(self, display):
        x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        xtst = ctypes.CDLL(ctypes.util.find_library("Xtst") or "libXtst.so.6")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XStringToKeysym.restype = ctypes.c_ulong
        x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
        x11.XKeysymToKeycode.restype = ctypes.c_ubyte
        x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        x11.XFlush.argtypes = [ctypes.c_void_p]
        x11.XSetInputFocus.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_ulong]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                           ctypes.c_ulong]
        xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                              ctypes.c_int, ctypes.c_ulong]
        self.x11, self.xtst = x11, xtst
        self.dpy = x11.XOpenDisplay(display.encode())
        if not self.dpy:
            raise RuntimeError("cannot open display " + display)

    def keycode(self, name):
        return self.x11.XKeysymToKeycode(self.dpy, self.x11.XStringToKeysym(name.encode()))

    def move(self, x, y):
        # Keys go to the window under the pointer only while the focus follows it:
        # an SDL2 client (sdl12-compat) takes the focus and leaves it at none when
        # it ends, with no window manager to give it back.
        pointer_root = 1
        self.x11.XSetInputFocus(self.dpy, pointer_root, pointer_root, 0)
        self.xtst.XTestFakeMotionEvent(self.dpy, -1, x, y, 0)
        self.x11.XFlush(self.dpy)

    def key(self, code, down):
        t = now_ns()
        self.xtst.XTestFakeKeyEvent(self.dpy, code, 1 if down else 0, 0)
        self.x11.XFlush(self.dpy)
        return t

    def close(self):
        self.x11.XCloseDisplay(self.dpy)


def window_size(display):
    """Width x height of the clock's window on the display, or None."""
    out = subprocess.run(["xwininfo", "-root", "-tree"], env=clock_env(display),
                         capture_output=True, text=True).stdout
    m = re.search(r'\("horatik-desktop" "horatik-desktop"\)\s+(\d+x\d+)\+', out)
    return m.group(1) if m else None


def set_dpi(display, dpi):
    """The desktop's scale as desktops publish it: the X resource Xft.dpi (96 = 1x)."""
    subprocess.run(["xrdb", "-merge"], input=f"Xft.dpi: {dpi}\n", text=True, check=True,
                   env=clock_env(display))


def window_origin(display):
    """Top-left corner of the 320x240 window on the display."""
    out = subprocess.run(["xwininfo", "-root", "-tree"], env=clock_env(display),
                         capture_output=True, text=True).stdout
    for m in re.finditer(r"320x240\+(-?\d+)\+(-?\d+)\s+\+(-?\d+)\+(-?\d+)", out):
        return int(m.group(3)), int(m.group(4))
    return 0, 0


def readout_on(probe):
    return probe > PROBE_AREA // 2


def bench_latency(args, display, rundir, shim, extra=None):
    """extra: more environment for the clock (another SDL), or None."""
    lat, poll, draw, missed = [], [], [], 0
    kb = Keyboard(display)
    code = kb.keycode("z")
    rng = random.Random(1)
    try:
        for rep in range(args.repeat):
            d = workdir(rundir)
            logpath = os.path.join(d, "present.log")
            p = start_shimmed(display, rundir, shim, logpath, d, extra)
            try:
                if not wait_presents(p, logpath, 5, 10.0):  # the face and one second's tick
                    raise RuntimeError("the clock presented no frames")
                x, y = window_origin(display)
                kb.move(x + 300, y + 20)
                time.sleep(0.2)
                for _ in range(args.presses):
                    presents, _, _ = read_log(logpath)
                    before = readout_on(presents[-1][2])
                    t = kb.key(code, True)
                    hit = None
                    deadline = time.monotonic() + 2.0
                    while hit is None and time.monotonic() < deadline:
                        time.sleep(0.001)
                        presents, keys, _ = read_log(logpath)
                        for ns, _, probe, _ in presents:
                            if ns > t and readout_on(probe) != before:
                                hit = ns
                                break
                    rest = 0.08 - (now_ns() - t) / 1e9
                    if rest > 0:
                        time.sleep(rest)
                    kb.key(code, False)
                    if hit is None:
                        missed += 1
                    else:
                        lat.append((hit - t) / 1e6)
                        k = [ns for ns, _ in keys if t < ns <= hit]
                        if k:
                            poll.append((k[0] - t) / 1e6)
                            draw.append((hit - k[0]) / 1e6)
                    # the next press lands at another phase of the loop and the second
                    time.sleep(0.12 + rng.random() * 0.25)
                if p.poll() is not None:
                    raise RuntimeError("the clock ended during the presses")
            finally:
                procs.stop(p)
                shutil.rmtree(d, ignore_errors=True)
            log(f"  latency run {rep + 1}/{args.repeat}: {len(lat)} presses measured so far, "
                f"median {median(lat) or float('nan'):.2f} ms, {missed} without a toggled frame")
    finally:
        kb.close()
    return lat, poll, draw, missed


# ---------------------------------------------------------------- frame cost

def parse_annotate(text):
    """Inclusive cost per function and, per function, the inclusive costs of its direct callees."""
    incl, callees = {}, {}
    current = None
    pat = re.compile(r"^\s*([\d,]+)\s+\(\s*[\d.]+%\)\s+([*>])\s+(.*)$")
    for line in text.splitlines():
        m = pat.match(line)
        if not m:
            if not line.strip():
                current = None
            continue
        cost = int(m.group(1).replace(",", ""))
        rest = re.sub(r"\s+\[[^\]]*\]$", "", m.group(3).strip())
        rest = re.sub(r"\s+\(\d+x\)$", "", rest)
        rest = re.sub(r"\s+\[[^\]]*\]$", "", rest)
        name = rest.split(":", 1)[1] if ":" in rest else rest
        base = name.split("(", 1)[0].strip()
        if m.group(2) == "*":
            current = base
            incl[base] = max(incl.get(base, 0), cost)
            callees.setdefault(base, {})
        elif current is not None:
            c = callees[current]
            c[base] = max(c.get(base, 0), cost)
    return incl, callees


def callgrind(frameprog, rundir, scenario, frames, tmp):
    out = os.path.join(tmp, f"cg.{scenario}.{frames}")
    subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}",
                    frameprog, "--run", rundir, "--scenario", scenario, "--frames", str(frames),
                    "--warmup", "4", "--repeat", "1"],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    ann = subprocess.run(["callgrind_annotate", "--inclusive=yes", "--tree=calling",
                          "--threshold=100", out], check=True, capture_output=True, text=True).stdout
    return frame_parts(ann)


def frame_parts(ann):
    """Program total and the inclusive costs of the face's parts from callgrind_annotate's
    calling tree: the window, the hands, the text drawn outside the window's own captions,
    the whole face."""
    m = re.search(r"^\s*([\d,]+).*PROGRAM TOTALS", ann, re.M)
    total = int(m.group(1).replace(",", ""))
    incl, callees = parse_annotate(ann)
    text = sum(v for k, v in incl.items() if k.startswith("outtextxy"))
    text_in_window = sum(v for k, v in callees.get("drawwindow", {}).items()
                         if k.startswith("outtextxy"))
    return {"total": total, "drawwindow": incl.get("drawwindow", 0),
            "Polygon": incl.get("Polygon", 0), "text": text - text_in_window,
            "uhrdraw": incl.get("uhrdraw", 0)}


def bench_frames(args, frameprog, rundir):
    res = {}
    tmp = tempfile.mkdtemp(prefix="hxcg")
    try:
        for scenario in ("heavy", "typical", "changed"):
            out = subprocess.run([frameprog, "--run", rundir, "--scenario", scenario,
                                  "--frames", str(args.timed_frames), "--repeat", str(max(5, args.repeat))],
                                 check=True, capture_output=True, text=True).stdout
            us = float(re.search(r"median ([\d.]+)", out).group(1))
            log(f"  {out.strip()}")
            counts = []
            for rep in range(args.repeat if shutil.which("valgrind") else 0):
                base = callgrind(frameprog, rundir, scenario, 0, tmp)
                full = callgrind(frameprog, rundir, scenario, args.cg_frames, tmp)
                n = args.cg_frames
                per = {k: (full[k] - base[k]) / n for k in full}
                counts.append(per)
                log(f"  callgrind {scenario} {rep + 1}/{args.repeat}: {per['total']:,.0f} instructions "
                    f"per frame (uhrdraw {per['uhrdraw']:,.0f}: window {per['drawwindow']:,.0f}, "
                    f"hands {per['Polygon']:,.0f}, text {per['text']:,.0f})")
            res[scenario] = {"us": us, "counts": counts}
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    return res


# ---------------------------------------------------------------- instructions per shown second

INSTR_SPANS = (8.0, 20.0)  # seconds of the two runs whose difference is counted
TARGET_IDLE_IR = 0.5e6     # instructions per idle shown second, desktop program
TARGET_XSERVER_RATIO = 0.5  # idle CPU of the clock and its X server against xclock's and its own


def callgrind_totals(path, name):
    """The program's total instructions in a callgrind file, and how often the function
    whose name begins with name was called."""
    names, total, calls, callee = {}, None, 0, None
    with open(path, errors="replace") as f:
        for line in f:
            m = re.match(r"(c?fn)=\((\d+)\)(?: (.*))?$", line.rstrip("\n"))
            if m:
                if m.group(3):
                    names[m.group(2)] = m.group(3)
                callee = names.get(m.group(2), "") if m.group(1) == "cfn" else None
            elif line.startswith("calls=") and callee is not None:
                if callee.startswith(name):
                    calls += int(line[6:].split()[0])
                callee = None
            elif line.startswith(("summary:", "totals:")) and total is None:
                total = int(line.split()[1])
    return total, calls


def bench_instructions(rundir, program, extra=None):
    """Instructions per shown second of the whole process (all threads, start-up cancelled
    out): valgrind's callgrind over a run of 8 s and one of 20 s side by side, each on a
    640x480x24 Xvfb of its own (the console program grabs its display) and ended by
    SIGTERM (SDL makes a quit request of it); the difference of their totals over the
    difference of the frames they drew (calls of uhrdraw), and over the 12 s between."""
    tmp = tempfile.mkdtemp(prefix="hxcgidle")
    xvfbs = []
    try:
        runs = []
        for span in INSTR_SPANS:
            xvfb, display = start_xvfb()
            xvfbs.append(xvfb)
            env = clock_env(display, extra)
            d = workdir(rundir)
            out = os.path.join(tmp, f"cg.{span:g}")
            p = procs.start(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}",
                             os.path.join(rundir, program)], cwd=d, env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            runs.append((span, p, out, d))
        t0 = time.monotonic()
        for span, p, out, d in runs:
            time.sleep(max(0.0, t0 + span - time.monotonic()))
            if p.poll() is not None:
                raise RuntimeError(f"{program} under valgrind ended early with code {p.returncode}")
            procs.stop(p, timeout=60)
        counts = []
        for span, p, out, d in runs:
            shutil.rmtree(d, ignore_errors=True)
            if not os.path.exists(out):
                raise RuntimeError(f"callgrind wrote no {out} (exit code {p.returncode})")
            counts.append(callgrind_totals(out, "uhrdraw("))
        (ta, fa), (tb, fb) = counts
        if fb <= fa:
            raise RuntimeError(f"no frames drawn between the runs ({fa}, {fb})")
        if ta is None or tb is None:
            raise RuntimeError("callgrind's output holds no totals")
        return {"per_frame": (tb - ta) / (fb - fa), "per_second": (tb - ta) / (INSTR_SPANS[1] - INSTR_SPANS[0]),
                "frames": fb - fa}
    finally:
        for xvfb in xvfbs:
            procs.stop(xvfb)
        shutil.rmtree(tmp, ignore_errors=True)


# ---------------------------------------------------------------- zoom

ZOOM_SCREEN = "1280x1024"  # room for the window at factor 3 (960x720); alone it asks for 1


def bench_present(args, frameprog, rundir, extra=None):
    """Microseconds to present a frame at factors 1, 2 and 3 (median of the repetitions):
    horatik-bench-frame --present opens its window as the program does, on a display whose
    Xft.dpi asks for the factor, and times the present of each frame alone. extra: more
    environment (another SDL), or None."""
    xvfb, display = start_xvfb(ZOOM_SCREEN)
    env = clock_env(display, extra)
    res = {}
    try:
        for f in (1, 2, 3):
            set_dpi(display, 96 * f)
            out = subprocess.run([frameprog, "--present", "--run", rundir, "--scenario", "typical",
                                  "--frames", str(args.present_frames), "--repeat", str(max(5, args.repeat))],
                                 env=env, check=True, capture_output=True, text=True).stdout
            size = re.search(r"window (\d+)x(\d+)x(\d+)", out)
            if not size or (int(size.group(1)), int(size.group(2))) != (320 * f, 240 * f):
                raise RuntimeError(f"factor {f}: the window is not {320 * f}x{240 * f}: {out.strip()}")
            res[f] = float(re.search(r"median ([\d.]+)", out).group(1))
            log(f"  factor {f}, {size.group(1)}x{size.group(2)}x{size.group(3)}: {out.splitlines()[-1]}")
    finally:
        procs.stop(xvfb)
    return res


def bench_zoomidle(args, rundir, libdir=None):
    """The idle runs with the window at factor 2 (Xft.dpi 192)."""
    xvfb, display = start_xvfb(ZOOM_SCREEN)
    try:
        set_dpi(display, 192)
        return bench_idle(args, display, rundir, libdir, window="640x480", xclock_at="+1100+0")
    finally:
        procs.stop(xvfb)


# ---------------------------------------------------------------- report

def row(rows, figure, value, target, met):
    rows.append((figure, value, target, "-" if met is None else ("met" if met else "NOT met")))


def report(rows):
    w = [max(len(r[i]) for r in rows + [("figure", "median", "target / ratio", "met")]) for i in range(4)]
    line = lambda r: "  ".join(c.ljust(w[i]) for i, c in enumerate(r)).rstrip()
    log("")
    log(line(("figure", "median", "target / ratio", "met")))
    log("  ".join("-" * x for x in w))
    for r in rows:
        log(line(r))


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--build", required=True, help="build folder (holds run/ and bench/)")
    ap.add_argument("--duration", type=float, default=60.0, help="seconds of each idle run (60)")
    ap.add_argument("--repeat", type=int, default=3, help="repetitions of each benchmark (3)")
    ap.add_argument("--settle", type=float, default=3.0, help="seconds after start before the idle run counts")
    ap.add_argument("--startups", type=int, default=7, help="start-up runs (7)")
    ap.add_argument("--presses", type=int, default=20, help="key presses per latency run (20)")
    ap.add_argument("--timed-frames", type=int, default=500, help="frames per timed repetition")
    ap.add_argument("--cg-frames", type=int, default=20, help="frames counted under callgrind")
    ap.add_argument("--present-frames", type=int, default=200, help="frames per timed present repetition")
    ap.add_argument("--compat", default=None,
                    help="folder of sdl12-compat's libSDL-1.2.so.0: the idle runs again on it")
    ap.add_argument("--audio", default="dummy,pulse",
                    help="the idle runs' audio: SDL's dummy driver, a PulseAudio server with a null sink, or both")
    ap.add_argument("--only", default="idle,xserver,instr,frame,startup,latency,zoom",
                    help="comma-separated subset of idle,xserver,instr,frame,startup,latency,zoom")
    args = ap.parse_args()
    which = set(args.only.split(","))

    build = os.path.abspath(args.build)
    rundir = os.path.join(build, "run")
    frameprog = os.path.join(build, "bench", "horatik-bench-frame")
    shim = os.path.join(build, "bench", "libhx_presentshim.so")
    for f in (os.path.join(rundir, "horatik-desktop"), frameprog, shim):
        if not os.path.exists(f):
            log(f"missing {f}: build the target horatik-bench first")
            return 1

    load0 = os.getloadavg()
    t_start = time.monotonic()
    log(f"horatik benchmarks: build {build}, {os.cpu_count()} cores, load average "
        f"{load0[0]:.2f} {load0[1]:.2f} {load0[2]:.2f}")
    rows, details = [], []
    ok = True
    xvfb = None
    try:
        if which & {"idle", "startup", "latency"}:
            xvfb, display = start_xvfb()
            log(f"Xvfb on {display}")

        if "idle" in which:
            sdls = [("system SDL", None)]
            if args.compat:
                sdls.append(("sdl12-compat", args.compat))
            audios = [a for a in args.audio.split(",") if a]
            if "pulse" in audios and not shutil.which("pulseaudio"):
                log("no pulseaudio (scripts/deps.sh test installs it): idle runs with the dummy driver only")
                audios.remove("pulse")
            runs = [(f" ({sdl}, {'PulseAudio, bus, armed' if a == 'pulse' else 'dummy audio'})", libdir,
                     a == "pulse")
                    for sdl, libdir in sdls for a in audios]
            for name, libdir, pulse in runs:
                log(f"idle{name}: horatik and xclock -update 1 side by side, {args.duration:.0f} s, "
                    f"{args.repeat} runs")
                try:
                    r = bench_idle(args, display, rundir, libdir, pulse)
                    c = median([x["clock"]["cpu"] for x in r])
                    xc = median([x["xclock"]["cpu"] for x in r])
                    cn = median([x["clock"]["cpu_ns"] for x in r])
                    xn = median([x["xclock"]["cpu_ns"] for x in r])
                    ratio = median([x["clock"]["cpu_ns"] / x["xclock"]["cpu_ns"] if x["xclock"]["cpu_ns"] else float("inf")
                                    for x in r])
                    cw = median([x["clock"]["wake"] for x in r])
                    xw = median([x["xclock"]["wake"] for x in r])
                    hwm = median([x["hwm"] for x in r])
                    busy = median([x["busy"] for x in r])
                    row(rows, f"idle CPU, horatik{name} (% of a core, stat)", f"{c:.3f} %", f"xclock {xc:.3f} %", None)
                    row(rows, "  same to the ns (schedstat)", f"{cn:.3f} %",
                        f"xclock {xn:.3f} %; ratio {ratio:.1f}x (<= {TARGET_IDLE_RATIO:.0f})",
                        ratio <= TARGET_IDLE_RATIO)
                    row(rows, f"idle wake-ups/s, horatik{name}", f"{cw:.1f}",
                        f"<= {TARGET_IDLE_WAKES:.0f} (xclock {xw:.1f})", cw <= TARGET_IDLE_WAKES)
                    nthreads = min(len(x["clock"]["threads"]) for x in r)
                    mainwake = median([x["clock"]["threads"][0] for x in r])
                    row(rows, "  per thread, main first", ", ".join(
                        f"{median([x['clock']['threads'][i] for x in r]):.1f}" for i in range(nthreads)),
                        f"main <= {TARGET_MAIN_WAKES:.0f}", mainwake <= TARGET_MAIN_WAKES)
                    row(rows, f"peak memory VmHWM, horatik{name}", f"{hwm:.1f} MiB", f"< {TARGET_HWM_MIB:.0f} MiB",
                        hwm < TARGET_HWM_MIB)
                    if pulse:
                        row(rows, "  pulseaudio (schedstat)",
                            f"{median([x['server']['cpu_ns'] for x in r]):.3f} %",
                            f"{median([x['server']['wake'] for x in r]):.1f} wake-ups/s", None)
                    row(rows, "  machine busy during idle runs", f"{busy:.0f} %",
                        "of one core, all processes", None)
                except Exception as e:  # noqa: BLE001 - report and go on with the others
                    ok = False
                    log(f"  idle benchmark failed: {e}")

        if "xserver" in which:
            sdls = [(" (system SDL)", None)]
            if args.compat:
                sdls.append((" (sdl12-compat)", args.compat))
            for name, libdir in sdls:
                log(f"idle with its X server{name}: horatik and xclock -update 1, each on an Xvfb of "
                    f"its own, {args.duration:.0f} s, {args.repeat} runs")
                try:
                    r = bench_xserver(args, rundir, libdir)
                    ratio = median([x["ratio"] for x in r])
                    row(rows, f"idle CPU with its X server, horatik{name} (schedstat)",
                        f"{median([x['clock'] + x['server'] for x in r]):.3f} %",
                        f"xclock and its own {median([x['xclock'] + x['xserver'] for x in r]):.3f} %; "
                        f"ratio {ratio:.2f}x (<= {TARGET_XSERVER_RATIO})", ratio <= TARGET_XSERVER_RATIO)
                    row(rows, "  of which the clock, its Xvfb",
                        f"{median([x['clock'] for x in r]):.3f} %, {median([x['server'] for x in r]):.3f} %",
                        "-", None)
                except Exception as e:  # noqa: BLE001
                    ok = False
                    log(f"  idle benchmark with the X server failed: {e}")

        if "instr" in which:
            if not shutil.which("valgrind"):
                row(rows, "instructions per shown second", "n/a", "valgrind missing", None)
            stacks = [(" (system SDL)", "horatik-desktop", None)]
            if args.compat:
                stacks.append((" (sdl12-compat)", "horatik-desktop", {"LD_LIBRARY_PATH": args.compat}))
            stacks.append((" (console program on the host)", "horatik-gp2x", None))
            for name, program, extra in stacks if shutil.which("valgrind") else []:
                log(f"instructions per shown second{name}: callgrind over {INSTR_SPANS[0]:g} s and "
                    f"{INSTR_SPANS[1]:g} s of the idle clock")
                try:
                    r = bench_instructions(rundir, program, extra)
                    desktop = program == "horatik-desktop"
                    row(rows, f"instructions per shown second{name}", f"{r['per_frame'] / 1e6:.3f} M",
                        f"<= {TARGET_IDLE_IR / 1e6:.1f} M ({r['frames']} frames; "
                        f"{r['per_second'] / 1e6:.3f} M per second)" if desktop else
                        f"{r['frames']} frames; {r['per_second'] / 1e6:.3f} M per second",
                        r["per_frame"] <= TARGET_IDLE_IR if desktop else None)
                except Exception as e:  # noqa: BLE001
                    ok = False
                    log(f"  instruction count failed: {e}")

        if "frame" in which:
            log("frame cost: heavy (help, alarm setting, odd second, read-out) and typical "
                "(read-out only) frames whole, and typical ones where they changed")
            try:
                r = bench_frames(args, frameprog, rundir)
                for scenario, target in (("heavy", TARGET_HEAVY_IR), ("typical", TARGET_TYPICAL_IR),
                                         ("changed", None)):
                    s = r[scenario]
                    row(rows, f"{scenario} frame, time (dummy video)", f"{s['us']:.1f} us", "-", None)
                    if s["counts"]:
                        ir = median([c["total"] for c in s["counts"]])
                        u = median([c["uhrdraw"] for c in s["counts"]]) or 1
                        parts = [(label, median([c[k] for c in s["counts"]]) / u * 100)
                                 for label, k in (("window", "drawwindow"), ("hands", "Polygon"),
                                                  ("text", "text"))]
                        parts.append(("other", 100 - sum(v for _, v in parts)))
                        shares = ", ".join(f"{label} {v:.0f} %" for label, v in parts)
                        row(rows, f"{scenario} frame, instructions", f"{ir / 1e6:.3f} M",
                            f"< {target / 1e6:.1f} M" if target else "-", ir < target if target else None)
                        row(rows, "  shares of uhrdraw", shares, "-", None)
                    else:
                        row(rows, f"{scenario} frame, instructions", "n/a", "valgrind missing", None)
            except Exception as e:  # noqa: BLE001
                ok = False
                log(f"  frame benchmark failed: {e}")

        if "startup" in which:
            log(f"start-up: exec to the first presented clock face (normally the fourth present), "
                f"{args.startups} runs")
            try:
                t, phases = bench_startup(args, display, rundir, shim)
                m = median(t)
                if m is None:
                    raise RuntimeError("no run presented the face")
                row(rows, "start-up to first face", f"{m:.1f} ms", f"< {TARGET_STARTUP_MS:.0f} ms",
                    m < TARGET_STARTUP_MS)
                order = sorted(phases.items(), key=lambda kv: median(kv[1]))
                details.append("start-up milestones, ms after exec (medians): "
                               + ", ".join(f"{label} {median(v):.0f}" for label, v in order))
            except Exception as e:  # noqa: BLE001
                ok = False
                log(f"  start-up benchmark failed: {e}")

        if "latency" in which:
            sdls = [("", None)]
            if args.compat:
                # without the X connection the loop looks for input every 10 ms
                sdls = [(" (system SDL)", None),
                        (" (sdl12-compat)", {"LD_LIBRARY_PATH": args.compat}),
                        (" (sdl12-compat, no X connection)",
                         {"LD_LIBRARY_PATH": args.compat, "SDL12COMPAT_ALLOW_SYSWM": "0"})]
            for name, extra in sdls:
                log(f"key latency{name}: z (read-out on/off) to the presented frame that shows it, "
                    f"{args.repeat} x {args.presses} presses")
                try:
                    lat, poll, draw, missed = bench_latency(args, display, rundir, shim, extra)
                    m = median(lat)
                    if m is None:
                        raise RuntimeError("no press produced a frame")
                    row(rows, f"key to presented frame{name}", f"{m:.2f} ms",
                        f"< {TARGET_LATENCY_MS:.0f} ms (n={len(lat)}, max {max(lat):.1f})", m < TARGET_LATENCY_MS)
                    if poll:
                        row(rows, "  key to taken from SDL's queue", f"{median(poll):.2f} ms",
                            f"max {max(poll):.1f} ms", None)
                        row(rows, "  taken to presented frame", f"{median(draw):.2f} ms",
                            f"max {max(draw):.1f} ms", None)
                    if missed:
                        row(rows, "  presses without a toggled frame", str(missed), "-", None)
                except Exception as e:  # noqa: BLE001
                    ok = False
                    log(f"  latency benchmark failed: {e}")
        if "zoom" in which:
            sdls = [("", None, True)]
            if args.compat:
                # the program asks SDL2 for its software renderer; SDL2's default, OpenGL
                # (without a GPU, as under Xvfb, Mesa's llvmpipe), shows what that saves
                sdls = [(" (system SDL)", None, True), (" (sdl12-compat)", args.compat, True),
                        (" (sdl12-compat, SDL2 OpenGL renderer)", args.compat, False)]
            for name, libdir, idle in sdls:
                extra = {"LD_LIBRARY_PATH": libdir} if libdir else {}
                if not idle:
                    extra.update(SDL_RENDER_DRIVER="opengl", SDL_FRAMEBUFFER_ACCELERATION="1")
                log(f"zoom{name}: present time of a frame at factors 1, 2, 3 on a {ZOOM_SCREEN} display")
                try:
                    us = bench_present(args, frameprog, rundir, extra)
                    for f in (1, 2, 3):
                        row(rows, f"present at factor {f}{name}", f"{us[f] / 1000:.3f} ms", "-", None)
                    added = (us[3] - us[1]) / 1000
                    row(rows, "  added at factor 3", f"{added:.3f} ms", f"<= {TARGET_ZOOM_MS:.0f} ms",
                        added <= TARGET_ZOOM_MS)
                except Exception as e:  # noqa: BLE001
                    ok = False
                    log(f"  present benchmark failed: {e}")
                if not idle:
                    continue
                log(f"idle at factor 2{name}: horatik (Xft.dpi 192, 640x480) and xclock, "
                    f"{args.duration:.0f} s, {args.repeat} runs")
                try:
                    r = bench_zoomidle(args, rundir, libdir)
                    cn = median([x["clock"]["cpu_ns"] for x in r])
                    xn = median([x["xclock"]["cpu_ns"] for x in r])
                    row(rows, f"idle CPU at factor 2{name} (schedstat)", f"{cn:.3f} %",
                        f"xclock {xn:.3f} %", None)
                    row(rows, "  wake-ups/s", f"{median([x['clock']['wake'] for x in r]):.1f}", "-", None)
                except Exception as e:  # noqa: BLE001
                    ok = False
                    log(f"  idle benchmark at factor 2 failed: {e}")
    finally:
        procs.stopall()

    load1 = os.getloadavg()
    report(rows)
    if details:
        log("")
    for d in details:
        log(d)
    log(f"\nload average at the end {load1[0]:.2f} {load1[1]:.2f} {load1[2]:.2f}; "
        f"whole run {time.monotonic() - t_start:.0f} s")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
