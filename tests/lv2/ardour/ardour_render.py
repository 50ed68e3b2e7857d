#!/usr/bin/env python3
"""Renders a four-channel take through plug-ins in Ardour 7, headless.

Ardour's own Lua session host (ardour7-lua, Debian package ardour) runs on its Dummy backend:
session.lua makes a session with one four-channel track per plug-in and records a short seed take
on each (ardour7-lua cannot import files); this script then writes the take's channels over the
seed take's sources and sets the region lengths in the session file; bounce.lua loads the session
and bounces every track through its plug-in. The result is one four-channel 32-bit float WAV per
track, named after the track, in the output folder.

Everything Ardour writes (configuration, plug-in cache, session) stays in a private folder, so the
user's own Ardour setup is neither read nor changed. Standard library only.

  ardour_render.py TAKE OUTDIR [--vst SO] [--lv2-path DIR] [--keep DIR] TRACK...

TRACK is "NAME|TYPE|ID|INDEX=VALUE..." as session.lua takes it; --vst makes one VST 2.4 module
known to Ardour (scanned with Ardour's own scanner into the private cache); --lv2-path is added
to LV2_PATH. Prints one line per track: name, reported latency, frames; and the time each stage
took.
"""

import argparse
import array
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ET

HERE = os.path.dirname(os.path.abspath(__file__))
ARDOUR_LUA = "ardour7-lua"
VST_SCANNER = "/usr/lib/ardour7/ardour-vst-scanner"
ARDOUR_LIBS = "/usr/lib/ardour7"
WAVE_FORMAT_PCM = 1
WAVE_FORMAT_IEEE_FLOAT = 3
WAVE_FORMAT_EXTENSIBLE = 0xFFFE


