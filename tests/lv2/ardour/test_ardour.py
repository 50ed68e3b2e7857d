#!/usr/bin/env python3
"""Ardour 7 headless (ardour7-lua, Dummy backend) renders a take through SonquadLV2 and SonquadVST.

session.lua makes a four-channel track per plug-in with a seed take (ardour7-lua cannot import),
load_take writes the take over it, bounce.lua bounces every track and reports the latency Ardour
sees; each bounce equals `sonquad render`.   test_ardour.py SONQUAD SONQUADVST_SO LV2_BUNDLE WORKDIR
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
RATE = 48000

# (track, plug-in as session.lua takes it, sonquad render options, the latency Ardour shows): the
# VST reports none, so the delay stays; the LV2 (AmbiX, inverted) reports it, the bounce removes it.
CASES = [
    ("vst", "LXVST|Sonquadrum", ["--keep-latency"], 0),
    ("lv2", "LV2|urn:morlane:sonquad:lv2|0=1|1=1", ["--format", "ambix", "--orientation", "inverted"], 1024),
]


def read_wav(path):
    """The samples of a 32-bit float WAV file, interleaved (any other format fails the comparison)."""
    with open(path, "rb") as f:
        data = f.read()
    pos, chunks = 12, {}
    while pos + 8 <= len(data):
        size = struct.unpack_from("<I", data, pos + 4)[0]
        chunks[data[pos:pos + 4]] = data[pos + 8:pos + 8 + size]
        pos += 8 + size + (size & 1)
    return array.array("f", chunks[b"data"])


def write_wav(path, samples):
    """A mono 32-bit float WAV file."""
    data = array.array("f", samples).tobytes()
    with open(path, "wb") as f:
        f.write(struct.pack("<4sI4s4sIHHIIHH4sI", b"RIFF", 36 + len(data), b"WAVE", b"fmt ", 16, 3, 1, RATE, RATE * 4, 4, 32,
                            b"data", len(data)) + data)


def environment(root):
    """A private home for Ardour, with the bundle on LV2_PATH and SonquadVST.so in its cache: the
    headless host reads VST descriptions only from there, and only for a module older than the entry."""
    env = dict(os.environ, LV2_PATH=os.path.dirname(BUNDLE) + ":/usr/lib/lv2")
    for name in ("HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"):
        env[name] = os.path.join(root, name.lower())
        os.makedirs(env[name])
    os.makedirs(os.path.join(root, "lxvst"))
    copy = os.path.join(root, "lxvst", os.path.basename(MODULE))
    shutil.copyfile(MODULE, copy)
    os.utime(copy, (time.time() - 10, time.time() - 10))
    subprocess.run(["/usr/lib/ardour7/ardour-vst-scanner", "-f", "-q", copy], check=True, capture_output=True,
                   env=dict(env, LD_LIBRARY_PATH="/usr/lib/ardour7"))
    os.makedirs(os.path.join(env["XDG_CONFIG_HOME"], "ardour7"))
    with open(os.path.join(env["XDG_CONFIG_HOME"], "ardour7", "config"), "w") as f:
        f.write(f'<?xml version="1.0"?>\n<Ardour><Config><Option name="plugin-path-lxvst" '
                f'value="{os.path.dirname(copy)}"/></Config></Ardour>\n')
    return env


def lua(script, args, env):
    result = subprocess.run(["ardour7-lua", os.path.join(HERE, script)] + args, env=env, capture_output=True,
                            text=True, stdin=subprocess.DEVNULL)
    lines = result.stdout.splitlines()
    if result.returncode != 0 or any(line.lower().startswith("error:") for line in lines):
        raise RuntimeError(f"{script} failed:\n" + "\n".join(lines[-20:]) + result.stderr)
    return lines


def load_take(session, samples):
    """Writes the four-channel take over every seed source and sets the regions' length."""
    state = os.path.join(session, "render.ardour")
    tree = ET.parse(state)
    audio = os.path.join(session, "interchange", os.path.basename(session), "audiofiles")
    sources = {s.get("id"): os.path.join(audio, s.get("name")) for s in tree.getroot().iter("Source")}
    seeds = {}   # the first source of each region -> samples of the seed take, read before it is overwritten
    for region in (r for r in tree.getroot().iter("Region") if r.get("type") == "audio"):
        paths = [sources[region.get(f"source-{c}")] for c in range(4)]
        seeds[paths[0]] = seeds.get(paths[0]) or len(read_wav(paths[0]))
        # Lengths are in superclock ticks; the seed take gives the ticks per sample.
        ticks = int(re.fullmatch(r"a(\d+)@a0", region.get("length")).group(1)) // seeds[paths[0]]
        region.set("length", f"a{ticks * (len(samples) // 4)}@a0")
        for c, path in enumerate(paths):
            write_wav(path, samples[c::4])
    tree.write(state, encoding="UTF-8", xml_declaration=True)
    shutil.rmtree(os.path.join(session, "peaks"), ignore_errors=True)


class Ardour(unittest.TestCase):
    def test_each_track_equals_our_render_and_shows_its_latency(self):
        shutil.rmtree(WORK, ignore_errors=True)
        os.makedirs(WORK)
        take = os.path.join(WORK, "take.wav")
        subprocess.run([SONQUAD, "synth", "-o", take, "--source", "30,10", "--source", "200,-20", "--length",
                        "1.5", "--rate", str(RATE)], check=True, capture_output=True)
        env, session = environment(os.path.join(WORK, "ardour")), os.path.join(WORK, "ardour", "render")
        lua("session.lua", [session, "render", str(RATE)] + ["|".join([n, p]) for n, p, _, _ in CASES], env)
        load_take(session, read_wav(take))
        bounces = {}   # track: (latency, channels)
        for line in lua("bounce.lua", [session, "render"], env):
            if line.startswith("track "):   # track NAME latency SAMPLES frames SAMPLES
                track = line.split()[1]
                bounces[track] = (int(line.split()[3]), [])
            elif line.startswith("file "):
                bounces[track][1].append(read_wav(line[5:]))
        for name, _, options, latency in CASES:
            with self.subTest(track=name):
                reference = os.path.join(WORK, name + "-sonquad.wav")
                subprocess.run([SONQUAD, "render", "-q", take, "-o", reference] + options, check=True,
                               env=dict(os.environ, SONQUAD_CALIBRATION_DIR=WORK))
                expected = read_wav(reference)
                self.assertEqual(bounces[name][0], latency)
                self.assertTrue(bounces[name][1] == [expected[c::4] for c in range(4)], "the bounce differs")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
