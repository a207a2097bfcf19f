#!/usr/bin/env bash
# The round trip: a folder of three short sound files is recorded onto the
# virtual recorder with `tarnwick-cli record`; the written disc is loaded
# into virtual readers and ripped to FLAC with `tarnwick-cli rip`, the
# steady reader in secure mode.
#  - Every file decodes to its source samples (the first track's leading
#    digital silence removed), followed by nothing but silence (the
#    recorder's padding to whole sectors); the tags are there (ffprobe).
#  - The rip log's CRC32 and AccurateRip v1/v2 checksums equal those
#    computed here, from the published formulas, over the disc's tracks.
#  - A reader with read offset -1164 and jitter, ripped with the matching
#    offset and automatic read synchronisation, gives the same files; the
#    same reader without read synchronisation does not.
#   rip-round-trip-test.sh PATH-TO-tarnwick-cli
set -euo pipefail
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/home/config XDG_DATA_HOME=$work/home/data
mkdir -p "$HOME" "$work/project"

# Three tracks of random audio; none is a whole number of sectors long, and
# the first begins with 2000 silent frames.
python3 - "$work/project" <<'PY'
import random, sys, wave
random.seed(15)
def make(name, frames, silent=0):
    audio = bytes(silent * 4) + random.randbytes((frames - silent) * 4)
    with wave.open(f"{sys.argv[1]}/{name}", "wb") as out:
        out.setnchannels(2); out.setsampwidth(2); out.setframerate(44100)
        out.writeframes(audio)
make("01 First.wav", 4 * 44100 + 123, silent=2000)
make("02 Second.wav", 4 * 44100 + 3 * 588)
make("03 Third.wav", 5 * 44100 + 77)
PY

cat > "$work/recorder" <<DRIVES
[drive]
product = "Round Recorder"
timing = instant
output = $work/written
DRIVES
TARNWICK_VIRTUAL_DRIVES=$work/recorder "$cli" record "$work/project" > "$work/record.txt" 2>&1 \
	|| { cat "$work/record.txt"; exit 1; }
cue=$(ls "$work"/written/recording-*.cue | head -1)

reader() {   # reader NAME OFFSET JITTER
	cat > "$work/$1" <<DRIVES
[drive]
product = "Round Reader"
write_cdr = no
write_cdrw = no
image = $cue
timing = instant
read_offset = $2
jitter = $3
DRIVES
}
reader steady 0 0
reader shaky -1164 "200 40"

rip() {   # rip DRIVES DEST ARGS...
	local drives=$1 dest=$2
	shift 2
	TARNWICK_VIRTUAL_DRIVES=$work/$drives "$cli" rip --preset flac --dest "$work/$dest" "$@" > "$work/$dest.txt" 2>&1 \
		|| { cat "$work/$dest.txt"; exit 1; }
}
rip steady plain --secure
rip shaky synced --offset -1164 --sync 3 --sync-mode auto
rip shaky unsynced --offset -1164 --sync 0

# Decodes, compares with the sources and checks the checksums of the log.
python3 - "$work" "$cue" <<'PY'
import array, glob, os, re, subprocess, sys, wave, zlib
work, cue = sys.argv[1], sys.argv[2]

def fail(text):
    print("round trip:", text)
    sys.exit(1)

def decode(path):
    return subprocess.run(["ffmpeg", "-loglevel", "error", "-i", path, "-f", "s16le", "-"],
                          check=True, capture_output=True).stdout

def accuraterip(track, first, last):
    # v1: sum of (position x frame) over the track's 32-bit frames, mod 2^32;
    # v2: the same products' low and high 32 bits added. Positions count from
    # 1; the first track leaves out its first 2939 frames, the last track its
    # last 2940.
    frames = array.array("I")
    frames.frombytes(track)
    if sys.byteorder != "little":
        frames.byteswap()
    low = 2940 if first else 1
    high = len(frames) - 2940 if last else len(frames)
    v1 = v2 = 0
    for position in range(low, high + 1):
        product = position * frames[position - 1]
        v1 += product
        v2 += (product & 0xFFFFFFFF) + (product >> 32)
    return v1 & 0xFFFFFFFF, v2 & 0xFFFFFFFF

sources = []
for path in sorted(glob.glob(f"{work}/project/*.wav")):
    with wave.open(path) as source:
        sources.append(source.readframes(source.getnframes()))
# The engine removes the first track's leading silent frames.
silent = len(sources[0]) - len(sources[0].lstrip(b"\0"))
sources[0] = sources[0][silent - silent % 4:]

files = {}
for folder in ("plain", "synced", "unsynced"):
    files[folder] = [decode(path) for path in sorted(glob.glob(f"{work}/{folder}/*.flac"))]
    if len(files[folder]) != 3:
        fail(f"{folder}: {len(files[folder])} files instead of 3")

for number, (source, ripped) in enumerate(zip(sources, files["plain"]), 1):
    if len(ripped) < len(source) or ripped[:len(source)] != source:
        fail(f"track {number} does not decode to its source")
    if ripped[len(source):].strip(b"\0"):
        fail(f"track {number} has more than silence after its source")
    if len(ripped) - len(source) >= 2352 * 75 * 2 + 2352:
        fail(f"track {number} is too long")
if files["synced"] != files["plain"]:
    fail("the jittering reader with read offset -1164 and read synchronisation is not exact")
if not re.search(r"Jitter corrections: [1-9]", open(f"{work}/synced/Tarnwick rip log.txt").read()):
    fail("the log of the jittering reader shows no jitter corrections")
if files["unsynced"] == files["plain"]:
    fail("the jittering reader without read synchronisation came out exact")

for path in glob.glob(f"{work}/plain/*.flac"):
    tags = subprocess.run(["ffprobe", "-loglevel", "error", "-show_format", path],
                          check=True, capture_output=True, text=True).stdout.lower()
    for tag in ("tag:title=", "tag:album=", "tag:track=", "tag:musicbrainz_discid="):
        if tag not in tags:
            fail(f"{os.path.basename(path)} has no {tag}")

# The disc's tracks, from the image the recorder wrote.
starts = [(int(m) * 60 + int(s)) * 75 + int(f)
          for m, s, f in re.findall(r"INDEX 01 (\d+):(\d+):(\d+)", open(cue).read())]
image = open(os.path.join(os.path.dirname(cue), re.search(r'FILE "([^"]+)"', open(cue).read()).group(1)),
             "rb").read()
ends = starts[1:] + [len(image) // 2352]
log = open(f"{work}/plain/Tarnwick rip log.txt").read()
if log.count("Secure: both reads agree") != 3:
    fail("the secure rip did not prove every track")
logged = re.findall(r"CRC32: ([0-9A-F]{8})\n  AccurateRip v1: ([0-9A-F]{8})\n  AccurateRip v2: ([0-9A-F]{8})", log)
if len(logged) != 3:
    fail("the log does not list three tracks' checksums")
for number, (start, end) in enumerate(zip(starts, ends), 1):
    track = image[start * 2352:end * 2352]
    v1, v2 = accuraterip(track, number == 1, number == len(starts))
    expected = ("%08X" % zlib.crc32(track), "%08X" % v1, "%08X" % v2)
    if logged[number - 1] != expected:
        fail(f"track {number}: the log has {logged[number - 1]}, computed {expected}")
PY
echo "rip round trip: OK"
