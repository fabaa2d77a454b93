#!/usr/bin/env python3
"""Checks of the benchmark's own machinery: the shim's log and the callgrind parsing.

    HX_BUILD=/path/to/build python3 bench/test_bench.py
"""

import os
import subprocess
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench  # noqa: E402

BUILD = os.environ.get("HX_BUILD", "build")

# callgrind_annotate --inclusive=yes --tree=calling, cut down; the face's text is drawn
# both by uhrdraw itself and, for the boxes' captions, inside drawwindow.
ANNOTATE = """\
--------------------------------------------------------------------------------
10,000,000 (100.0%)  PROGRAM TOTALS

 2,000,000 (20.00%)  *  /src/clock/face.cpp:uhrdraw(twindow*)

 2,000,000 (20.00%)  *  src/clock/face.cpp:uhrdraw(twindow*) [/b/horatik-bench-frame]
   700,000 ( 7.00%)  >   /src/gui/render.cpp:drawwindow(twindow*) (10x)
   900,000 ( 9.00%)  >   /src/gfx/text.cpp:outtextxy(SDL_Surface*, int, int, char const*) (30x)
   300,000 ( 3.00%)  >   /src/gfx/draw.cpp:Polygon(int, int, int, int, int, int, unsigned short) (60x)

   700,000 ( 7.00%)  *  src/gui/render.cpp:drawwindow(twindow*) [/b/horatik-bench-frame]
   500,000 ( 5.00%)  >   src/gui/render.cpp:fillinterior(long long, long long) (20x) [/b/x]
    50,000 ( 0.50%)  >   /src/gfx/text.cpp:outtextxyklein(SDL_Surface*, int, int, char const*) (10x)

   900,000 ( 9.00%)  *  src/gfx/text.cpp:outtextxy(SDL_Surface*, int, int, char const*) [/b/x]
    50,000 ( 0.50%)  *  src/gfx/text.cpp:outtextxyklein(SDL_Surface*, int, int, char const*) [/b/x]
   300,000 ( 3.00%)  *  src/gfx/draw.cpp:Polygon(int, int, int, int, int, int, unsigned short) [/b/x]
    12,000 ( 0.12%)  *  ???:SDL_UpperBlit [/usr/lib/libSDL-1.2.so.0]
"""


class Annotate(unittest.TestCase):
    def test_parts_of_the_face(self):
        p = bench.frame_parts(ANNOTATE)
        self.assertEqual(p["total"], 10_000_000)
        self.assertEqual(p["uhrdraw"], 2_000_000)
        self.assertEqual(p["drawwindow"], 700_000)
        self.assertEqual(p["Polygon"], 300_000)
        # the captions inside drawwindow are the window's, not counted twice
        self.assertEqual(p["text"], 900_000)

    def test_names_without_files_and_objects(self):
        incl, callees = bench.parse_annotate(ANNOTATE)
        self.assertEqual(incl["SDL_UpperBlit"], 12_000)
        self.assertEqual(callees["drawwindow"], {"fillinterior": 500_000, "outtextxyklein": 50_000})


# A callgrind output file, cut down: names are given once, then by number alone.
CALLGRIND = """\
# callgrind format
events: Ir
summary: 5000

fl=(1) face.cpp
fn=(10) showwindow(twindow*)
cfn=(11) uhrdraw(twindow*)
calls=3 0
0 900
cfn=(12) uhrdrawn(int)
calls=7 0
0 10
fn=(13) tick(twindow*)
cfn=(11)
calls=2 0
0 600
cfn=(10)
calls=1 0
0 50
totals: 5000
"""


class Callgrind(unittest.TestCase):
    def test_total_and_calls_of_one_function(self):
        with tempfile.NamedTemporaryFile("w", suffix=".cg") as f:
            f.write(CALLGRIND)
            f.flush()
            # calls from every caller, by name or by number; another name that
            # begins alike is not counted
            self.assertEqual(bench.callgrind_totals(f.name, "uhrdraw("), (5000, 5))
            self.assertEqual(bench.callgrind_totals(f.name, "showwindow("), (5000, 1))


class Log(unittest.TestCase):
    def test_face_is_the_first_mostly_lit_frame(self):
        presents = [(1, 1, 1501, 6), (2, 2, 1501, 11), (3, 3, 1501, 0), (4, 4, 1165, 1169)]
        self.assertEqual(bench.face_index(presents), 3)
        self.assertIsNone(bench.face_index(presents[:3]))
        # a shim that could not read the pixels: the fourth present
        self.assertEqual(bench.face_index([(i, i, -1, -1) for i in range(5)]), 3)

    def test_torn_last_line_is_skipped(self):
        with tempfile.NamedTemporaryFile("w", delete=False) as f:
            f.write("S 100\nM 150 SDL_Init\nP 200 1 1501 6\nK 250 122\nP 300 2 15")
        try:
            marks = {}
            presents, keys, start = bench.read_log(f.name, marks)
        finally:
            os.unlink(f.name)
        self.assertEqual((presents, keys, start, marks),
                         ([(200, 1, 1501, 6)], [(250, 122)], 100, {"SDL_Init": 150}))


class Shim(unittest.TestCase):
    """The shim preloaded into the frame benchmark, which presents on SDL's dummy driver."""

    def test_logs_presents_probes_and_milestones(self):
        prog = os.path.join(BUILD, "bench", "horatik-bench-frame")
        shim = os.path.join(BUILD, "bench", "libhx_presentshim.so")
        if not (os.path.exists(prog) and os.path.exists(shim)):
            self.skipTest("build the target horatik-bench first")
        with tempfile.TemporaryDirectory() as d:
            logpath = os.path.join(d, "log")
            env = dict(os.environ, LD_PRELOAD=shim, HX_PRESENT_LOG=logpath,
                       HX_PROBE=",".join(map(str, bench.PROBE)))
            for scenario in ("typical", "heavy"):
                subprocess.run([prog, "--run", os.path.join(BUILD, "run"), "--scenario", scenario,
                                "--warmup", "2", "--frames", "1", "--repeat", "1"],
                               env=env, check=True, stdout=subprocess.DEVNULL)
            marks = {}
            presents, _, _ = bench.read_log(logpath, marks)
        self.assertEqual([n for _, n, _, _ in presents], [1, 2, 3, 1, 2, 3])
        typical, heavy = presents[0], presents[3]
        # read-out box black in the typical face; the help panel covers it white in the heavy one
        self.assertTrue(bench.readout_on(typical[2]))
        self.assertFalse(bench.readout_on(heavy[2]))
        self.assertGreater(typical[3], bench.LIT_FACE)
        self.assertTrue({"loaded", "SDL_Init", "SDL_SetVideoMode", "TTF_OpenFont", "IMG_Load"} <= set(marks))


if __name__ == "__main__":
    unittest.main()
