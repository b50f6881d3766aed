#!/bin/sh
# Makes what a capture of a digital link carrying ENCODER's stream would be:
# 5 seconds of a 440 Hz tone, encoded by ffmpeg's ENCODER at RATE Hz, as
# NAME.stream, and the same frames muxed as IEC 61937 bursts by ffmpeg's
# spdif muxer and wrapped with wrap_spdif.py as NAME.wav, a capture at
# LINK_RATE Hz (RATE unless given; an HDMI link carries E-AC-3 and TrueHD at
# 192000). With a LINK_RATE, DTS is carried as DTS type IV (DTS-HD). Writes
# over what a run before left.
#
# usage: make_capture.sh ENCODER RATE NAME [LINK_RATE]
#   ENCODER: ac3, eac3, dca (DTS), truehd, mp2, libmp3lame, aac
set -eu
usage() { echo "usage: make_capture.sh ENCODER RATE NAME [LINK_RATE]" >&2; exit 2; }
[ $# -eq 3 ] || [ $# -eq 4 ] || usage
for number in "$2" "${4:-1}"; do
  case $number in '' | *[!0-9]* | 0*) usage ;; esac
done
encoder=$1 rate=$2 name=$3 link=${4:-$2}
muxing=
[ $# -eq 3 ] || [ "$encoder" != dca ] || muxing="-dtshd_rate $link"
case $encoder in
  dca) format=dts ;;
  libmp3lame) format="mp3 -write_xing 0 -id3v2_version 0" ;;
  aac) format=adts ;;
  *) format=$encoder ;;
esac
# shellcheck disable=SC2086 # the format's options are words of their own
ffmpeg -v error -y -f lavfi -i "sine=frequency=440:duration=5:sample_rate=$rate" -ac 2 \
  -c:a "$encoder" -strict -2 -f $format "$name.stream"
# shellcheck disable=SC2086 # so are the muxer's
ffmpeg -v error -y -i "$name.stream" -c copy -f spdif $muxing "$name.spdif"
python3 "$(dirname "$0")/wrap_spdif.py" "$name.spdif" "$link" "$name.wav"
