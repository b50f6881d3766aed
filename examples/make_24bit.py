#!/usr/bin/env python3
"""Writes a 2-channel 16-bit PCM WAV file again as 24-bit PCM, the way a sound
card records an S/PDIF link at 24 bits: each 16-bit word in the upper two
bytes of its sample, a zero byte below it.

usage: make_24bit.py in.wav out.wav [extensible]

With "extensible" the format record is WAVE_FORMAT_EXTENSIBLE (PCM), as many
capture programs write it.
"""
import struct
import sys

PCM_GUID = bytes.fromhex("0100000000001000800000aa00389b71")


def main():
    src, dst = sys.argv[1], sys.argv[2]
    extensible = sys.argv[3:] == ["extensible"]
    wav = open(src, "rb").read()
    assert wav[:4] == b"RIFF" and wav[8:12] == b"WAVE", "not a WAV file"
    at = wav.index(b"data", 12)
    size = struct.unpack("<I", wav[at + 4:at + 8])[0]
    words = wav[at + 8:at + 8 + size]
    pcm = bytearray(len(words) // 2 * 3)
    pcm[1::3], pcm[2::3] = words[0::2], words[1::2]
    rate = struct.unpack("<I", wav[24:28])[0]
    fmt = struct.pack("<HHIIHH", 0xFFFE if extensible else 1, 2, rate, rate * 6, 6, 24)
    if extensible:
        fmt += struct.pack("<HHI", 22, 24, 3) + PCM_GUID  # front left and right
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt
    body += b"data" + struct.pack("<I", len(pcm)) + pcm
    open(dst, "wb").write(b"RIFF" + struct.pack("<I", len(body)) + body)


main()
