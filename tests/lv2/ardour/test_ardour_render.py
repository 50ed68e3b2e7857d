#!/usr/bin/env python3
"""Ardour 7 renders a take through SonquadVST.so exactly as the command-line host does.

One headless Ardour session (ardour_render.py) holds one track per case; each track's bounce is
compared with an independent reference:
  - SonquadVST at program 0 and at other settings: `sonquad render` with the same settings and
    --keep-latency, because the VST 2.4 plug-in reports no latency to its host, so Ardour cannot
    compensate the 1024-sample delay of the convolution set;
  - a Lua DSP script of Ardour's own that delays by 1024 samples and reports it: the take itself,
    which shows that Ardour's bounce compensates a reported latency (what the LV2 edition's
    latency port relies on).

  test_ardour_render.py SONQUAD SONQUADVST_SO WORKDIR
"""

import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from ardour_render import read_wav  # noqa: E402

SONQUAD, MODULE, WORK = (os.path.abspath(a) for a in sys.argv[1:4]) if len(sys.argv) >= 4 else (None,) * 3
RENDER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "ardour_render.py")

# (track, Ardour plug-in, parameters as INDEX=VALUE, reference: "take" or sonquad render options)
CASES = [
    ("vst_program_0", "LXVST|Sonquadrum", [], ["--keep-latency"]),
    # Parameter 6 "PostMatrix Filter Number" at 0: set "None", no convolution. Parameter 42
    # "Output 1 Gain" at 0.5: W at 0 dB instead of program 0's -8 dB.
    ("vst_no_correction", "LXVST|Sonquadrum", ["6=0", "42=0.5"],
     ["--set", "PostMatrix Filter Number=None", "--set", "Output 1 Gain=0.0", "--keep-latency"]),
    ("reported_latency", "LUA|Sonquad Test Delay", [], "take"),
]


def samples(path):
    rate, channels, data = read_wav(path)
    return rate, channels, data


def largest_difference(a, b):
    return max((abs(x - y) for x, y in zip(a, b)), default=0.0)


class ArdourRender(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        os.makedirs(WORK, exist_ok=True)
        cls.take = os.path.join(WORK, "take.wav")
        subprocess.run([SONQUAD, "synth", "-o", cls.take, "--source", "30,10", "--source", "200,-20",
                        "--length", "1.5", "--rate", "48000"], check=True, capture_output=True)
        cls.out = os.path.join(WORK, "ardour")
        tracks = ["|".join([name, plugin] + params) for name, plugin, params, _ in CASES]
        started = time.monotonic()
        result = subprocess.run([sys.executable, RENDER, cls.take, cls.out, "--vst", MODULE] + tracks,
                                capture_output=True, text=True)
        cls.seconds = time.monotonic() - started
        cls.report = result.stdout
        if result.returncode != 0:
            raise RuntimeError(result.stdout + result.stderr)
        print(cls.report.strip(), f"\n(ardour stage {cls.seconds:.1f} s)", file=sys.stderr)

    def test_each_track_equals_its_reference(self):
        _, _, take = samples(self.take)
        for name, _, _, reference in CASES:
            with self.subTest(track=name):
                rate, channels, rendered = samples(os.path.join(self.out, name + ".wav"))
                self.assertEqual((rate, channels), (48000, 4))
                if reference == "take":
                    expected = take
                else:
                    path = os.path.join(WORK, name + "-sonquad.wav")
                    subprocess.run([SONQUAD, "render", self.take, "-o", path] + reference, check=True,
                                   capture_output=True)
                    expected = samples(path)[2]
                self.assertEqual(len(rendered), len(expected))
                # Bit-identical: the same code on the same samples in the same order.
                self.assertTrue(rendered == expected,
                                f"largest difference {largest_difference(rendered, expected)}")

    def test_reported_latency_is_read_back(self):
        latencies = {line.split(":")[0]: int(line.split("latency ")[1].split(",")[0])
                     for line in self.report.splitlines() if "latency" in line}
        self.assertEqual(latencies, {"vst_program_0": 0, "vst_no_correction": 0, "reported_latency": 1024})


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
