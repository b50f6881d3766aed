# Sourced by every leg: strict mode, the checkout as the current folder, a
# work folder of the leg's own (removed at the end; builds go there, never
# into the checkout) and `needs`.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
jobs=$(nproc)
work=$(mktemp -d)
# The tests that run a program as another user reach it through here.
chmod 755 "$work"
trap 'rm -rf "$work"' EXIT

# needs what:package...: what is a command, or a path that must exist; the
# leg stops, naming the Debian packages that are missing. With
# CI_NEEDS=list it only prints those packages, for .ci/run to install.
needs() {
  local missing=() item
  for item in "$@"; do
    local what=${item%%:*}
    if [[ $what == /* ]]; then [ -e "$what" ]; else command -v "$what" >/dev/null; fi ||
      missing+=("${item#*:}")
  done
  if [ "${CI_NEEDS:-}" = list ]; then
    [ ${#missing[@]} -eq 0 ] || printf '%s\n' "${missing[@]}"
    exit 0
  fi
  [ ${#missing[@]} -eq 0 ] || { echo "$0 needs: ${missing[*]}" >&2; exit 1; }
}
