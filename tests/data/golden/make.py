#!/usr/bin/env python3
"""Writes the calibration folder the golden renders run on: two text calibrations (one with
coefficient files for 44.1, 48 and 96 kHz, one for 48 kHz only) and two processor configurations
(a two-band and a three-band one). Run from this folder; the files are committed beside it."""
import math
import struct
from pathlib import Path

here = Path(__file__).resolve().parent


def coefficient_file(path, num, den):
    # Header word, denominator length, numerator length (16-bit), numerator, denominator.
    data = struct.pack('<Ihh', 0x12345678, len(den), len(num))
    data += struct.pack('<%df' % len(num), *num) + struct.pack('<%df' % len(den), *den)
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(data)


def resonator(freq, q, rate):
    # A band-pass biquad around freq (RBJ), normalised so a0 = 1.
    w = 2 * math.pi * freq / rate
    alpha = math.sin(w) / (2 * q)
    a0 = 1 + alpha
    num = [1 + alpha * 0.5, -2 * math.cos(w), 1 - alpha * 0.5]
    den = [-2 * math.cos(w) / a0, (1 - alpha) / a0]
    return [b / a0 for b in num], den


def text_calibration(name, rates):
    lines = ['sens 0.5 -0.7 0.2 1.1', 'vsens -0.3 0.4 0 -1.2', 'EQ 2 -1.5 0.5 3',
             'EQfreq 3000 4000 5000 6000', 'EQbw 2000 2500 3000 4000', 'W -4', 'X 0.5', 'Y -0.5',
             'Z 1', 'LF 30 60']
    for rate in rates:
        code = {44100: 44, 48000: 48, 96000: 96}[rate]
        lines += ['W%d w%d.flt' % (code, code), 'Vel%d vel%d.flt' % (code, code)]
        coefficient_file(here / name / ('w%d.flt' % code), *resonator(9000, 0.8, rate))
        coefficient_file(here / name / ('vel%d.flt' % code), *resonator(7000, 1.2, rate))
    (here / (name + '.txt')).write_text('\n'.join(lines) + '\n')


def osc_string(text):
    raw = text.encode() + b'\0'
    return raw + b'\0' * (-len(raw) % 4)


def osc(address, *args):
    tags = ',' + ''.join('i' if isinstance(a, int) else 'f' for a in args)
    body = osc_string(address) + osc_string(tags)
    for a in args:
        body += struct.pack('>i', a) if isinstance(a, int) else struct.pack('>f', a)
    return struct.pack('>I', len(body)) + body


def configuration(name, version, bands, channels):
    data = osc('/sonqproc', version)
    for row in range(4):
        data += osc('/matrix/row', row, 0.9, 1.1 - 0.1 * row, 0.8 + 0.05 * row, 1.0)
    data += osc('/lffilt/par', 1500.0, 0.7, -2.0)
    for k in range(channels):
        params = []
        for b in range(bands):
            params += [200.0 * (b + 1) * (k + 1), 0.5 + 0.25 * b, 4.0 - 3.0 * b]
        if version > 1:
            params.append(-1.5 + k)
        data += osc('/pmfilt/par', k, *params)
    (here / (name + '.sonq')).write_bytes(data)


text_calibration('Studio', [44100, 48000, 96000])
text_calibration('Partial', [48000])
configuration('Field', 2, 2, 4)
configuration('Hall', 3, 3, 3)