def read_wav(path):
    """Returns (rate, channels, samples): samples as interleaved floats in -1..1."""
    with open(path, "rb") as f:
        data = f.read()
    if data[0:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise ValueError(f"{path}: not a RIFF WAVE file")
    pos, fmt, payload = 12, None, None
    while pos + 8 <= len(data):
        chunk, size = data[pos:pos + 4], struct.unpack_from("<I", data, pos + 4)[0]
        body = data[pos + 8:pos + 8 + size]
        if chunk == b"fmt ":
            fmt = body
        elif chunk == b"data":
            payload = body
        pos += 8 + size + (size & 1)
    if fmt is None or payload is None:
        raise ValueError(f"{path}: no fmt or data chunk")
    tag, channels, rate = struct.unpack_from("<HHI", fmt, 0)
    bits = struct.unpack_from("<H", fmt, 14)[0]
    if tag == WAVE_FORMAT_EXTENSIBLE:
        tag = struct.unpack_from("<H", fmt, 24)[0]
    if tag == WAVE_FORMAT_IEEE_FLOAT and bits == 32:
        samples = array.array("f")
        samples.frombytes(payload[:len(payload) // 4 * 4])
    elif tag == WAVE_FORMAT_PCM and bits in (16, 24, 32):
        width = bits // 8
        scale = float(1 << (bits - 1))
        count = len(payload) // width
        samples = array.array("f", (int.from_bytes(payload[i * width:(i + 1) * width], "little", signed=True) / scale
                                    for i in range(count)))
    else:
        raise ValueError(f"{path}: format {tag} with {bits} bits is not read here")
    if sys.byteorder != "little":
        samples.byteswap()
    return rate, channels, samples


def write_wav(path, rate, channels, samples):
    """Writes interleaved floats as a 32-bit float WAV."""
    body = array.array("f", samples)
    if sys.byteorder != "little":
        body.byteswap()
    payload = body.tobytes()
    fmt = struct.pack("<HHIIHH", WAVE_FORMAT_IEEE_FLOAT, channels, rate, rate * channels * 4, channels * 4, 32)
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 4 + 8 + len(fmt) + 8 + len(payload)) + b"WAVE")
        f.write(b"fmt " + struct.pack("<I", len(fmt)) + fmt)
        f.write(b"data" + struct.pack("<I", len(payload)) + payload)


def private_environment(root, lv2_path):
    env = dict(os.environ)
    for name, sub in (("HOME", "home"), ("XDG_CONFIG_HOME", "config"), ("XDG_CACHE_HOME", "cache"),
                      ("XDG_DATA_HOME", "data")):
        env[name] = os.path.join(root, sub)
        os.makedirs(env[name], exist_ok=True)
    if lv2_path:
        env["LV2_PATH"] = os.pathsep.join(p for p in (lv2_path, env.get("LV2_PATH", "/usr/lib/lv2")) if p)
    env.pop("LXVST_PATH", None)
    env.pop("VST_PATH", None)
    return env


def install_vst(root, module, env):
    """Copies the module into a private LinuxVST folder and caches its description there.

    Ardour's headless host only reads VST 2.4 descriptions from its cache (it never scans), and
    it takes a cache entry as current only when the module's modification time, in whole
    seconds, is strictly older than the entry's: the copy is therefore dated ten seconds back.
    """
    folder = os.path.join(root, "lxvst")
    os.makedirs(folder, exist_ok=True)
    copy = os.path.join(folder, os.path.basename(module))
    shutil.copyfile(module, copy)
    past = time.time() - 10
    os.utime(copy, (past, past))
    scan_env = dict(env, LD_LIBRARY_PATH=ARDOUR_LIBS)
    result = subprocess.run([VST_SCANNER, "-f", "-q", copy], env=scan_env, capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError(f"Ardour's VST scanner failed on {copy}: {result.stdout}{result.stderr}")
    config_dir = os.path.join(env["XDG_CONFIG_HOME"], "ardour7")
    os.makedirs(config_dir, exist_ok=True)
    with open(os.path.join(config_dir, "config"), "w") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n<Ardour>\n  <Config>\n'
                f'    <Option name="plugin-path-lxvst" value="{folder}"/>\n'
                '  </Config>\n</Ardour>\n')


def run_lua(script, args, env):
    result = subprocess.run([ARDOUR_LUA, os.path.join(HERE, script)] + args, env=env,
                            capture_output=True, text=True, stdin=subprocess.DEVNULL)
    lines = result.stdout.splitlines()
    errors = [line for line in lines if line.startswith("error:") or line.startswith("Error:")]
    if result.returncode != 0 or errors:
        raise RuntimeError(f"{script} failed ({result.returncode}):\n" + "\n".join(lines[-20:]) + result.stderr)
    return lines


def load_take_into_session(session_dir, name, take):
    """Writes the take's channels over each track's seed sources and sets the regions' length."""
    rate, channels, samples = take
    frames = len(samples) // channels
    state_file = os.path.join(session_dir, name + ".ardour")
    tree = ET.parse(state_file)
    root = tree.getroot()
    # Ardour names the interchange folder after the session folder.
    audio_dir = os.path.join(session_dir, "interchange", os.path.basename(session_dir), "audiofiles")
    sources = {s.get("id"): s.get("name") for s in root.iter("Source")}
    regions = [r for r in root.iter("Region") if r.get("type") == "audio"]
    seed_frames_of = {}   # source file -> frames of the seed take, read before it is overwritten
    for region in regions:
        ids = [region.get(f"source-{c}") for c in range(channels)]
        if None in ids or region.get("channels") != str(channels):
            raise RuntimeError(f"seed region {region.get('name')} does not have {channels} channels")
        # Lengths are kept in Ardour's superclock units ("a" prefix); the seed take gives the
        # ratio of superclock ticks to samples at this session's rate.
        length = re.fullmatch(r"a(\d+)@a0", region.get("length"))
        for c, source_id in enumerate(ids):
            path = os.path.join(audio_dir, sources[source_id])
            if path not in seed_frames_of:
                seed_rate, _, seed = read_wav(path)
                if seed_rate != rate:
                    raise RuntimeError(f"session runs at {seed_rate} Hz, the take at {rate} Hz")
                seed_frames_of[path] = len(seed)
                write_wav(path, rate, 1, samples[c::channels])
        seed_frames = seed_frames_of[os.path.join(audio_dir, sources[ids[0]])]
        if not length or seed_frames == 0 or int(length.group(1)) % seed_frames:
            raise RuntimeError(f"unexpected region length {region.get('length')} for {seed_frames} frames")
        ticks_per_frame = int(length.group(1)) // seed_frames
        region.set("length", f"a{ticks_per_frame * frames}@a0")
        region.set("fade-in-active", "0")
        region.set("fade-out-active", "0")
    tree.write(state_file, encoding="UTF-8", xml_declaration=True)
    shutil.rmtree(os.path.join(session_dir, "peaks"), ignore_errors=True)
    return frames


def collect(lines, outdir, rate):
    """Joins each bounced track's mono files into OUTDIR/NAME.wav; returns [(name, latency, frames)]."""
    results, current, files = [], None, []

    def flush():
        if current is None:
            return
        channels = [read_wav(path)[2] for path in files]
        frames = min(len(c) for c in channels)
        interleaved = array.array("f", bytes(4 * frames * len(channels)))
        for c, data in enumerate(channels):
            interleaved[c::len(channels)] = data[:frames]
        write_wav(os.path.join(outdir, current[0] + ".wav"), rate, len(channels), interleaved)
        results.append((current[0], current[1], frames))

    for line in lines:
        match = re.fullmatch(r"track (.+) latency (\d+) frames (\d+)", line)
        if match:
            flush()
            current, files = (match.group(1), int(match.group(2))), []
        elif line.startswith("file ") and current is not None:
            files.append(line[5:])
    flush()
    return results


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("take")
    parser.add_argument("outdir")
    parser.add_argument("tracks", nargs="+")
    parser.add_argument("--vst", action="append", default=[])
    parser.add_argument("--lv2-path", default="")
    parser.add_argument("--keep", help="work in this folder and leave it (default: a temporary one)")
    args = parser.parse_args()

    take = read_wav(args.take)
    if take[1] != 4:
        sys.exit(f"{args.take}: {take[1]} channels, four expected")
    os.makedirs(args.outdir, exist_ok=True)
    root = args.keep or tempfile.mkdtemp(prefix="sonquad-ardour-")
    os.makedirs(root, exist_ok=True)
    try:
        env = private_environment(root, os.path.abspath(args.lv2_path) if args.lv2_path else "")
        for module in args.vst:
            install_vst(root, os.path.abspath(module), env)
        # Ardour looks for Lua DSP scripts in its configuration folder's scripts/.
        scripts = os.path.join(env["XDG_CONFIG_HOME"], "ardour7", "scripts")
        os.makedirs(scripts, exist_ok=True)
        shutil.copy(os.path.join(HERE, "delay.lua"), scripts)
        name = "render"
        session_dir = os.path.join(root, name)
        if os.path.exists(session_dir):
            shutil.rmtree(session_dir)

        started = time.monotonic()
        run_lua("session.lua", [session_dir, name, str(take[0])] + args.tracks, env)
        created = time.monotonic()
        load_take_into_session(session_dir, name, take)
        lines = run_lua("bounce.lua", [session_dir, name], env)
        bounced = time.monotonic()
        for track, latency, frames in collect(lines, args.outdir, take[0]):
            print(f"{track}: latency {latency}, {frames} frames")
        print(f"ardour: session {created - started:.1f} s, bounce {bounced - created:.1f} s")
    finally:
        if not args.keep:
            shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
