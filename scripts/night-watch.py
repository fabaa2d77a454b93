#!/usr/bin/python3
"""The night check's record of its virtual machine, on the host's clock. One line of
LOG for each line of the serial port as it arrives ("<time> serial <text>"), each QMP
event at the time QEMU gives it ("<time> event <NAME> <data>"), and each command
written to the FIFO and its answer ("command", "return"). In the FIFO, one a line:
a QMP command as JSON; "touch", the pointer moved and Shift tapped; "wake-after
SECONDS", every suspend answered by a system_wakeup that many seconds later and a
touch 3 s after that, as a person wakes a machine and touches it (a desktop's idle
time goes on across a sleep); "wake-after off". Ends when QEMU quits.
   night-watch.py SERIAL-SOCKET QMP-SOCKET FIFO LOG"""
import json
import os
import random
import select
import socket
import sys
import time


def connect(path):
    # QEMU makes its sockets as it starts, the serial one first: it waits for us there
    while True:
        try:
            s = socket.socket(socket.AF_UNIX)
            s.connect(path)
            return s
        except OSError:
            time.sleep(0.02)


def touch():
    """A move of the emulated tablet's pointer and a tap of Shift: as a person touches
    a machine, without a key that means anything to the clock or the desktop."""
    x, y = random.randrange(5000, 25000), random.randrange(5000, 25000)
    shift = {"type": "qcode", "data": "shift"}
    return json.dumps({"execute": "input-send-event", "arguments": {"events": [
        {"type": "abs", "data": {"axis": "x", "value": x}},
        {"type": "abs", "data": {"axis": "y", "value": y}},
        {"type": "key", "data": {"down": True, "key": shift}},
        {"type": "key", "data": {"down": False, "key": shift}}]}})


def main():
    serialpath, qmppath, fifopath, logpath = sys.argv[1:5]
    log = open(logpath, "a", buffering=1)

    def write(t, text):
        log.write(f"{t:.6f} {text}\n")

    serial = connect(serialpath)
    qmp = connect(qmppath)
    buffers = {serial: b"", qmp: b""}

    def lines(sock):
        try:
            data = sock.recv(65536)
        except OSError:  # QEMU quit
            data = b""
        if not data:
            return None
        *done, buffers[sock] = (buffers[sock] + data).split(b"\n")
        return done

    def answer():
        got = []
        while not got:
            got = lines(qmp)
            if got is None:
                sys.exit("night-watch: QEMU closed its QMP socket")
        return got

    answer()  # the greeting
    qmp.sendall(b'{"execute": "qmp_capabilities"}\n')
    answer()
    # opened for writing too, so that it never reads as ended between two writers
    fifo = os.open(fifopath, os.O_RDWR | os.O_NONBLOCK)
    commands = b""
    watched = [serial, qmp, fifo]
    wakeafter = None  # seconds, or None
    wakeat = None     # host time of the system_wakeup due, or None
    touchat = None    # host time of the pointer's move due, or None

    def command(line):
        write(time.time(), "command " + line)
        qmp.sendall(line.encode() + b"\n")

    while True:
        due = [t for t in (wakeat, touchat) if t is not None]
        timeout = max(0.0, min(due) - time.time()) if due else None
        ready, _, _ = select.select(watched, [], [], timeout)
        now = time.time()
        if wakeat is not None and now >= wakeat:
            wakeat = None
            touchat = now + 3
            command('{"execute": "system_wakeup"}')
        if touchat is not None and now >= touchat:
            touchat = None
            command(touch())
        if serial in ready:
            got = lines(serial)
            if got is None:
                watched.remove(serial)
            for line in got or []:
                write(now, "serial " + line.decode("utf-8", "replace").rstrip("\r"))
        if qmp in ready:
            got = lines(qmp)
            if got is None:
                return
            for line in got:
                msg = json.loads(line)
                if "event" in msg:
                    ts = msg["timestamp"]
                    write(ts["seconds"] + ts["microseconds"] / 1e6,
                          f"event {msg['event']} {json.dumps(msg.get('data', {}))}")
                    if msg["event"] == "SUSPEND" and wakeafter is not None:
                        wakeat = now + wakeafter
                else:
                    write(now, "return " + json.dumps(msg))
        if fifo in ready:
            commands += os.read(fifo, 4096)
            *done, commands = commands.split(b"\n")
            for line in done:
                words = line.decode().split()
                if words[:1] == ["wake-after"]:
                    wakeafter = None if words[1] == "off" else float(words[1])
                    write(now, "policy " + line.decode())
                elif words == ["touch"]:
                    command(touch())
                elif words:
                    command(line.decode())


main()
