#!/usr/bin/env python3
"""Soak benchmark: the desktop clock in real time on classic SDL 1.2 and on sdl12-compat
side by side, each with a display, a PulseAudio server and a folder of its own, its alarm
armed by keys a minute or two ahead again and again, while the sound server is killed,
stopped or away at the alarm's second, or the clock is stopped across it. Each ring is
recorded from the sink's monitor and compared with data/weck.wav sample by sample.

Run through bench/soak, which builds the program first. A missed target never fails the
run: the exit code is 0, or 1 when it could not run.
"""

import argparse
import bisect
import os
import random
import re
import shutil
import signal
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time

import bench  # its display starter and its process list

RATE = 44100
FRAME = 4                  # bytes of a frame: 16-bit stereo
BPS = RATE * FRAME         # bytes a second
PAGE = os.sysconf("SC_PAGE_SIZE")

SAMPLE_EVERY = 30.0        # s between /proc samples
RECORD_AHEAD = 4.0         # s of recording before the ring is due
HEAR_WITHIN = 22.0         # s after the ring's reference to the first sound: the clock
                           # tries to open a device for as long as the sound lasts
CUT_AFTER = 3.0            # s into a ring at which the server is killed in the "cut" case

TARGET_ONSET = 0.25        # s after the alarm's second
TARGET_ONSET_LATE = 1.5    # s after the resume, or after the server's return

# the kinds of fault drawn between rings; "aftercut" (the server killed into the ring
# before) is planned apart
KINDS = ("none", "kill", "term", "down", "stop")
# what a ring's onset is measured from, by the fault before it
REFERENCE = {"stop": "resume", "down": "return"}

UNDERRUN = re.compile(rb"^\(\s*([\d.]+)\|[^)]*\) D: .*(?:Implicit|Actual) underrun of '", re.M)
NONZERO = re.compile(rb"[^\x00]")


def log(msg=""):
    with printing:
        print(msg, flush=True)


printing = threading.Lock()


class Stopped(Exception):
    """The run is being ended (Ctrl-C, the time limit)."""


# ---------------------------------------------------------------- the sound

def readwav(path):
    """(rate, channels, bits, samples) of a PCM WAV file, found by walking its RIFF chunks."""
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 12 or data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise ValueError(f"{path}: not a RIFF WAVE file")
    fmt = pcm = None
    pos = 12
    while pos + 8 <= len(data):
        cid = data[pos:pos + 4]
        size = int.from_bytes(data[pos + 4:pos + 8], "little")
        body = data[pos + 8:pos + 8 + size]
        if len(body) < size:
            raise ValueError(f"{path}: chunk {cid!r} is cut short")
        if cid == b"fmt ":
            fmt = body
        elif cid == b"data" and pcm is None:
            pcm = body
        pos += 8 + size + (size & 1)  # chunks are padded to an even length
    if fmt is None or len(fmt) < 16 or pcm is None:
        raise ValueError(f"{path}: no fmt or data chunk")
    tag, channels, rate = struct.unpack_from("<HHI", fmt)
    bits = struct.unpack_from("<H", fmt, 14)[0]
    if tag == 0xFFFE and len(fmt) >= 26:  # WAVE_FORMAT_EXTENSIBLE: the sub-format's tag
        tag = struct.unpack_from("<H", fmt, 24)[0]
    if tag != 1:
        raise ValueError(f"{path}: not PCM (format {tag:#x})")
    return rate, channels, bits, pcm


def first_sound(buf, pos=0):
    """Byte offset of the first frame at or after pos (a frame's start) that is not silent."""
    m = NONZERO.search(buf, pos)
    return None if m is None else m.start() // FRAME * FRAME


def common(a, i, b, j):
    """How many bytes a[i:] and b[j:] agree in from their start (slices compare in C)."""
    n = min(len(a) - i, len(b) - j)
    k = 0
    while k < n:
        c = min(65536, n - k)
        if a[i + k:i + k + c] == b[j + k:j + k + c]:
            k += c
            continue
        lo, hi = 0, c  # the first lo bytes agree, the first hi do not
        while hi - lo > 1:
            mid = (lo + hi) // 2
            if a[i + k:i + k + mid] == b[j + k:j + k + mid]:
                lo = mid
            else:
                hi = mid
        return k + lo
    return n


