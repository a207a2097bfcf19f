#!/usr/bin/env bash
# tarnwick-cli rip end to end: a virtual reader with read offset +6 and a
# jitter fault holds a three-track disc of random audio; the rip to FLAC with
# the matching offset and read synchronisation must decode to the disc's
# exact samples (the last 6 samples of the disc, beyond the drive's reach,
# silent), carry the tags, write the log and exit 0. A rip without read
# synchronisation must not be exact.
#   cli-rip-test.sh PATH-TO-tarnwick-cli
set -euo pipefail
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/home/config XDG_DATA_HOME=$work/home/data
mkdir -p "$HOME"

# 3000 sectors of random audio: tracks at 0, 975 and 2025.
head -c $((3000 * 2352)) /dev/urandom > "$work/disc.bin"
cat > "$work/disc.cue" <<CUE
TITLE "Round Trip"
PERFORMER "Band"
FILE "disc.bin" BINARY
  TRACK 01 AUDIO
    TITLE "Alpha"
    PERFORMER "Band"
    INDEX 01 00:00:00
  TRACK 02 AUDIO
    TITLE "Beta"
    PERFORMER "Band"
    INDEX 01 00:13:00
  TRACK 03 AUDIO
    TITLE "Gamma"
    PERFORMER "Band"
    INDEX 01 00:27:00
CUE
cat > "$work/drives" <<DRIVES
[drive]
product = "Jitter Reader"
write_cdr = no
write_cdrw = no
image = disc.cue
timing = instant
read_offset = 6
jitter = 150 40
DRIVES
export TARNWICK_VIRTUAL_DRIVES=$work/drives

decode() { ffmpeg -loglevel error -y -i "$1" -f s16le "$2"; }
slice() { dd if="$work/disc.bin" bs=2352 skip="$1" count=$(($2 - $1)) status=none; }

"$cli" rip --preset flac --dest "$work/sync" --offset 6 --sync 3 > "$work/sync.txt"
for name in "Band: Alpha" "Band: Beta" "Band: Gamma"; do
	test -f "$work/sync/$name.flac" || { echo "missing $name.flac"; cat "$work/sync.txt"; exit 1; }
done
decode "$work/sync/Band: Alpha.flac" "$work/a.raw"
decode "$work/sync/Band: Beta.flac" "$work/b.raw"
decode "$work/sync/Band: Gamma.flac" "$work/c.raw"
slice 0 975 | cmp - "$work/a.raw"
slice 975 2025 | cmp - "$work/b.raw"
# The last track: exact but for its last 6 samples, which are silence.
size=$((975 * 2352))
test "$(stat -c %s "$work/c.raw")" -eq $size
cmp -n $((size - 24)) <(slice 2025 3000) "$work/c.raw"
test "$(tail -c 24 "$work/c.raw" | od -An -tx1 | tr -d ' \n')" = "$(printf '0%.0s' $(seq 48))"
ffprobe -loglevel error -show_entries format_tags "$work/sync/Band: Beta.flac" > "$work/tags.txt"
grep -q "TAG:title=Beta" "$work/tags.txt"
grep -q "TAG:artist=Band" "$work/tags.txt"
grep -qi "TAG:track=2" "$work/tags.txt"
grep -qi "MUSICBRAINZ_DISCID=" "$work/tags.txt"
grep -q "AccurateRip" "$work/sync/Tarnwick rip log.txt"

# Without read synchronisation the jitter shows.
"$cli" rip --preset wav --tracks 2 --dest "$work/plain" --offset 6 --sync 0 > "$work/plain.txt"
decode "$work/plain/Band: Beta.wav" "$work/p.raw"
if slice 975 2025 | cmp -s - "$work/p.raw"; then
	echo "plain reads of a jittering drive came out exact"
	exit 1
fi

# A track that does not exist: exit status 1, no file.
if "$cli" rip --preset wav --tracks 7 --dest "$work/none" > "$work/none.txt" 2>&1; then
	echo "a missing track was reported as success"
	exit 1
fi
test -z "$(ls "$work/none" | grep -v 'rip log' || true)"
echo "cli rip: OK"
