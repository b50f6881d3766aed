#!/usr/bin/env python3
"""Writes a 2-channel 16-bit PCM WAV file again with wider samples, the way
capture programs record an S/PDIF link: every 16-bit word of the link kept
whole in a wider sample.

usage: widen.py in.wav out.wav [24 | extensible | float32 | float64]

  24          24-bit PCM, each word in the upper two bytes (the default)
  extensible  the same with a WAVE_FORMAT_EXTENSIBLE record, as ffmpeg and
              many capture programs write it
  float32     32-bit IEEE float (format tag 3), each word as word / 32768
  float64     the same in 64 bits
"""
import struct
import sys

PCM_GUID = bytes.fromhex("0100000000001000800000aa00389b71")


def main():
    try:
        src, dst, kind = sys.argv[1:] if len(sys.argv) == 4 else sys.argv[1:] + ["24"]
        if kind not in ("24", "extensible", "float32", "float64"):
            raise ValueError(kind)
        wav = open(src, "rb").read()
    except (ValueError, OSError):
        print(__doc__.split("\n\n")[1].strip(), file=sys.stderr)
        sys.exit(2)
    assert wav[:4] == b"RIFF" and wav[8:12] == b"WAVE", "not a WAV file"
    at = wav.index(b"data", 12)
    size = struct.unpack("<I", wav[at + 4:at + 8])[0]
    words = struct.unpack("<%dh" % (size // 2), wav[at + 8:at + 8 + size - size % 2])
    rate = struct.unpack("<I", wav[24:28])[0]
    if kind.startswith("float"):
        bits = int(kind[5:])
        pcm = struct.pack("<%d%s" % (len(words), "f" if bits == 32 else "d"),
                          *(w / 32768 for w in words))
        fmt = struct.pack("<HHIIHH", 3, 2, rate, rate * bits // 4, bits // 4, bits)
    else:
        pcm = b"".join(b"\0" + struct.pack("<h", w) for w in words)
        fmt = struct.pack("<HHIIHH", 0xFFFE if kind == "extensible" else 1, 2, rate, rate * 6, 6, 24)
        if kind == "extensible":
            fmt += struct.pack("<HHI", 22, 24, 3) + PCM_GUID  # front left and right
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt
    body += b"data" + struct.pack("<I", len(pcm)) + pcm
    open(dst, "wb").write(b"RIFF" + struct.pack("<I", len(body)) + body)


main()
