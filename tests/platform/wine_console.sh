#!/bin/sh
# Wine gives a console program that runs on a pseudo-terminal a console, and
# writes its text to the terminal in UTF-8: the messages must read there
# under either ANSI code page, the Japanese and the Western one.
# usage: wine_console.sh <sarvik.exe> <input wav> <output file>, Windows paths
set -eu
for lang in ja_JP.UTF-8 en_US.UTF-8; do
  shown=$(LANG=$lang script -qec "wine '$1' '$2' '$3'; wine '$1' missing.wav '$3'" /dev/null || true)
  for text in "1つ目のヘッダが96000バイト目に見つかりました。" "データタイプ: Dolby Digital (AC-3)" \
              "ビットストリーム: 125フレーム, 96000バイト" "読み取りファイルが開けませんでした。"; do
    case $shown in
      *"$text"*) ;;
      *) printf 'LANG=%s: "%s" not shown in:\n%s\n' "$lang" "$text" "$shown"; exit 1 ;;
    esac
  done
done
