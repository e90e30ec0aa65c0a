#!/usr/bin/env python3
"""Writes the seed corpus of the WAVE reader's fuzz target (small valid and broken images)."""
import os
import struct

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'corpus_wave')


def fmt(ch, bits, rate, size=18):
    align = ch * bits // 8
    f = struct.pack('<HHIIHH', 1, ch, rate, rate * align, align, bits)
    return f + (b'\0\0' if size >= 18 else b'')


def riff(chunks):
    body = b'WAVE' + b''.join(i + struct.pack('<I', len(b) if l is None else l) + b for i, b, l in chunks)
    return b'RIFF' + struct.pack('<I', len(body)) + body


SEEDS = {
    'pcm8_mono.wav': riff([(b'fmt ', fmt(1, 8, 22050), None), (b'data', bytes([128, 160, 200, 160, 128, 96, 56, 96]), None)]),
    'pcm16_stereo.wav': riff([(b'fmt ', fmt(2, 16, 44100), None),
                              (b'data', struct.pack('<8h', 0, 0, 1000, -1000, 20000, -20000, 32767, -32768), None)]),
    'fmt16_odd_list.wav': riff([(b'LIST', b'abc', None), (b'fmt ', fmt(1, 16, 22050, 16), None),
                                (b'data', struct.pack('<3h', 1, 2, 3), None)]),
    'no_data.wav': riff([(b'fmt ', fmt(1, 16, 22050), None)]),
    'truncated.wav': riff([(b'fmt ', fmt(1, 16, 22050), None), (b'data', struct.pack('<4h', 1, 2, 3, 4), None)])[:-3],
    'huge_length.wav': riff([(b'fmt ', fmt(1, 16, 22050), None), (b'data', b'abcd', 0xFFFFFFF0)]),
    'not_riff.wav': b'RIFX' + riff([(b'fmt ', fmt(1, 8, 8000), None)])[4:],
}

if __name__ == '__main__':
    os.makedirs(HERE, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(HERE, name), 'wb') as f:
            f.write(data)
