#!/bin/sh
# The Windows program under wine and the Linux program, at once, on one
# archive: each waits for the other's whole command, also when it reaches
# the directory file alone, through a link from a folder with no data file
# (lonely/y.dir -> ../x.dir). A long import holds the archive while the
# other program deletes an entry through lonely/y; afterwards both changes
# must be there (the import's save must not bring the deleted entry back).
# Usage: host_locks_test.sh WINDOWS-CLI LINUX-CLI; exits 77 (skipped)
# without a Linux brimlet-cli to run.
set -eu
exe=$(realpath "$1")
linux="${2:-}"
if [ -z "$linux" ] || [ ! -x "$linux" ]; then
  echo "skipped: no Linux brimlet-cli to run beside the Windows one"
  exit 77
fi
linux=$(realpath "$linux")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAILED: $*" >&2; exit 1; }

# x: a.dff at sector 0 and f.bin at sector 1, one sector each.
entry() { printf "$1"; printf '\001\000\000\000'; printf '%s' "$2"; head -c $((24 - ${#2})) /dev/zero; }
{ entry '\000\000\000\000' a.dff; entry '\001\000\000\000' f.bin; } > x.dir.start
head -c 4096 /dev/zero | tr '\000' 'A' > x.img.start
mkdir lonely
ln -s ../x.dir lonely/y.dir
# A large source, so that the import takes long enough to be met: sparse,
# so that it costs no disk space to make.
truncate -s 300M big.dff

round() {
  holder="$1" other="$2"
  cp x.dir.start x.dir
  cp x.img.start x.img
  $holder import x big.dff > /dev/null 2>&1 &
  importing=$!
  # Met while it runs: once the data file has grown.
  tries=0
  while [ "$(stat -c %s x.img)" -le 4096 ] && [ $tries -lt 400 ]; do sleep 0.05; tries=$((tries + 1)); done
  kill -0 $importing 2> /dev/null || echo "note: the import was over before the delete started"
  $other delete lonely/y f.bin > /dev/null 2> delete.err || fail "$other delete: $(cat delete.err)"
  wait $importing || fail "$holder import failed"
  list=$($linux list x)
  echo "$list" | grep -q 'big.dff' || fail "$holder import then $other delete: the imported entry is missing: $list"
  if echo "$list" | grep -q 'f.bin'; then fail "$holder import then $other delete: f.bin came back: $list"; fi
  $linux check x > check.txt || fail "check after $holder import: $(cat check.txt)"
}

round "wine $exe" "$linux"
round "$linux" "wine $exe"
echo "passed"
