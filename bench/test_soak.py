#!/usr/bin/env python3
"""Checks of the soak benchmark's own machinery: the WAV reader, the comparison of a
recording with the sound, the onset from the arrivals, the server log's underruns.

    python3 bench/test_soak.py
"""

import os
import random
import struct
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import soak  # noqa: E402

F = soak.FRAME


def sound(frames, seed=1):
    """A made-up sound of frames that are never silent."""
    rng = random.Random(seed)
    return b"".join(struct.pack("<hh", rng.randint(1, 30000), rng.randint(-30000, -1)) for _ in range(frames))


def chunk(cid, body):
    return cid + struct.pack("<I", len(body)) + body + (b"\0" if len(body) & 1 else b"")


def wav(pcm, extra=b"", tag=1, fmtlen=16):
    fmt = struct.pack("<HHIIHH", tag, 2, 44100, 44100 * 4, 4, 16)
    if fmtlen > 16:
        fmt += struct.pack("<HHIH", fmtlen - 18, 16, 3, 1) + b"\0" * (fmtlen - 26)
    body = b"WAVE" + chunk(b"fmt ", fmt) + extra + chunk(b"data", pcm)
    return b"RIFF" + struct.pack("<I", len(body)) + body


class Wav(unittest.TestCase):
    def read(self, data):
        with tempfile.NamedTemporaryFile(delete=False) as f:
            f.write(data)
        try:
            return soak.readwav(f.name)
        finally:
            os.unlink(f.name)

    def test_data_found_past_other_chunks(self):
        pcm = sound(100)
        # an odd-sized chunk before the data: padded to an even length, so no 44-byte header
        for extra in (b"", chunk(b"LIST", b"INFOISFT\x05\0\0\0hxgen"), chunk(b"junk", b"abc")):
            self.assertEqual(self.read(wav(pcm, extra)), (44100, 2, 16, pcm))
        # WAVE_FORMAT_EXTENSIBLE with PCM as its sub-format
        self.assertEqual(self.read(wav(pcm, tag=0xFFFE, fmtlen=40))[3], pcm)

    def test_refuses_what_it_cannot_compare(self):
        pcm = sound(10)
        for bad in (wav(pcm, tag=3), wav(pcm)[:-8], b"RIFF\0\0\0\0WAVE", b"not a wav at all"):
            with self.assertRaises(ValueError):
                self.read(bad)


class Compare(unittest.TestCase):
    pcm = sound(5000)
    lead = b"\0" * (300 * F)

    def test_whole_and_exact(self):
        a = soak.compare(self.lead + self.pcm + b"\0" * 400 + b"\1", self.pcm)
        self.assertEqual((a["heard"], a["whole"], a["exact"], a["start"], a["end"], a["inserted"]),
                         (True, True, True, len(self.lead), len(self.lead) + len(self.pcm), 0))

    def test_silence_put_in_is_whole_but_not_exact(self):
        p = self.pcm
        rec = self.lead + p[:1000 * F] + b"\0" * (441 * F) + p[1000 * F:3000 * F] + b"\0" * (9 * F) + p[3000 * F:]
        a = soak.compare(rec, p)
        self.assertEqual((a["whole"], a["exact"], a["inserted"]), (True, False, 450))
        # the sound's own silence is matched, not counted: only what is put in beside it
        q = p[:2000 * F] + b"\0" * (100 * F) + p[2000 * F:]
        a = soak.compare(self.lead + q[:2050 * F] + b"\0" * (20 * F) + q[2050 * F:], q)
        self.assertEqual((a["whole"], a["inserted"]), (True, 20))

    def test_faults_are_named(self):
        p = self.pcm
        cases = {
            # the first 512 frames lost, as a recording begun on a suspended sink might
            "start cut: begins 512 frames into the sound": self.lead + p[512 * F:],
            "1000 frames lost 0.05 s into the sound": self.lead + p[:2205 * F] + p[3205 * F:],
            "the recording ends 0.02 s into the sound": self.lead + p[:1000 * F],
            "silence from 0.02 s into the sound on": self.lead + p[:1000 * F] + b"\0" * (100 * F),
            "differs 0.05 s into the sound": self.lead + p[:2205 * F] + sound(50, seed=2) + p[2255 * F:],
            "the first sound is not the alarm's": self.lead + sound(100, seed=3),
        }
        for why, rec in cases.items():
            a = soak.compare(rec, p)
            self.assertTrue(a["heard"])
            self.assertFalse(a["whole"] or a["exact"], why)
            self.assertEqual(a["why"], why)
        a = soak.compare(self.lead + p + b"\0" * (44100 * F) + p[:10 * F], p)
        self.assertEqual((a["whole"], a["exact"], a["why"]), (True, False, "more sound 1.00 s after its end"))
        a = soak.compare(b"\0" * (44100 * F) + b"\0\0", p)
        self.assertEqual((a["heard"], a["why"]), (False, "silence only (1.0 s recorded)"))


