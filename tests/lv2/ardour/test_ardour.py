#!/usr/bin/env python3
"""Ardour 7 headless (ardour7-lua, Dummy backend) renders a take through SonquadLV2 and SonquadVST.

session.lua makes a session with one four-channel track per plug-in and records a seed take on
each (ardour7-lua cannot import); load_take writes the take over the seed sources; bounce.lua
bounces every track and reports the latency Ardour sees. Each bounce equals `sonquad render` bit
for bit: the VST reports no latency, so the convolution's delay stays (--keep-latency); the LV2
(AmbiX, inverted) reports 1024, which the bounce compensates (delay removed). Ardour's files stay
in a private folder.     test_ardour.py SONQUAD SONQUADVST_SO LV2_BUNDLE WORKDIR
"""

import array
import os
import re
import shutil
import struct
import subprocess
import sys
import time
import unittest
import xml.etree.ElementTree as ET

HERE = os.path.dirname(os.path.abspath(__file__))
SONQUAD, MODULE, BUNDLE, WORK = (os.path.abspath(a) for a in sys.argv[1:5]) if len(sys.argv) >= 5 else (None,) * 4

# (track, plug-in as session.lua takes it: LV2 control inputs by index, in the port's unit;
#  sonquad render options; the latency Ardour must show)
CASES = [
    ("vst", "LXVST|Sonquadrum", ["--keep-latency"], 0),
    ("lv2", "LV2|urn:morlane:sonquad:lv2|0=1|1=1", ["--format", "ambix", "--orientation", "inverted"], 1024),
]


def read_wav(path):
    """(rate, channels, interleaved 32-bit floats) of a float WAV."""
    with open(path, "rb") as f:
        data = f.read()
    pos, fmt, payload = 12, None, None
    while pos + 8 <= len(data):
        chunk, size = data[pos:pos + 4], struct.unpack_from("<I", data, pos + 4)[0]
        fmt = data[pos + 8:pos + 8 + size] if chunk == b"fmt " else fmt
        payload = data[pos + 8:pos + 8 + size] if chunk == b"data" else payload
        pos += 8 + size + (size & 1)
    tag, channels, rate = struct.unpack_from("<HHI", fmt, 0)
    tag = struct.unpack_from("<H", fmt, 24)[0] if tag == 0xFFFE else tag
    if tag != 3 or struct.unpack_from("<H", fmt, 14)[0] != 32:
        raise ValueError(f"{path}: not 32-bit float")
    return rate, channels, array.array("f", payload[:len(payload) // 4 * 4])


def write_wav(path, rate, channels, samples):
    payload = array.array("f", samples).tobytes()
    fmt = struct.pack("<HHIIHH", 3, channels, rate, rate * channels * 4, channels * 4, 32)
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 4 + 8 + len(fmt) + 8 + len(payload)) + b"WAVE")
        f.write(b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(payload)) + payload)


def environment(root):
    """A private home for Ardour, with the bundle on LV2_PATH and SonquadVST.so in its cache: the
    headless host reads VST descriptions only from there, and only for a module older than the entry."""
    env = dict(os.environ, LV2_PATH=os.path.dirname(BUNDLE) + ":/usr/lib/lv2")
    for name in ("HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"):
        env[name] = os.path.join(root, name.lower())
        os.makedirs(env[name])
    folder = os.path.join(root, "lxvst")
    os.makedirs(folder)
    copy = os.path.join(folder, os.path.basename(MODULE))
    shutil.copyfile(MODULE, copy)
    os.utime(copy, (time.time() - 10, time.time() - 10))
    subprocess.run(["/usr/lib/ardour7/ardour-vst-scanner", "-f", "-q", copy], check=True, capture_output=True,
                   env=dict(env, LD_LIBRARY_PATH="/usr/lib/ardour7"))
    os.makedirs(os.path.join(env["XDG_CONFIG_HOME"], "ardour7"))
    with open(os.path.join(env["XDG_CONFIG_HOME"], "ardour7", "config"), "w") as f:
        f.write(f'<?xml version="1.0"?>\n<Ardour><Config><Option name="plugin-path-lxvst" value="{folder}"/>'
                '</Config></Ardour>\n')
    return env


