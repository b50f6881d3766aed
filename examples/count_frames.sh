#!/bin/sh
# Prints how many frames of FILE ffmpeg decodes, and how many errors it
# reports doing so.
#
# usage: count_frames.sh FILE
if [ $# -ne 1 ] || [ ! -f "$1" ]; then echo "usage: count_frames.sh FILE" >&2; exit 2; fi
frames=$(ffprobe -v error -count_frames -select_streams a:0 -show_entries stream=nb_read_frames \
  -of csv=p=0 "$1" 2>/dev/null)
errors=$(ffmpeg -v error -i "$1" -f null - 2>&1 | wc -l)
echo "${frames:-0} frames decoded, $errors errors"
