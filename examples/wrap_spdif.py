#!/usr/bin/env python3
"""Wraps a raw IEC 61937 stream, as ffmpeg's spdif muxer writes it, as the
2-channel 16-bit PCM WAV file that a capture of the link would be: half a
second of digital silence first and last, the bursts in between.

usage: wrap_spdif.py in.spdif sample_rate out.wav
"""
import struct
import sys


def main():
    try:
        src, rate, dst = sys.argv[1:]
        rate = int(rate)
        stream = open(src, "rb").read()
        if rate <= 0:
            raise ValueError(rate)
    except (ValueError, OSError):
        print(__doc__.split("\n\n")[1].strip(), file=sys.stderr)
        sys.exit(2)
    silence = bytes(rate * 4 // 2)
    pcm = silence + stream + silence
    fmt = struct.pack("<HHIIHH", 1, 2, rate, rate * 4, 4, 16)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt
    body += b"data" + struct.pack("<I", len(pcm)) + pcm
    open(dst, "wb").write(b"RIFF" + struct.pack("<I", len(body)) + body)


main()