def lua(script, args, env):
    result = subprocess.run(["ardour7-lua", os.path.join(HERE, script)] + args, env=env, capture_output=True,
                            text=True, stdin=subprocess.DEVNULL)
    lines = result.stdout.splitlines()
    if result.returncode != 0 or any(line.lower().startswith("error:") for line in lines):
        raise RuntimeError(f"{script} failed:\n" + "\n".join(lines[-20:]) + result.stderr)
    return lines


def load_take(session, take):
    """Writes the take's channels over every seed source and sets the regions' length."""
    rate, channels, samples = take
    state = os.path.join(session, "render.ardour")
    tree = ET.parse(state)
    audio = os.path.join(session, "interchange", os.path.basename(session), "audiofiles")
    sources = {s.get("id"): os.path.join(audio, s.get("name")) for s in tree.getroot().iter("Source")}
    seeds = {}   # source -> samples of the seed take, read before it is overwritten
    for region in (r for r in tree.getroot().iter("Region") if r.get("type") == "audio"):
        for c in range(channels):
            path = sources[region.get(f"source-{c}")]
            if path not in seeds:
                seeds[path] = len(read_wav(path)[2])
                write_wav(path, rate, 1, samples[c::channels])
        # Lengths are in superclock ticks; the seed take gives the ticks per sample.
        ticks = int(re.fullmatch(r"a(\d+)@a0", region.get("length")).group(1)) // seeds[sources[region.get("source-0")]]
        region.set("length", f"a{ticks * (len(samples) // channels)}@a0")
    tree.write(state, encoding="UTF-8", xml_declaration=True)
    shutil.rmtree(os.path.join(session, "peaks"), ignore_errors=True)


class Ardour(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        shutil.rmtree(WORK, ignore_errors=True)
        os.makedirs(WORK)
        cls.take = os.path.join(WORK, "take.wav")
        subprocess.run([SONQUAD, "synth", "-o", cls.take, "--source", "30,10", "--source", "200,-20", "--length",
                        "1.5", "--rate", "48000"], check=True, capture_output=True)
        started = time.monotonic()
        env = environment(os.path.join(WORK, "ardour"))
        session = os.path.join(WORK, "ardour", "render")
        lua("session.lua", [session, "render", "48000"] + ["|".join([n, p]) for n, p, _, _ in CASES], env)
        load_take(session, read_wav(cls.take))
        cls.bounces, track = {}, None
        for line in lua("bounce.lua", [session, "render"], env):
            match = re.fullmatch(r"track (\S+) latency (\d+) frames \d+", line)
            if match:
                track = match.group(1)
                cls.bounces[track] = (int(match.group(2)), [])
            elif line.startswith("file "):
                cls.bounces[track][1].append(read_wav(line[5:])[2])
        print(f"ardour: {time.monotonic() - started:.1f} s for {len(CASES)} tracks", file=sys.stderr)

    def test_each_track_equals_our_render_and_shows_its_latency(self):
        for name, _, options, latency in CASES:
            with self.subTest(track=name):
                reference = os.path.join(WORK, name + "-sonquad.wav")
                subprocess.run([SONQUAD, "render", "-q", self.take, "-o", reference] + options, check=True,
                               env=dict(os.environ, SONQUAD_CALIBRATION_DIR=WORK))
                expected = read_wav(reference)[2]
                shown, channels = self.bounces[name]
                self.assertEqual(shown, latency)
                self.assertEqual(len(channels), 4)
                for c, bounced in enumerate(channels):
                    self.assertTrue(bounced == expected[c::4], f"channel {c} differs")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
