#!/usr/bin/env python3
"""Writes the example calibrations beside this script: the text calibration ExampleMic.txt of a
made-up microphone with its correction filters for 44.1, 48 and 96 kHz (ExampleMic/), and the
processor configuration ExampleProcessor.sonq, whose Open Sound Control messages are encoded by
liblo (through ctypes), the encoder the calibration tests use, not by code of ours. No real
microphone was measured: the numbers are plausible, nothing more.

    examples/calibrations/make.py           write the files (commit them)
    examples/calibrations/make.py --check   exit 1 when the committed files differ from these
"""
import ctypes
import ctypes.util
import math
import struct
import sys
import tempfile
from pathlib import Path

here = Path(__file__).resolve().parent
RATES = {44100: 44, 48000: 48, 96000: 96}   # the rate codes the coefficient files are named with


# ---- correction filters: biquads from the analogue prototypes by the bilinear transform ----

def high_shelf(freq, gain_db, slope, rate):
    a = 10 ** (gain_db / 40)
    w = 2 * math.pi * freq / rate
    alpha = math.sin(w) / 2 * math.sqrt((a + 1 / a) * (1 / slope - 1) + 2)
    c, k = math.cos(w), 2 * math.sqrt(a) * alpha
    b = [a * ((a + 1) + (a - 1) * c + k), -2 * a * ((a - 1) + (a + 1) * c), a * ((a + 1) + (a - 1) * c - k)]
    d = [(a + 1) - (a - 1) * c + k, 2 * ((a - 1) - (a + 1) * c), (a + 1) - (a - 1) * c - k]
    return [x / d[0] for x in b], [x / d[0] for x in d[1:]]


def peaking(freq, gain_db, q, rate):
    a = 10 ** (gain_db / 40)
    w = 2 * math.pi * freq / rate
    alpha = math.sin(w) / (2 * q)
    c = math.cos(w)
    b = [1 + alpha * a, -2 * c, 1 - alpha * a]
    d = [1 + alpha / a, -2 * c, 1 - alpha / a]
    return [x / d[0] for x in b], [x / d[0] for x in d[1:]]


def coefficient_file(num, den):
    # Header word (unused), denominator length, numerator length (16-bit), then the numerator and
    # the denominator (the leading 1 not stored), little-endian single precision.
    return (struct.pack('<Ihh', 0, len(den), len(num)) + struct.pack('<%df' % len(num), *num)
            + struct.pack('<%df' % len(den), *den))


def text_calibration():
    # Capsule weights into W and into X, Y, Z (dB), the capsules' presence equalisers (dB, Hz,
    # Hz), the output gains (dB; W gets 3 dB more than its line says) and the LF corners (Hz).
    lines = ['sens 0.31 -0.18 0.07 -0.24',
             'vsens -0.12 0.26 -0.35 0.09',
             'EQ 1.2 0.8 1.5 1.0',
             'EQfreq 9000 8700 9300 8900',
             'EQbw 6000 5800 6200 6000',
             'W -4.2',
             'X 0.4',
             'Y -0.3',
             'Z 0.6',
             'LF 30 50']
    files = {}
    for rate, code in RATES.items():
        # W: the capsules' summed response falls above 6 kHz; X, Y, Z: a peak near 9.5 kHz.
        files['w%d.flt' % code] = coefficient_file(*high_shelf(6000, 2.0, 0.8, rate))
        files['vel%d.flt' % code] = coefficient_file(*peaking(9500, -1.5, 1.4, rate))
        lines += ['W%d w%d.flt' % (code, code), 'Vel%d vel%d.flt' % (code, code)]
    return ('\n'.join(lines) + '\n').encode(), files


# ---- the processor configuration, encoded by liblo ----

class Liblo:
    def __init__(self):
        name = ctypes.util.find_library('lo')
        if not name:
            sys.exit('make.py: liblo is not installed (scripts/setup installs liblo-dev)')
        self.lo = ctypes.CDLL(name)
        self.lo.lo_message_new.restype = ctypes.c_void_p
        self.lo.lo_message_free.argtypes = [ctypes.c_void_p]
        self.lo.lo_message_add_int32.argtypes = [ctypes.c_void_p, ctypes.c_int32]
        self.lo.lo_message_add_float.argtypes = [ctypes.c_void_p, ctypes.c_float]
        self.lo.lo_message_serialise.restype = ctypes.c_void_p
        self.lo.lo_message_serialise.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_void_p,
                                                 ctypes.POINTER(ctypes.c_size_t)]
        self.libc = ctypes.CDLL(ctypes.util.find_library('c'))
        self.libc.free.argtypes = [ctypes.c_void_p]

    def message(self, address, *args):
        """One message as the file holds it: big-endian size, then liblo's encoding."""
        m = self.lo.lo_message_new()
        for arg in args:
            if isinstance(arg, int):
                self.lo.lo_message_add_int32(m, arg)
            else:
                self.lo.lo_message_add_float(m, arg)
        size = ctypes.c_size_t(0)
        data = self.lo.lo_message_serialise(m, address.encode(), None, ctypes.byref(size))
        body = ctypes.string_at(data, size.value)
        self.libc.free(data)
        self.lo.lo_message_free(m)
        return struct.pack('>I', len(body)) + body


def processor_configuration():
    lo = Liblo()
    data = lo.message('/sonqproc', 3)
    # Linear weights of capsules 1 to 4 into W, X, Y, Z (the matrix's signs are its own).
    rows = [[0.502, 0.497, 0.505, 0.494], [0.611, 0.603, 0.598, 0.607],
            [0.606, 0.612, 0.601, 0.597], [0.600, 0.595, 0.609, 0.604]]
    for row, weights in enumerate(rows):
        data += lo.message('/matrix/row', row, *weights)
    data += lo.message('/lffilt/par', 8500.0, 0.7, 1.2)   # every capsule: centre Hz, width / centre, dB
    # Per output W, X, Y, Z: three bands (centre Hz, width / centre, dB), then the output gain (dB).
    bands = [[120.0, 1.0, 0.8, 3500.0, 0.9, -0.6, 12000.0, 0.6, 1.8, 0.0],
             [150.0, 1.2, 1.2, 4000.0, 0.8, -0.9, 11000.0, 0.5, 1.5, 0.3],
             [150.0, 1.2, 1.1, 4200.0, 0.8, -0.7, 11500.0, 0.5, 1.4, 0.2],
             [140.0, 1.2, 1.4, 3800.0, 0.8, -1.0, 10500.0, 0.5, 1.6, 0.4]]
    for channel, values in enumerate(bands):
        data += lo.message('/pmfilt/par', channel, *values)
    return data


def everything():
    text, coefficients = text_calibration()
    files = {'ExampleMic.txt': text, 'ExampleProcessor.sonq': processor_configuration()}
    files.update({'ExampleMic/' + name: data for name, data in coefficients.items()})
    return files


def main():
    files = everything()
    if sys.argv[1:] == ['--check']:
        differing = [name for name, data in sorted(files.items())
                     if not (here / name).is_file() or (here / name).read_bytes() != data]
        for name in differing:
            print('make.py: %s differs from what make.py writes' % name, file=sys.stderr)
        sys.exit(1 if differing else 0)
    if sys.argv[1:]:
        sys.exit('usage: make.py [--check]')
    for name, data in files.items():
        (here / name).parent.mkdir(parents=True, exist_ok=True)
        (here / name).write_bytes(data)
        print('wrote', (here / name).relative_to(here))


main()