def compare(rec, pcm):
    """What a recording holds of the sound pcm, frame by frame from the sound's first
    sounding frame (a start cut short fails). A silent frame where the sound has another
    is one the server played while the stream ran dry: passed over and counted.
    heard: any sound; start, end: bytes of rec where the sound begins and after it ends;
    whole: every frame of pcm in order; exact: whole, nothing put in, nothing after it;
    inserted: silent frames put in; why: what is wrong, or ''."""
    rec = rec[:len(rec) // FRAME * FRAME]
    res = {"heard": False, "start": None, "end": None, "whole": False, "exact": False,
           "inserted": 0, "why": ""}
    r = first_sound(rec)
    if r is None:
        res["why"] = f"silence only ({len(rec) / BPS:.1f} s recorded)"
        return res
    p = first_sound(pcm) or 0
    last = -(-len(pcm.rstrip(b"\0")) // FRAME) * FRAME
    res.update(heard=True, start=r)
    if rec[r:r + FRAME] != pcm[p:p + FRAME]:
        at = pcm.find(rec[r:r + 256])
        res["why"] = (f"start cut: begins {(at - p) // FRAME} frames into the sound" if at > p
                      else "the first sound is not the alarm's")
        return res
    inserted = 0
    while True:
        n = common(rec, r, pcm, p) // FRAME * FRAME
        r, p = r + n, p + n
        if p >= last:
            res.update(whole=True, end=r)
            break
        if r + FRAME > len(rec):
            res["why"] = f"the recording ends {p / BPS:.2f} s into the sound"
            break
        if rec[r:r + FRAME] == b"\0" * FRAME:
            nxt = first_sound(rec, r)
            if nxt is None:
                res["why"] = f"silence from {p / BPS:.2f} s into the sound on"
                break
            inserted += (nxt - r) // FRAME
            r = nxt
            continue
        at = pcm.find(rec[r:r + 256], p)
        res["why"] = (f"{(at - p) // FRAME} frames lost {p / BPS:.2f} s into the sound" if at > p
                      else f"differs {p / BPS:.2f} s into the sound")
        break
    res["inserted"] = inserted
    if res["whole"]:
        more = first_sound(rec, r)
        res["exact"] = inserted == 0 and more is None
        if more is not None:
            res["why"] = f"more sound {(more - r) / BPS:.2f} s after its end"
    return res


def played_at(arrivals, byte, window=0.5):
    """Wall-clock time at which the sink played byte of a recording, from the arrivals
    (time, bytes received by then): each arrival in the next window seconds of sound
    bounds it by its time less the sound after the byte; the earliest bound is the
    read that waited least. None before that byte arrived."""
    ends = [total for _, total in arrivals]
    i = bisect.bisect_right(ends, byte)
    best = None
    for t, total in arrivals[i:]:
        after = (total - byte) / BPS
        if best is not None and after > window:
            break
        best = t - after if best is None else min(best, t - after)
    return best


def underruns(text, since=None, until=None):
    """Times (the server's seconds since its start) of the playback underruns a server's
    debug log shows, within [since, until] when given."""
    out = []
    for m in UNDERRUN.finditer(text):
        t = float(m.group(1))
        if (since is None or t >= since) and (until is None or t <= until):
            out.append(t)
    return out


def alarm_keys(have, want):
    """The keys that take the alarm time from have to want, (hour, minute) each, the
    shorter way round; the alarm's fields wrap on their own."""
    dh = (want[0] - have[0]) % 24
    dm = (want[1] - have[1]) % 60
    keys = ["w"] * dh if dh <= 12 else ["q"] * (24 - dh)
    keys += ["x"] * dm if dm <= 30 else ["a"] * (60 - dm)
    return keys


def settings(offset, hour, minute, state):
    """The 17 bytes of Horatik.dat, the help panel hidden."""
    return struct.pack("<iBiii", offset, 0, hour, minute, state)


def shown(wall, offset):
    """(hour, minute, second) the clock shows at that wall-clock second."""
    s = (wall + offset) % 86400
    return s // 3600, s // 60 % 60, s % 60


# ---------------------------------------------------------------- processes

procs = bench.Procs(new_session=True, timeout=5.0)
ending = threading.Event()


def wait_until(t):
    """Sleeps until wall-clock time t; Stopped when the run is being ended."""
    while True:
        left = t - time.time()
        if ending.is_set():
            raise Stopped()
        if left <= 0:
            return
        ending.wait(min(left, 0.5))


def run(argv, env, timeout=10.0):
    """Output of a short command, or None when it failed."""
    try:
        r = subprocess.run(argv, env=env, capture_output=True, text=True, timeout=timeout)
    except (subprocess.TimeoutExpired, OSError):
        return None
    return r.stdout if r.returncode == 0 else None


def clean_env(**extra):
    env = {k: v for k, v in os.environ.items()
           if not k.startswith("SDL_") and k not in ("DISPLAY", "PULSE_SERVER", "LD_PRELOAD", "FAKETIME",
                                                     "XDG_RUNTIME_DIR", "LD_LIBRARY_PATH")}
    # a bus in extra takes its place: SDL2 would start one of its own
    env.setdefault("DBUS_SESSION_BUS_ADDRESS", "disabled:")
    env.update(extra)
    return env


# ---------------------------------------------------------------- one clock and its world

class Recording:
    """What a sink plays, from its monitor, with the wall-clock time each piece arrived."""

    def __init__(self, env):
        self.lock = threading.Lock()
        self.data = bytearray()
        self.arrivals = []  # (time, bytes by then)
        self.began = time.time()
        self.p = procs.start(["parec", "--device=hx.monitor", "--raw", "--format=s16le", f"--rate={RATE}",
                              "--channels=2", "--latency-msec=20"], env=env, stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL)
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()
        self.seen = 0  # bytes searched for sound so far

    def _read(self):
        fd = self.p.stdout.fileno()
        while True:
            b = os.read(fd, 65536)
            t = time.time()
            if not b:
                break
            with self.lock:
                self.data += b
                self.arrivals.append((t, len(self.data)))

    def sound(self):
        """Byte of the first sounding frame so far, or None."""
        with self.lock:
            base = self.seen
            fresh = bytes(self.data[base:])
        at = first_sound(fresh)
        if at is None:
            self.seen = base + len(fresh) // FRAME * FRAME
            return None
        return base + at

    def tail_silent(self, seconds):
        with self.lock:
            n = int(seconds * RATE) * FRAME
            return len(self.data) >= n and first_sound(bytes(self.data[-n:])) is None

    def alive(self):
        return self.p.poll() is None

    def stop(self):
        procs.stop(self.p)
        self.reader.join(5)
        with self.lock:
            return bytes(self.data), list(self.arrivals)


class Rig:
    """One clock with its display, sound server and folder."""

    def __init__(self, name, libdir, rundir, base, out):
        self.name, self.libdir, self.out = name, libdir, out
        self.dir = os.path.join(base, name)
        shutil.copytree(os.path.join(rundir), self.dir)
        self.dat = os.path.join(self.dir, "Horatik.dat")
        self.pulsedir = os.path.join(base, name + "-pulse")
        os.makedirs(self.pulsedir, mode=0o700)
        os.chmod(self.pulsedir, 0o700)
        self.serverlog = os.path.join(out, f"{name}-pulseaudio.log")
        self.stderr = os.path.join(out, f"{name}-stderr.txt")
        self.penv = clean_env(XDG_RUNTIME_DIR=self.pulsedir)
        self.xvfb = self.server = self.clock = None
        self.server_t0 = 0.0   # wall-clock time the running server was started
        self.display = None
        self.where = (0, 0, 320, 240)
        self.offset = 0
        self.alarm = (0, 0)    # the clock's alarm time in memory, as far as we know
        self.samples = []      # /proc every SAMPLE_EVERY s: (time, rss, hwm, fds, threads)
        self.rows = []
        self.error = None
        self.sdl = ""

    # the sound server

    def start_server(self):
        """Starts the server, its sink resting a second after its last stream; the
        wall-clock time it answered."""
        with open(self.serverlog, "ab") as logf:
            self.server_t0 = time.time()
            self.server = procs.start(["bash", bench.SERVICES, "start", "pulse", self.pulsedir, "idle", "log"],
                                      env=self.penv, stdout=subprocess.DEVNULL, stderr=logf)
        if bench.service_ready(self.server, "pulse", self.pulsedir):
            return time.time()
        raise RuntimeError(f"{self.name}: pulseaudio did not start (see {self.serverlog})")

    def end_server(self, sig):
        procs.stop(self.server, sig)

    def logsize(self):
        try:
            return os.path.getsize(self.serverlog)
        except OSError:
            return 0

    def pactl(self, *args):
        return run(["pactl"] + list(args), self.penv, timeout=5)

    def streams(self):
        out = self.pactl("list", "sink-inputs", "short")
        return None if out is None else len(out.splitlines())

    def sinkstate(self):
        out = self.pactl("list", "sinks", "short")
        return out.split()[-1] if out and out.split() else None

    # the clock

    def env(self):
        env = clean_env(DISPLAY=self.display, XDG_RUNTIME_DIR=self.pulsedir, TZ="UTC")
        if self.libdir:
            env["LD_LIBRARY_PATH"] = self.libdir
        return env

    def which_sdl(self):
        out = run(["ldd", os.path.join(self.dir, "horatik-desktop")], self.env()) or ""
        m = re.search(r"libSDL-1\.2\.so\.0 => (\S+)", out)
        return os.path.realpath(m.group(1)) if m else "?"

    def start_clock(self, offset, hour, minute):
        self.offset = offset
        self.alarm = (hour, minute)
        with open(self.dat, "wb") as f:
            f.write(settings(offset, hour, minute, 0))
        with open(self.stderr, "ab") as err:
            self.clock = procs.start([os.path.join(self.dir, "horatik-desktop")], cwd=self.dir,
                                     env=self.env(), stdout=subprocess.DEVNULL, stderr=err)
        deadline = time.time() + 20
        while time.time() < deadline and self.clock.poll() is None:
            w = self.window()
            if w:
                self.where = w
                break
            time.sleep(0.2)
        else:
            raise RuntimeError(f"{self.name}: no clock window (exit code {self.clock.poll()})")
        # start-up opens the device and closes it within two seconds of the face
        deadline = time.time() + 8
        while time.time() < deadline and self.streams() != 0:
            time.sleep(0.2)

    def window(self):
        out = run(["xwininfo", "-root", "-tree"], clean_env(DISPLAY=self.display)) or ""
        m = re.search(r'\("horatik-desktop" "horatik-desktop"\)\s+(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+)',
                      out)
        return (int(m.group(3)), int(m.group(4)), int(m.group(1)), int(m.group(2))) if m else None

    def press(self, keys):
        """Each key held 80 ms, with the pointer over the window (keys go to it only then)."""
        x, y, w, h = self.where
        args = ["xdotool", "mousemove", str(x + w // 2), str(y + h // 2), "sleep", "0.05"]
        for k in keys:
            args += ["keydown", k, "sleep", "0.08", "keyup", k, "sleep", "0.1"]
        run(args, clean_env(DISPLAY=self.display), timeout=30)

    def saved(self):
        try:
            with open(self.dat, "rb") as f:
                d = f.read()
            return struct.unpack("<iBiii", d)[2:] if len(d) == 17 else None
        except OSError:
            return None

    def arm(self, hour, minute):
        """The alarm armed by keys: s, the hour, the minute, s; read back from the file."""
        for _ in range(3):
            self.press(["s"] + alarm_keys(self.alarm, (hour, minute)) + ["s"])
            deadline = time.time() + 1.5
            while time.time() < deadline:
                if self.saved() == (hour, minute, 2):
                    self.alarm = (hour, minute)
                    return True
                time.sleep(0.05)
            # unsure where it stands: x (read-out) saves and ends a setting under way
            self.press(["z"])
            time.sleep(0.3)
            s = self.saved()
            if s and s[2] == 2:
                self.press(["s"])
            self.press(["z"])
            time.sleep(0.3)
            s = self.saved()
            if s:
                self.alarm = (s[0], s[1])
        return False

    def sample(self):
        """VmRSS, VmHWM (KiB), open descriptors and threads of the clock, or None."""
        pid = self.clock.pid
        try:
            st = {}
            with open(f"/proc/{pid}/status") as f:
                for line in f:
                    k, _, v = line.partition(":")
                    st[k] = v.split()
            fds = len(os.listdir(f"/proc/{pid}/fd"))
            return (time.time(), int(st["VmRSS"][0]), int(st["VmHWM"][0]), fds, int(st["Threads"][0]))
        except (OSError, KeyError, ValueError, IndexError):
            return None

    def descriptors(self):
        """What the clock's descriptors lead to, sockets and pipes without their numbers."""
        out = []
        d = f"/proc/{self.clock.pid}/fd"
        try:
            for fd in os.listdir(d):
                try:
                    out.append(re.sub(r":\[\d+\]$", "", os.readlink(os.path.join(d, fd))))
                except OSError:
                    pass
        except OSError:
            pass
        return sorted(out)

    def clock_alive(self):
        return self.clock is not None and self.clock.poll() is None


# ---------------------------------------------------------------- the rings

def loadavg():
    return os.getloadavg()[0]


def next_minute(t):
    return (int(t) // 60 + 1) * 60


class Plan:
    """The faults of one clock's run, seeded: a shuffled deck of KINDS, drawn again when
    empty, so that each kind comes about as often; ring 0 has none (the baseline)."""

    def __init__(self, rng, kinds=KINDS):
        self.rng, self.kinds = rng, kinds
        self.deck = []

    def draw(self, index):
        if index == 0:
            return "none"
        if not self.deck:
            self.deck = list(self.kinds)
            self.rng.shuffle(self.deck)
        return self.deck.pop()


def soak(rig, args, pcm, t_end, seed):
    rng = random.Random(f"{seed}-{rig.name}")
    plan = Plan(rng, args.faults)
    cycle = 100.0 if args.short else 165.0  # s a ring takes, on average
    est = max(3, int((t_end - time.time()) / cycle))
    cut_at = rng.randint(max(1, est // 2), max(1, est - 2))
    cut_done = False
    after_cut = False
    sound_s = len(pcm) / BPS
    i = 0
    while not ending.is_set():
        if not rig.clock_alive():
            log(f"{rig.name}: the clock ended with exit code {rig.clock.poll()}; no more rings")
            break
        now = time.time()
        kind = "aftercut" if after_cut else plan.draw(i)
        lead = 40 if args.short else 60 + rng.choice((0, 60))
        alarm = next_minute(now + lead - 1)
        # the longest a ring can take from its alarm to the next one's
        span = sound_s + 15 + (40 if args.short else 120) + 60
        # a ring cut into needs the one after it, which shows what the cut did
        cut = (not cut_done and not after_cut and i >= 1 and alarm + span + sound_s + 15 <= t_end
               and (i >= cut_at or alarm + 2 * span + sound_s + 15 > t_end))
        if cut:
            kind = "none"
            row_label = "none, cut"
        else:
            row_label = kind
        stop_for = (30 if args.short else rng.uniform(30, 90)) if kind == "stop" else 0
        stop_lead = rng.uniform(5, 20)
        if alarm + stop_for + sound_s + 15 > t_end:
            break
        h, m, _ = shown(alarm, rig.offset)
        if not rig.arm(h, m):
            log(f"{rig.name}: could not arm the alarm for {h:02d}:{m:02d} by keys; no more rings")
            rig.error = "alarm not armed by keys"
            break
        row = {"sdl": rig.name, "ring": i + 1, "alarm": alarm, "fault": kind, "label": row_label,
               "cut": cut, "from": REFERENCE.get(kind, "second"), "load": loadavg()}
        err0 = os.path.getsize(rig.stderr)

        # the fault before the ring
        ref = alarm
        if kind in ("kill", "term"):
            wait_until(rng.uniform(time.time() + 2, alarm - 15))
            rig.end_server(signal.SIGKILL if kind == "kill" else signal.SIGTERM)
            wait_until(time.time() + rng.uniform(0.2, 2.0))
            rig.start_server()
        elif kind == "down":
            back = rng.randint(3, 8)
            row["label"] = f"down {back}s"
            wait_until(alarm - rng.uniform(1.5, 3.0))
            rig.end_server(signal.SIGKILL)
            wait_until(alarm + back)
        elif kind == "stop":
            row["label"] = f"stop {stop_for:.0f}s"
            wait_until(alarm - stop_lead)
            os.kill(rig.clock.pid, signal.SIGSTOP)
            ref = alarm - stop_lead + stop_for
        elif kind == "aftercut":
            row["label"] = "after cut"

        # the recording, a few seconds ahead (from a sink suspended until then)
        if kind == "down":
            ref = rig.start_server()
            rec = Recording(rig.penv)
        else:
            wait_until(ref - RECORD_AHEAD)
            rec = Recording(rig.penv)
        log0, t0 = rig.logsize(), rig.server_t0
        if kind == "stop":
            wait_until(ref)
            os.kill(rig.clock.pid, signal.SIGCONT)
            ref = time.time()
        row["ref"] = ref

        # the sound
        start = None
        killed_log = killed_at = None
        while time.time() < ref + HEAR_WITHIN and start is None and rec.alive():
            start = rec.sound()
            if start is None:
                wait_until(time.time() + 0.05)
        if start is not None:
            with rec.lock:
                began = played_at(rec.arrivals, start) or time.time()
            if cut:
                wait_until(began + CUT_AFTER)
                killed_log = rig.logsize()
                killed_at = time.time()
                rig.end_server(signal.SIGKILL)
                rig.start_server()
                # the clock's device thinks it plays on: look at it once the sound is over
                wait_until(began + sound_s + 3)
            else:
                until = began + sound_s + 8
                while time.time() < until and rec.alive():
                    if time.time() > began + sound_s + 1.0 and rec.tail_silent(0.8):
                        break
                    wait_until(time.time() + 0.2)
        data, arrivals = rec.stop()
        a = compare(data, pcm)
        row.update(a)
        row["onset"] = None
        sound_end = ref + HEAR_WITHIN
        if a["heard"]:
            played = played_at(arrivals, a["start"])
            row["onset"] = played - (first_sound(pcm) or 0) / BPS - ref
            if killed_at:
                sound_end = played + sound_s
            elif a["end"] is not None:
                sound_end = played_at(arrivals, a["end"] - FRAME) or sound_end
            else:
                sound_end = played + sound_s
        if not a["exact"] and not cut:
            path = os.path.join(rig.out, f"{rig.name}-ring{i + 1}.raw")
            with open(path, "wb") as f:
                f.write(data)
            row["kept"] = path

        # the server's underruns while the sound played
        with open(rig.serverlog, "rb") as f:
            f.seek(log0)
            text = f.read((killed_log or rig.logsize()) - log0)
        row["underruns"] = len(underruns(text, until=sound_end + 0.25 - t0))

        # no stream left, and the sink at rest
        gone = None
        deadline = max(time.time(), sound_end) + 5
        while True:
            n = rig.streams()
            if n == 0:
                gone = time.time() - sound_end
                break
            if time.time() > deadline:
                break
            wait_until(time.time() + 0.25)
        row["gone"] = gone
        row["streams"] = n
        state = None
        deadline = time.time() + 6
        while time.time() < deadline:
            state = rig.sinkstate()
            if state == "SUSPENDED":
                break
            wait_until(time.time() + 0.25)
        row["suspended"] = state == "SUSPENDED"
        row["sinkstate"] = state
        row["proc"] = rig.sample()
        row["fdlist"] = rig.descriptors()
        with open(rig.stderr, "rb") as f:
            f.seek(err0)
            row["stderr"] = f.read().decode(errors="replace").strip()
        rig.rows.append(row)
        log(format_row(row))
        if cut:
            cut_done = True
        after_cut = cut
        i += 1


def sampler(rigs):
    while not ending.is_set():
        for rig in rigs:
            if rig.clock_alive():
                s = rig.sample()
                if s:
                    rig.samples.append(s + (loadavg(),))
        ending.wait(SAMPLE_EVERY)


# ---------------------------------------------------------------- report

COLUMNS = (("sdl", 7), ("#", 2), ("alarm", 8), ("fault", 10), ("heard", 5), ("onset ms", 8), ("from", 6),
           ("whole", 5), ("exact", 5), ("ins ms", 6), ("underrun", 8), ("stream", 7), ("susp", 4),
           ("load", 4), ("", 0))


def yesno(v):
    return "yes" if v else "no"


def format_row(r):
    if r["cut"]:
        whole = exact = "cut"
    else:
        whole, exact = yesno(r["whole"]), yesno(r["exact"])
    stream = (f"{r['gone']:.1f}s" if r["gone"] is not None
              else ("open" if r["streams"] else "?"))
    notes = []
    if r["cut"]:
        notes.append(f"server killed {CUT_AFTER:.0f} s into this ring (planned)")
    if r["why"]:
        notes.append(r["why"])
    if not r["suspended"]:
        notes.append(f"sink {r['sinkstate']}")
    if r["stderr"]:
        notes.append("stderr: " + " | ".join(r["stderr"].splitlines())[:120])
    cells = (r["sdl"], str(r["ring"]), time.strftime("%H:%M:%S", time.gmtime(r["alarm"])), r["label"],
             yesno(r["heard"]), "-" if r["onset"] is None else f"{r['onset'] * 1000:.0f}", r["from"],
             whole, exact, f"{r['inserted'] / RATE * 1000:.0f}", yesno(r["underruns"]) +
             (f" ({r['underruns']})" if r["underruns"] else ""), stream, yesno(r["suspended"]),
             f"{r['load']:.1f}", "; ".join(notes))
    return "  ".join(c.ljust(w) for c, (_, w) in zip(cells, COLUMNS)).rstrip()


def header():
    return "  ".join(n.ljust(w) for n, w in COLUMNS).rstrip()


def mib(kib):
    return f"{kib / 1024:.2f} MiB"


def slope(xs, ys):
    if len(xs) < 2:
        return 0.0
    mx, my = statistics.mean(xs), statistics.mean(ys)
    den = sum((x - mx) ** 2 for x in xs)
    return sum((x - mx) * (y - my) for x, y in zip(xs, ys)) / den if den else 0.0


def summary(rig):
    """Lines of one clock's summary and whether it met every target."""
    rows = rig.rows
    out = [f"{rig.name} ({rig.sdl}): {len(rows)} rings"]
    if not rows:
        return out + ["  no ring"], False
    judged = [r for r in rows if not r["cut"]]
    heard = sum(r["heard"] for r in rows)
    whole = sum(r["whole"] for r in judged)
    exact = sum(r["exact"] for r in judged)
    under = sum(r["underruns"] for r in judged)
    under_rings = sum(1 for r in judged if r["underruns"])
    ins = sum(r["inserted"] for r in judged) / RATE * 1000
    cutn = len(rows) - len(judged)
    out.append(f"  heard {heard}/{len(rows)}, whole {whole}/{len(judged)}, sample-exact {exact}/{len(judged)}"
               + (f" ({cutn} cut by plan not judged)" if cutn else "")
               + f"; underruns {under} in {under_rings} rings; silence inserted {ins:.0f} ms in all")
    kinds = []
    for kind in KINDS + ("aftercut",):
        on = [r["onset"] * 1000 for r in rows if r["fault"] == kind and r["onset"] is not None]
        n = sum(1 for r in rows if r["fault"] == kind)
        if n:
            ref = REFERENCE.get(kind, "second")
            kinds.append(f"{kind} ({n}, from the {ref}): " + (
                f"{min(on):.0f} / {statistics.median(on):.0f} / {max(on):.0f}" if on else "none heard"))
    out.append("  onset ms min / median / max by fault: " + "; ".join(kinds))
    open_ = sum(1 for r in rows if r["gone"] is None)
    awake = sum(1 for r in rows if not r["suspended"])
    out.append(f"  streams left on the server after the sound: {open_} rings; sink not suspended after: "
               f"{awake} rings")
    s = rig.samples
    if s:
        f, l = s[0], s[-1]
        out.append(f"  every {SAMPLE_EVERY:.0f} s ({len(s)} samples), first -> last: VmRSS {mib(f[1])} -> {mib(l[1])}, "
                   f"VmHWM {mib(f[2])} -> {mib(l[2])}, descriptors {f[3]} -> {l[3]}, threads {f[4]} -> {l[4]}")
    post = [(r["ring"], r["proc"]) for r in rows if r["proc"]]
    mem_ok = False
    if post:
        (n0, b), (n1, e) = post[0], post[-1]
        per = slope([n for n, _ in post], [p[1] for _, p in post])
        out.append(f"  after ring {n0} -> after ring {n1}: VmRSS {mib(b[1])} -> {mib(e[1])} "
                   f"({e[1] - b[1]:+d} KiB, {per:+.1f} KiB a ring), VmHWM {mib(b[2])} -> {mib(e[2])}, "
                   f"descriptors {b[3]} -> {e[3]}, threads {b[4]} -> {e[4]}")
        mem_ok = abs(e[1] - b[1]) * 1024 <= PAGE and e[3] == b[3] and e[4] == b[4]
        first = [r for r in rows if r["proc"]]
        added = list(first[-1]["fdlist"])
        for f in first[0]["fdlist"]:
            if f in added:
                added.remove(f)
        if added:
            out.append(f"  descriptors open after ring {n1} that were not after ring {n0}: " + ", ".join(added))
            grew = [r["ring"] for a, r in zip(first, first[1:]) if r["proc"][3] > a["proc"][3]]
            out.append("  descriptors grew after rings " + ", ".join(map(str, grew)) + " ("
                       + ", ".join(next(x["label"] for x in rows if x["ring"] == g) for g in grew) + ")")
    def late(r):
        limit = TARGET_ONSET_LATE if r["from"] != "second" else TARGET_ONSET
        return r["onset"] is None or r["onset"] > limit or r["onset"] < -0.03
    misses = []
    if heard < len(rows):
        misses.append(f"{len(rows) - heard} not heard")
    if whole < len(judged) or exact < len(judged):
        misses.append(f"{len(judged) - exact} not whole and sample-exact")
    if under:
        misses.append(f"{under} underruns")
    n_late = sum(1 for r in rows if r["heard"] and late(r))
    if n_late:
        misses.append(f"{n_late} late")
    if open_:
        misses.append(f"{open_} streams left open")
    if awake:
        misses.append(f"{awake} times not suspended")
    if not mem_ok:
        misses.append("memory, descriptors or threads not as after the first ring")
    if rig.error:
        misses.append(rig.error)
    ok = not misses
    out.append(f"  {'PASS' if ok else 'FAIL'}: " + ("every ring heard whole and sample-exact, no underrun, "
               f"onset within {TARGET_ONSET * 1000:.0f} ms ({TARGET_ONSET_LATE:.1f} s after a resume or the "
               "server's return), nothing left open, memory, descriptors and threads flat"
               if ok else "; ".join(misses)))
    return out, ok


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", required=True, help="build folder (holds run/)")
    ap.add_argument("--compat", required=True, help="folder of sdl12-compat's libSDL-1.2.so.0")
    ap.add_argument("--minutes", type=float, default=None, help="length of the run (40; 8 with --short)")
    ap.add_argument("--short", action="store_true",
                    help="a quick try: 8 minutes, alarms 40 s ahead, stops of 30 s")
    ap.add_argument("--faults", default=",".join(KINDS),
                    help="the kinds of fault drawn between rings, some of " + ",".join(KINDS) + " (all)")
    ap.add_argument("--seed", type=int, default=None, help="seed of the faults (printed; random by default)")
    ap.add_argument("--out", default=None, help="folder for the servers' logs, the clocks' standard error "
                    "and the recordings of rings not sample-exact (BUILD/soak)")
    args = ap.parse_args()
    args.faults = tuple(k for k in args.faults.split(",") if k)
    if not args.faults or set(args.faults) - set(KINDS):
        ap.error("--faults: some of " + ",".join(KINDS))
    minutes = args.minutes if args.minutes is not None else (8.0 if args.short else 40.0)
    seed = args.seed if args.seed is not None else random.SystemRandom().randrange(1 << 31)

    build = os.path.abspath(args.build)
    rundir = os.path.join(build, "run")
    wav = os.path.join(rundir, "data", "weck.wav")
    for tool in ("Xvfb", "pulseaudio", "pactl", "parec", "xdotool", "xwininfo", "ldd"):
        if not shutil.which(tool):
            log(f"missing {tool} (scripts/deps.sh test installs it)")
            return 1
    if not os.path.exists(os.path.join(rundir, "horatik-desktop")):
        log(f"missing {rundir}/horatik-desktop: build it first")
        return 1
    try:
        rate, channels, bits, pcm = readwav(wav)
    except (OSError, ValueError) as e:
        log(f"cannot read the alarm sound: {e}")
        return 1
    if (rate, channels, bits) != (RATE, 2, 16):
        log(f"{wav} is {rate} Hz, {channels} channels, {bits} bits: the recording is 44.1 kHz 16-bit stereo")
        return 1

    out = os.path.abspath(args.out or os.path.join(build, "soak"))
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    base = tempfile.mkdtemp(prefix="hxsoak")
    rigs = [Rig("classic", None, rundir, base, out), Rig("compat", args.compat, rundir, base, out)]

    def interrupted(signum, frame):
        raise KeyboardInterrupt()
    signal.signal(signal.SIGTERM, interrupted)
    signal.signal(signal.SIGHUP, interrupted)

    t_start = time.time()
    t_end = t_start + minutes * 60
    t_limit = t_end + 300  # the time limit: whatever still runs then is ended
    with open("/proc/stat") as f:
        busy0 = [int(x) for x in f.readline().split()[1:]]
    load0 = os.getloadavg()
    code = 0
    interrupted_run = False
    workers = []
    try:
        log(f"horatik soak: {minutes:g} minutes, seed {seed}, {os.cpu_count()} cores, load average "
            f"{load0[0]:.2f} {load0[1]:.2f} {load0[2]:.2f}; logs in {out}")
        ver = (run(["pulseaudio", "--version"], os.environ) or "").strip()
        for rig in rigs:
            rig.xvfb, rig.display = bench.start_xvfb(started=procs)
            rig.start_server()
            rig.sdl = rig.which_sdl()
            log(f"  {rig.name}: {rig.sdl}, Xvfb {rig.display}, {ver}, folder {rig.dir}")
        if "libSDL-1.2.so.0." not in rigs[0].sdl or rigs[1].sdl == rigs[0].sdl:
            log("  warning: the clocks do not load classic SDL and sdl12-compat as meant")
        # the shown time: the wall clock's minute and second, the hour 06 at the start
        for rig in rigs:
            now = int(time.time())
            offset = ((6 * 3600 - now // 3600 % 24 * 3600) % 86400) + 86400 * 1000
            h, m, _ = shown(now, offset)
            rig.start_clock(offset, h, m)
            log(f"  {rig.name}: clock {rig.clock.pid} in a {rig.where[2]}x{rig.where[3]} window, showing "
                f"{h:02d}:{m:02d}")
        log("")
        log(header())
        th = threading.Thread(target=sampler, args=(rigs,), daemon=True)
        th.start()
        for rig in rigs:
            def work(rig=rig):
                try:
                    soak(rig, args, pcm, t_end, seed)
                except Stopped:
                    pass
                except Exception as e:  # noqa: BLE001 - the other clock goes on
                    rig.error = f"stopped by an error: {e}"
                    log(f"{rig.name}: {rig.error}")
            t = threading.Thread(target=work, daemon=True)
            t.start()
            workers.append(t)
        while any(t.is_alive() for t in workers):
            if time.time() > t_limit:
                log("time limit reached: ending the run")
                break
            for t in workers:
                t.join(1.0)
    except KeyboardInterrupt:
        interrupted_run = True
        log("interrupted: ending every process started")
    except Exception as e:  # noqa: BLE001
        log(f"could not run: {e}")
        code = 1
    finally:
        ending.set()
        for t in workers:
            t.join(10)
        procs.stopall()
        shutil.rmtree(base, ignore_errors=True)

    with open("/proc/stat") as f:
        busy1 = [int(x) for x in f.readline().split()[1:]]
    d = [b - a for a, b in zip(busy0, busy1)]
    busy = (sum(d) - d[3] - d[4]) / max(1, sum(d)) * 100 * (os.cpu_count() or 1)
    load1 = os.getloadavg()
    loads = [r["load"] for rig in rigs for r in rig.rows]
    log("")
    log(header())
    for rig in rigs:
        for r in rig.rows:
            log(format_row(r))
    log("")
    for rig in rigs:
        lines, _ = summary(rig)
        for line in lines:
            log(line)
        if rig.error and "stopped by an error" in rig.error:
            code = 1
    log(f"load average at the start {load0[0]:.2f}, at the rings {min(loads, default=0):.2f}–"
        f"{max(loads, default=0):.2f}, at the end {load1[0]:.2f}; machine busy {busy:.0f} % of one core "
        f"(all processes); whole run {time.time() - t_start:.0f} s; seed {seed}")
    if interrupted_run:
        return 130
    return code


if __name__ == "__main__":
    sys.exit(main())
