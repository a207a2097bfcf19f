#!/usr/bin/env bash
# tarnwick-cli record --cd-text end to end: a three-track project with French,
# Polish and Japanese names goes to the default virtual recorder. The CUE the
# recorder leaves names its packs file and carries the texts as written
# (ISO 8859-1, Polish letters transliterated, Japanese replaced by "?"), which
# cd-info shows; a virtual reader loaded with the image gives the same names
# through the program's own CD-Text reading (READ TOC format 5, decoder).
#   cli-cdtext-test.sh PATH-TO-tarnwick-cli
set -euo pipefail
cli=$1
for tool in ffmpeg python3; do
	command -v "$tool" > /dev/null || { echo "SKIP: $tool is missing"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/home/config XDG_DATA_HOME=$work/home/data
unset TARNWICK_VIRTUAL_DRIVES
project="$work/Chansons d'été"
mkdir -p "$HOME" "$project"
for i in 1 2 3; do
	ffmpeg -loglevel error -f lavfi -i "sine=frequency=$((300 * i)):duration=4" -ar 44100 -ac 2 -c:a pcm_s16le \
		"$project/0$i.wav"
done
python3 - "$project" <<'PY'
import os, sys
names = [("Édith Piaf", "La Vie en rose"), ("Czesław Niemen", "Dziwny jest ten świat"),
	("坂本龍一", "戦場のメリークリスマス")]
for i, (artist, title) in enumerate(names):
	path = os.path.join(sys.argv[1], "0%d.wav" % (i + 1))
	os.setxattr(path, "user.Audio:Artist", artist.encode())
	os.setxattr(path, "user.Audio:Title", title.encode())
PY

fail() { echo "FAIL: $1"; cat "$work/record.txt"; exit 1; }
"$cli" record "$project" --cd-text > "$work/record.txt" 2>&1 || fail "the recording failed"
grep -qx "CD-Text: characters replaced in track 2, track 3" "$work/record.txt" || fail "no notice of the lost characters"
grep -qx "Writing CD-Text" "$work/record.txt" || fail "no CD-Text lead-in"
images=$XDG_DATA_HOME/tarnwick/virtual-recorder
cue=$images/recording-001.cue
test -f "$images/recording-001.cdt" || fail "no packs file"
grep -qx 'CDTEXTFILE "recording-001.cdt"' "$cue" || fail "the CUE does not name the packs"

if command -v cd-info > /dev/null; then
	cd-info --no-header --no-device-info --cue-file "$cue" > "$work/cd-info.txt" 2>&1 || true
	# Disc, then per track title and performer, as cd-info prints them.
	python3 - "$work/cd-info.txt" <<'PY' || { cat "$work/cd-info.txt"; exit 1; }
import sys
text = open(sys.argv[1], encoding="utf-8").read()
expected = {
	"Disc": [("TITLE", "Chansons d'été")],
	"Track  1": [("TITLE", "La Vie en rose"), ("PERFORMER", "Édith Piaf")],
	"Track  2": [("TITLE", "Dziwny jest ten swiat"), ("PERFORMER", "Czeslaw Niemen")],
	"Track  3": [("TITLE", "???????????"), ("PERFORMER", "????")],
}
for section, fields in expected.items():
	start = text.find("CD-TEXT for %s:" % section)
	if start < 0:
		sys.exit("cd-info shows no CD-Text for " + section)
	end = text.find("CD-TEXT for", start + 1)
	block = text[start:end if end > 0 else len(text)]
	for key, value in fields:
		if "\t%s: %s\n" % (key, value) not in block:
			sys.exit("cd-info: %s has no %s %r" % (section, key, value))
PY
else
	echo "cd-info is missing: its check is skipped"
fi

# The program's own reading: a reader loaded with the image. The CUE's text
# lines are dropped so that the names can only come from the packs.
grep -v '^ *\(TITLE\|PERFORMER\) ' "$cue" > "$images/packs-only.cue"
printf '[drive]\nproduct = "Reader"\nwrite_cdr = no\nwrite_cdrw = no\nimage = %s\ntiming = instant\n' \
	"$images/packs-only.cue" > "$work/drives"
TARNWICK_VIRTUAL_DRIVES=$work/drives "$cli" devices > "$work/devices.txt" 2>&1 || fail "devices failed"
for line in "    title: Chansons d'été" "     1  00:04.00  Édith Piaf - La Vie en rose" \
	"     2  00:04.00  Czeslaw Niemen - Dziwny jest ten swiat" "     3  00:04.00  ???? - ???????????"; do
	grep -qxF "$line" "$work/devices.txt" || { cat "$work/devices.txt"; fail "the reader does not give: $line"; }
done

# Upper case changes the texts written, not the project.
"$cli" record "$project" --cd-text=upper > "$work/record.txt" 2>&1 || fail "the second recording failed"
grep -q '^    TITLE "LA VIE EN ROSE"$' "$images/recording-002.cue" || fail "no upper-case title"
python3 -c 'import os,sys; sys.exit(os.getxattr(sys.argv[1], "user.Audio:Title") != "La Vie en rose".encode())' \
	"$project/01.wav" || fail "the project's title changed"

# Track at once writes none, and says so.
"$cli" record "$project" --cd-text --tao > "$work/record.txt" 2>&1 || fail "the track-at-once recording failed"
grep -qx "CD-Text: not written in track-at-once mode" "$work/record.txt" || fail "no track-at-once notice"
test ! -e "$images/recording-003.cdt" || fail "track at once wrote CD-Text"
echo "PASS"
