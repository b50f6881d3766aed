#!/usr/bin/env python3
"""Wraps a constant-bitrate 48 kHz AC-3 file as the IEC 61937 data bursts of a
2-channel 16-bit PCM WAV file, the way an S/PDIF capture stores them.

usage: make_sample.py in.ac3 frame_bytes out.wav

Each 1,536-sample AC-3 frame becomes one 6,144-byte burst: eight zero bytes,
Pa = 0xF872, Pb = 0x4E1F, Pc = 0x0001 (AC-3), Pd = payload bits, then the
frame as 16-bit little-endian words, zeros to the end of the period. Half a
second of digital silence comes first and last, as in a real capture.
"""
import struct
import sys

PERIOD = 6144
SILENCE = 48000 * 4 // 2


def main():
    try:
        src, frame_bytes, dst = sys.argv[1:]
        frame_bytes = int(frame_bytes)
        stream = open(src, "rb").read()
        if frame_bytes <= 0:
            raise ValueError(frame_bytes)
    except (ValueError, OSError):
        print(__doc__.split("\n\n")[1].strip(), file=sys.stderr)
        sys.exit(2)
    assert len(stream) % frame_bytes == 0, "not a constant-bitrate stream"
    pcm = bytearray(SILENCE)
    for at in range(0, len(stream), frame_bytes):
        frame = stream[at:at + frame_bytes]
        assert frame[:2] == b"\x0b\x77", "lost AC-3 sync at %d" % at
        swapped = bytearray(len(frame))
        swapped[0::2], swapped[1::2] = frame[1::2], frame[0::2]
        burst = b"\0" * 8 + struct.pack("<HHHH", 0xF872, 0x4E1F, 0x0001, frame_bytes * 8)
        pcm += (burst + swapped).ljust(PERIOD, b"\0")
    pcm += bytes(SILENCE)
    fmt = struct.pack("<HHIIHH", 1, 2, 48000, 48000 * 4, 4, 16)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt
    body += b"data" + struct.pack("<I", len(pcm)) + pcm
    open(dst, "wb").write(b"RIFF" + struct.pack("<I", len(body)) + body)


main()
