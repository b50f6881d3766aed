#!/bin/sh
# Wine gives a console program that runs on a pseudo-terminal a console. A
# run that "lasts" seconds on sarvik_faulty's stepped clock shows the
# progress line where standard error is that console, and nothing of it
# where standard error is a file.
# usage: wine_progress.sh <sarvik_faulty.exe> <input wav> <output file>, Windows
#        paths, <error file>, a path here
set -eu
export SARVIK_CLOCK_STEP=400
shown=$(script -qec "wine '$1' '$2' '$3'" /dev/null)
case $shown in
  *"MiB/s"*) ;;
  *) printf 'no progress line on the console:\n%s\n' "$shown"; exit 1 ;;
esac
shown=$(script -qec "wine '$1' '$2' '$3' 2>'$4'" /dev/null)
case $shown in
  *"MiB/s"*) printf 'a progress line with standard error in a file:\n%s\n' "$shown"; exit 1 ;;
esac
if [ -s "$4" ]; then
  printf 'standard error, a file, got:\n'; od -c "$4"; exit 1
fi
