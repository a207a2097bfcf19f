#!/usr/bin/env bash
# The installed tree as a desktop sees it: installs the build into a fresh
# prefix, checks that the "tarnwick" command reaches the program with its
# add-ons beside it, that the desktop entry, the icon and the AppStream
# metadata name each other, and runs desktop-file-validate and appstreamcli
# on them. Exits 77 (skipped) when neither validator is installed.
#   install-check.sh BUILD-DIR
set -euo pipefail
build=$1
validators=0
command -v desktop-file-validate >/dev/null && validators=$((validators + 1))
command -v appstreamcli >/dev/null && validators=$((validators + 1))
if [ "$validators" -eq 0 ]; then
  echo "neither desktop-file-validate nor appstreamcli is installed: skipped"
  exit 77
fi
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "FAIL: $*" >&2; exit 1; }
desktop=$prefix/share/applications/com.orrisec.tarnwick.desktop
metainfo=$prefix/share/metainfo/com.orrisec.tarnwick.metainfo.xml
[ -f "$desktop" ] || fail "no desktop entry"
[ -f "$metainfo" ] || fail "no AppStream metadata"

# The command of the entry is on the installed PATH and is the program,
# with the command library and the driver add-ons in its "add-ons" folder.
exec_line=$(sed -n 's/^Exec=//p' "$desktop" | head -n 1)
command_name=${exec_line%% *}
[ -x "$prefix/bin/$command_name" ] || fail "Exec=$command_name is not installed in bin"
program=$(readlink -f "$prefix/bin/$command_name")
[ -f "$(dirname "$program")/add-ons/generic" ] || fail "no add-ons/generic beside $program"
ls "$(dirname "$program")"/add-ons/drv-* >/dev/null 2>&1 || fail "no driver add-ons beside $program"

# Icon and ids agree.
icon=$(sed -n 's/^Icon=//p' "$desktop" | head -n 1)
[ -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "icon $icon is not installed"
grep -q "<launchable type=\"desktop-id\">$(basename "$desktop")</launchable>" "$metainfo" \
  || fail "the metadata does not launch $(basename "$desktop")"
grep -q "<binary>$command_name</binary>" "$metainfo" || fail "the metadata does not provide $command_name"

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate"
  echo "desktop-file-validate: ok"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net --pedantic "$metainfo" || fail "appstreamcli validate"
fi
echo "installed files: ok"
