#!/bin/sh
# The Windows program under wine, in situations only the host's shell can
# make. First, a folder of a case-sensitive file system: G0.DIR and G0.IMG
# are one archive, and g0.img beside them is an unrelated file that a
# case-blind lookup of "G0.img" could open instead. Every command must pair
# G0.DIR with G0.IMG and never write into g0.img.
set -eu
cli="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# G0.DIR: one entry, a.dff at sector 0, one sector long.
{ printf '\000\000\000\000\001\000\000\000a.dff'; head -c 19 /dev/zero; } > G0.DIR
head -c 2048 /dev/zero | tr '\000' 'A' > G0.IMG
printf 'an unrelated disk image\n' > g0.img
cp g0.img g0.img.before
printf 'new model' > new.dff

fail() { echo "FAILED: $*" >&2; exit 1; }

wine "$cli" add G0 new.dff || fail "add G0"
wine "$cli" export G0 new.dff out.dff || fail "export"
head -c 9 out.dff | cmp -s - new.dff || fail "the new entry does not read back its bytes"
wine "$cli" check G0 > check.txt || fail "check G0: $(cat check.txt)"
cmp -s g0.img g0.img.before || fail "add wrote into the unrelated g0.img"

# Naming the unrelated file: it has no directory file of its own.
if wine "$cli" add g0.img new.dff 2> err.txt; then fail "add g0.img succeeded"; fi
grep -q "File not found" err.txt || fail "add g0.img: $(cat err.txt)"
cmp -s g0.img g0.img.before || fail "add g0.img changed g0.img"

# Standard output handed over by the shell, open on the directory file:
# wine cannot say which file that is, so the export must not write to it.
cp G0.DIR G0.DIR.before
if wine "$cli" export G0 a.dff - 1<>G0.DIR 2> err.txt; then fail "export onto G0.DIR succeeded"; fi
cmp -s G0.DIR G0.DIR.before || fail "export wrote into G0.DIR"
grep -q "cannot be told apart" err.txt || fail "export onto G0.DIR: $(cat err.txt)"
echo "passed"
