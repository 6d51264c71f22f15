#!/usr/bin/env bash
# GNOME's desktop search end to end: the file-system indexer, in a D-Bus session
# of its own with a throwaway home and settings that index one folder, gives the
# drawings there to the extractor, which reads them with the module of the build
# tree (its rule and module beside the system's, as the package installs them).
# SPARQL queries must then find a drawing by its title and the drawings at
# least MIN_WIDTH pixels wide, exactly those; a file that is no SVG, a damaged
# compressed drawing and an empty file in the same folder get no facts. Every
# wait is bounded and the indexer is stopped whatever happens; 77 means skipped
# (the indexer is missing).
#   DesktopSearch_test.sh MODULE RULE SYSTEM_MODULES SYSTEM_RULES TITLE MIN_WIDTH DRAWING...
set -euo pipefail

# The file URLs a query answers, sorted; nothing when it fails.
query() {
  tracker3 sparql --dbus-service org.freedesktop.Tracker3.Miner.Files -q "$1" 2>/dev/null \
    | sed -n 's|^ *\(file://[^ ,]*\).*|\1|p' | sort || true
}

if [ "${1:-}" = --session ]; then
  # Inside the session: start the indexer (it starts the extractor through the
  # session bus), wait until both queries answer what they must (or two minutes
  # have passed), stop it and the extractor.
  /usr/libexec/"$2" >"$WORK/indexer.log" 2>&1 &
  indexer=$!
  trap 'kill "$indexer" 2>/dev/null || true' EXIT
  # Queries before the indexer holds its name would start a second one. It
  # takes the name once its database is made, which a busy machine may take a
  # minute over.
  gdbus wait --session --timeout 150 org.freedesktop.Tracker3.Miner.Files \
    || { echo "the indexer did not start in 150 s"; tail -n 30 "$WORK/indexer.log"; exit 1; }
  by_title="SELECT ?url WHERE { ?c nie:title \"$TITLE\" ; nie:isStoredAs ?f . ?f nie:url ?url }"
  by_width="SELECT ?url WHERE { ?c nfo:width ?w ; nie:isStoredAs ?f . ?f nie:url ?url .
            FILTER (?w >= $MIN_WIDTH) }"
  any_fact="SELECT ?url WHERE { ?c nie:isStoredAs ?f . ?f nie:url ?url .
            { ?c nfo:width ?w } UNION { ?c nie:title ?t } UNION { ?c nie:generator ?g } }"
  status=1
  for _ in $(seq 1 240); do
    sleep 0.5
    if [ "$(query "$by_title")" = "$WANT_TITLE" ] && [ "$(query "$by_width")" = "$WANT_WIDTH" ]; then
      status=0
      break
    fi
  done
  # The other files were in the same folder: by now they have been given to
  # the extractor too, and none has a fact.
  [ "$status" -eq 0 ] || echo "the index lacks a fact after two minutes"
  with_facts=$(query "$any_fact")
  for file in $OTHERS; do
    if grep -qx "file://$file" <<<"$with_facts"; then
      echo "$file, which is no drawing, has facts in the index"
      status=1
    fi
  done
  if [ "$status" -ne 0 ]; then
    echo "by title \"$TITLE\": $(query "$by_title" | tr '\n' ' ')(want $WANT_TITLE)"
    echo "by nfo:width >= $MIN_WIDTH: $(query "$by_width" | tr '\n' ' ')(want $(tr '\n' ' ' <<<"$WANT_WIDTH"))"
    echo "with facts: $(tr '\n' ' ' <<<"$with_facts")"
    tail -n 30 "$WORK/indexer.log"
  fi
  # The extractor was started through the bus: it is stopped by its process id.
  extractor=$(gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
      --method org.freedesktop.DBus.GetConnectionUnixProcessID \
      org.freedesktop.Tracker3.Miner.Extract 2>/dev/null | sed -n 's/.*uint32 \([0-9]*\).*/\1/p') || true
  [ -n "$extractor" ] && kill "$extractor" 2>/dev/null || true
  kill "$indexer" 2>/dev/null || true
  for _ in $(seq 1 20); do
    kill -0 "$indexer" 2>/dev/null || break
    sleep 0.25
  done
  kill -KILL "$indexer" 2>/dev/null || true
  wait "$indexer" 2>/dev/null || true
  trap - EXIT
  exit "$status"
