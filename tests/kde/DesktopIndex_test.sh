#!/usr/bin/env bash
# The desktop search indexer end to end: baloo_file, in a D-Bus session of its
# own with a throwaway home whose index covers one folder, indexes a few drawings
# through the extractor in PLUGIN_ROOT (given as QT_PLUGIN_PATH), with the MIME
# definitions of MIME_PACKAGE installed in the home's MIME database as the
# package installs them in the system's, and balooshow must list width, height
# and generator for each. A ZIP-wrapped drawing is also copied under the name
# of a plain ZIP archive (.zip), which must get no facts: other ZIP files are
# not given to the extractor. Every wait is bounded and the indexer is stopped
# whatever happens; 77 means skipped (the indexer is missing).
#   DesktopIndex_test.sh PLUGIN_ROOT MIME_PACKAGE DRAWING...
set -euo pipefail

if [ "${1:-}" = --session ]; then
  # Inside the session: start the indexer, wait until every drawing shows its
  # facts (or a minute has passed), print what the index holds, stop it.
  shift
  read -r -a ARCHIVES <<<"${ARCHIVES:-}"
  baloo_file >"$WORK/indexer.log" 2>&1 &
  indexer=$!
  trap 'kill "$indexer" 2>/dev/null || true' EXIT
  status=1
  for _ in $(seq 1 120); do
    sleep 0.5
    missing=0
    for file in "$@"; do
      shown=$(balooshow -x "$file" 2>/dev/null || true)
      for fact in width height generator; do
        grep -q "^$fact: " <<<"$shown" || missing=1
      done
    done
    if [ "$missing" -eq 0 ]; then
      status=0
      break
    fi
  done
  for file in "$@" "${ARCHIVES[@]}"; do balooshow -x "$file" 2>&1 || true; done
  # The archives were in the same batches as the drawings: none got a fact.
  for file in "${ARCHIVES[@]}"; do
    if balooshow -x "$file" 2>/dev/null | grep -q "^width: "; then
      echo "the ZIP archive $file was given the facts of a drawing"
      status=1
    fi
  done
  kill "$indexer" 2>/dev/null || true
  for _ in $(seq 1 20); do
    kill -0 "$indexer" 2>/dev/null || break
    sleep 0.25
  done
  kill -KILL "$indexer" 2>/dev/null || true
  wait "$indexer" 2>/dev/null || true
  trap - EXIT
  [ "$status" -eq 0 ] || { echo "the index lacks a fact after a minute"; tail -n 30 "$WORK/indexer.log"; }
  exit "$status"
fi

plugin_root=$1
mime_package=$2
shift 2
for tool in baloo_file balooshow dbus-run-session timeout update-mime-database; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/home/drawings" "$WORK/config" "$WORK/data" "$WORK/cache" "$WORK/runtime"
chmod 700 "$WORK/runtime"
drawings=()
archives=()
for file in "$@"; do
  cp "$file" "$WORK/home/drawings/"
  drawings+=("$WORK/home/drawings/$(basename "$file")")
  if [ "$(head -c 2 "$file")" = PK ]; then
    archive="$WORK/home/drawings/$(basename "${file%.*}").zip"
    cp "$file" "$archive"
    archives+=("$archive")
  fi
done
mkdir -p "$WORK/data/mime/packages"
cp "$mime_package" "$WORK/data/mime/packages/"
XDG_DATA_HOME="$WORK/data" update-mime-database "$WORK/data/mime"
# Content indexing enabled for the one folder; the first-run scan is done at once.
cat >"$WORK/config/baloofilerc" <<EOF
[Basic Settings]
Indexing-Enabled=true

[General]
folders[\$e]=$WORK/home/drawings/
exclude folders[\$e]=
only basic indexing=false
first run=false
EOF

# The indexer's extraction process is a GUI application with no display here.
export HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/config" XDG_DATA_HOME="$WORK/data" \
       XDG_CACHE_HOME="$WORK/cache" XDG_RUNTIME_DIR="$WORK/runtime" WORK \
       ARCHIVES="${archives[*]}" \
       QT_PLUGIN_PATH="$plugin_root" QT_QPA_PLATFORM=offscreen
# timeout signals its whole process group, the indexer included.
timeout -k 5 90 dbus-run-session -- bash "$0" --session "${drawings[@]}"