class Onset(unittest.TestCase):
    def test_earliest_bound_of_the_reads(self):
        # 20 ms pieces from t = 100 s, each read 1–15 ms late but one, read 0.5 ms late
        piece = soak.BPS // 50
        rng = random.Random(4)
        arrivals = [(100 + (k + 1) * 0.02 + (0.0005 if k == 7 else rng.uniform(0.001, 0.015)),
                     (k + 1) * piece) for k in range(100)]
        for byte in (0, 3 * piece + 400, 5 * piece):
            t = soak.played_at(arrivals, byte)
            self.assertAlmostEqual(t, 100 + byte / soak.BPS + 0.0005, delta=1e-6)
        # a piece lost further on makes the later reads late: they cannot move it
        gap = arrivals[:10] + [(t + 0.5, n) for t, n in arrivals[10:]]
        self.assertAlmostEqual(soak.played_at(gap, 0), 100.0005, delta=1e-6)
        self.assertIsNone(soak.played_at(arrivals, 100 * piece))


class ServerLog(unittest.TestCase):
    LOG = b"""\
(  51.116|   0.000) D: [pulseaudio] sink.c: hx: state: IDLE -> RUNNING
(  51.117|   0.000) D: [null-sink] protocol-native.c: Requesting rewind due to end of underrun.
(  58.200|   7.083) D: [null-sink] protocol-native.c: Implicit underrun of 'Simple DirectMedia Layer'
(  58.260|   0.060) D: [null-sink] protocol-native.c: Requesting rewind due to end of underrun.
(  72.154|  13.894) D: [null-sink] protocol-native.c: Implicit drain of 'Simple DirectMedia Layer'
(  73.001|   0.847) D: [null-sink] protocol-native.c: Actual underrun of 'Simple DirectMedia Layer'
"""

    def test_underruns_of_playback_only(self):
        # the end of the stream's first underrun at its start and the drain are no underruns
        self.assertEqual(soak.underruns(self.LOG), [58.2, 73.001])
        self.assertEqual(soak.underruns(self.LOG, until=72.4), [58.2])


class Keys(unittest.TestCase):
    def test_alarm_time_the_shorter_way(self):
        self.assertEqual(soak.alarm_keys((6, 34), (6, 36)), ["x", "x"])
        self.assertEqual(soak.alarm_keys((6, 59), (7, 1)), ["w", "x", "x"])  # fields do not carry
        self.assertEqual(soak.alarm_keys((0, 1), (23, 58)), ["q", "a", "a", "a"])
        self.assertEqual(soak.alarm_keys((6, 0), (6, 0)), [])

    def test_shown_time_and_settings(self):
        offset = 86400000 + 6 * 3600
        self.assertEqual(soak.shown(1765238400 + 59, offset), (6, 0, 59))  # 2025-12-09 00:00:59 UTC
        self.assertEqual(soak.settings(offset, 0, 7, 2).hex(), "60b02605" "00" "00000000" "07000000" "02000000")


if __name__ == "__main__":
    unittest.main()
