#!/usr/bin/env bash
# The desktop search indexer end to end: baloo_file, in a D-Bus session of its
# own with a throwaway home whose index covers one folder, indexes a few drawings
# through the extractor in PLUGIN_ROOT (given as QT_PLUGIN_PATH), and balooshow
# must list width, height and generator for each. Every wait is bounded and the
# indexer is stopped whatever happens; 77 means skipped (the indexer is missing).
#   DesktopIndex_test.sh PLUGIN_ROOT DRAWING...
set -euo pipefail

if [ "${1:-}" = --session ]; then
  # Inside the session: start the indexer, wait until every drawing shows its
  # facts (or a minute has passed), print what the index holds, stop it.
  shift
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
  for file in "$@"; do balooshow -x "$file" 2>&1 || true; done
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
shift
for tool in baloo_file balooshow dbus-run-session timeout; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/home/drawings" "$WORK/config" "$WORK/data" "$WORK/cache" "$WORK/runtime"
chmod 700 "$WORK/runtime"
drawings=()
for file in "$@"; do
  cp "$file" "$WORK/home/drawings/"
  drawings+=("$WORK/home/drawings/$(basename "$file")")
done
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
       QT_PLUGIN_PATH="$plugin_root" QT_QPA_PLATFORM=offscreen
# timeout signals its whole process group, the indexer included.
timeout -k 5 90 dbus-run-session -- bash "$0" --session "${drawings[@]}"
