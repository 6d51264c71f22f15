#!/usr/bin/env bash
# A file manager end to end with the installed extension: under Xvfb, in a
# D-Bus session of its own with a throwaway home whose settings (a GSettings
# key file) open folders in the list view with our columns visible, it shows a
# folder of drawings; the extension's log must say it answered for every
# drawing. A screenshot of the window is kept as a record, not compared. Every
# wait is bounded and the file manager is stopped whatever happens; 77 means
# skipped (the file manager, Xvfb or the installed extension is missing). Caja
# keeps the messages of its extensions to itself, so its check cannot be made
# here: the extension's test program covers it.
#   FileManagerGui_test.sh nautilus|nemo OUTDIR DRAWING...
set -euo pipefail

if [ "${1:-}" = --session ]; then
  # Inside the display and the session: start the file manager on the folder,
  # wait until every drawing is answered (or a minute has passed), take the
  # screenshot, stop it.
  shift
  fm=$1
  outdir=$2
  count=$3
  log="$outdir/$fm.log"
  G_MESSAGES_DEBUG=Vexmeta "$fm" "$WORK/home/drawings" >"$log" 2>&1 &
  pid=$!
  trap 'kill "$pid" 2>/dev/null || true' EXIT
  status=1
  for _ in $(seq 1 120); do
    sleep 0.5
    answered=$(grep -cE '^.*Vexmeta-DEBUG.*/home/drawings/.*: answered' "$log" || true)
    if [ "$answered" -ge "$count" ]; then
      status=0
      break
    fi
  done
  sleep 2  # the list view draws the answers
  import -window root "$outdir/$fm.png" 2>/dev/null || true
  kill "$pid" 2>/dev/null || true
  for _ in $(seq 1 20); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.25
  done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  trap - EXIT
  if [ "$status" -ne 0 ]; then
    echo "$fm: the extension answered for $answered of $count drawings within a minute"
    tail -n 30 "$log"
  fi
  exit "$status"
fi

fm=$1
outdir=$(realpath -m "$2")
shift 2
for tool in "$fm" xvfb-run dbus-run-session timeout import pkg-config; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
case "$fm" in
  nautilus) module=libnautilus-extension-4 ;;
  nemo) module=libnemo-extension ;;
  *) echo "FileManagerGui_test.sh: nautilus or nemo, not $fm"; exit 2 ;;
esac
extension="$(pkg-config --variable=extensiondir "$module")/libvexmeta-$fm.so"
[ -f "$extension" ] || { echo "skipped: $extension is not installed"; exit 77; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/home/drawings" "$WORK/config/glib-2.0/settings" "$WORK/data" "$WORK/cache" \
         "$WORK/runtime" "$outdir"
chmod 700 "$WORK/runtime"
cp "$@" "$WORK/home/drawings/"

# List view, small rows, and our columns visible beside the name and size.
columns="'name', 'size', 'vexmeta_calculated_width', 'vexmeta_calculated_height', \
'vexmeta_dimensions', 'vexmeta_metadata_title'"
{
  case "$fm" in
    nautilus)
      echo "[org/gnome/nautilus/preferences]"
      echo "default-folder-viewer='list-view'"
      echo "[org/gnome/nautilus/list-view]"
      echo "default-visible-columns=[$columns]"
      echo "default-column-order=[$columns]"
      echo "default-zoom-level='small'"
      echo "[org/gnome/nautilus/window-state]"
      echo "initial-size=(1380, 760)"
      ;;
    nemo)
      echo "[org/nemo/preferences]"
      echo "default-folder-viewer='list-view'"
      echo "show-desktop-icons=false"
      echo "[org/nemo/list-view]"
      echo "default-visible-columns=[$columns]"
      echo "default-column-order=[$columns]"
      echo "[org/nemo/window-state]"
      echo "geometry='1380x760+0+0'"
      echo "[org/nemo/desktop]"
      echo "show-desktop-icons=false"
      ;;
  esac
} >"$WORK/config/glib-2.0/settings/keyfile"

export HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/config" XDG_DATA_HOME="$WORK/data" \
       XDG_CACHE_HOME="$WORK/cache" XDG_RUNTIME_DIR="$WORK/runtime" WORK \
       GSETTINGS_BACKEND=keyfile GSK_RENDERER=cairo LIBGL_ALWAYS_SOFTWARE=1 NO_AT_BRIDGE=1 \
       LANGUAGE=en LC_ALL=C.UTF-8
# timeout signals its whole process group, the file manager included.
# The session's own chatter (D-Bus, portals, the desktop search) goes to a log.
timeout -k 5 120 xvfb-run -a -s "-screen 0 1400x800x24" \
  dbus-run-session -- bash "$0" --session "$fm" "$outdir" "$#" 2>"$outdir/$fm-session.log"