fi

module=$1 rule=$2 system_modules=$3 system_rules=$4 host_tool=$5 TITLE=$6 MIN_WIDTH=$7
shift 7
for tool in tracker3 dbus-run-session gdbus timeout python3; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
[ -x /usr/libexec/tracker-miner-fs-3 ] && [ -x /usr/libexec/tracker-extract-3 ] \
  && [ -d "$system_modules" ] && [ -d "$system_rules" ] \
  || { echo "skipped: the indexer (tracker-miner-fs, tracker-extract) is not installed"; exit 77; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
drawings="$WORK/home/drawings"
mkdir -p "$drawings" "$WORK/config/glib-2.0/settings" "$WORK/data" "$WORK/cache" \
         "$WORK/runtime" "$WORK/rules" "$WORK/modules" "$WORK/tmp"
chmod 700 "$WORK/runtime"
ln -s "$system_rules"/* "$WORK/rules/"
ln -s "$system_modules"/* "$WORK/modules/"
# The build's rule and module stand in for an installed copy of the same name.
ln -sfn "$(realpath "$rule")" "$WORK/rules/"
ln -sfn "$(realpath "$module")" "$WORK/modules/"
cp "$@" "$drawings/"
printf 'plain words, no markup\n' >"$drawings/no-drawing.svg"
: >"$drawings/empty.svg"
compressed=$(ls "$drawings"/*.svgz | head -n 1)
head -c "$(($(stat -c %s "$compressed") - 40))" "$compressed" >"$drawings/cut-short.svgz"
OTHERS="$drawings/no-drawing.svg $drawings/empty.svg $drawings/cut-short.svgz"

# What the queries must find, from the host tool's report on the same files.
report=$("$host_tool" --json "$drawings" 2>/dev/null || true)
wanted() {
  python3 -c '
import json, pathlib, sys
which, title, width = sys.argv[1], sys.argv[2], int(sys.argv[3])
for row in json.load(sys.stdin):
    url = pathlib.Path(row["File"]).resolve().as_uri()
    sized = (row["Calculated Width (96)"] or 0) >= width and row["Calculated Height (96)"]
    if (which == "title" and row["Metadata Title"] == title) or (which == "width" and sized):
        print(url)
' "$1" "$TITLE" "$MIN_WIDTH" <<<"$report"
}
WANT_TITLE=$(wanted title | sort)
WANT_WIDTH=$(wanted width | sort)
[ -n "$WANT_TITLE" ] && [ -n "$WANT_WIDTH" ] \
  || { echo "no drawing is titled \"$TITLE\" or at least $MIN_WIDTH wide: a test without a case"; exit 1; }

# The indexer's settings: the one folder, at once, nothing else.
cat >"$WORK/config/glib-2.0/settings/keyfile" <<EOF2
[org/freedesktop/tracker/miner/files]
index-recursive-directories=['$drawings']
index-single-directories=@as []
index-applications=false
initial-sleep=0
EOF2

# The indexer skips folders in the temporary folder: TMPDIR names another.
export TMPDIR="$WORK/tmp" HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/config" XDG_DATA_HOME="$WORK/data" \
       XDG_CACHE_HOME="$WORK/cache" XDG_RUNTIME_DIR="$WORK/runtime" WORK OTHERS \
       TITLE MIN_WIDTH WANT_TITLE WANT_WIDTH GSETTINGS_BACKEND=keyfile GIO_USE_VFS=local GIO_USE_VOLUME_MONITOR=unix \
       TRACKER_EXTRACTOR_RULES_DIR="$WORK/rules" TRACKER_EXTRACTORS_DIR="$WORK/modules"
# timeout signals its whole process group, the indexer and the extractor included.
status=0
timeout -k 5 330 dbus-run-session -- bash "$0" --session tracker-miner-fs-3 || status=$?
[ "$status" -ne 124 ] || echo "the indexer and the queries took longer than 330 s"
exit "$status"
