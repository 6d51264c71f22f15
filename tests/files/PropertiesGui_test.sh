#!/usr/bin/env bash
# A file manager's Properties dialog end to end with the installed module:
# under Xvfb, in a D-Bus session of its own with a throwaway home, the file
# manager is started and asked over D-Bus for the properties of a drawing; the module's log must say it gave the dialog its Drawing page,
# and the dialog's pages are shown one after the other (xdotool clicks on its
# tabs) and a screenshot of each kept as a record, not compared. Every wait is bounded and the file manager is stopped
# whatever happens; 77 means skipped (the file manager, Xvfb, xdotool or the
# installed module is missing).
#   PropertiesGui_test.sh nautilus|nemo|thunar OUTDIR DRAWING
set -euo pipefail

if [ "${1:-}" = --session ]; then
  shift
  fm=$1
  outdir=$2
  drawing=$3
  log="$outdir/$fm-properties.log"
  uri="file://$drawing"
  case "$fm" in
    nemo)
      # A window of its own keeps Nemo running (a dialog alone does not).
      G_MESSAGES_DEBUG=Vexmeta nemo "$(dirname "$drawing")" >"$log" 2>&1 &
      name=org.freedesktop.FileManager1
      ask=(--object-path /org/freedesktop/FileManager1
           --method org.freedesktop.FileManager1.ShowItemProperties "['$uri']" "")
      ;;
    nautilus)
      G_MESSAGES_DEBUG=Vexmeta nautilus "$(dirname "$drawing")" >"$log" 2>&1 &
      name=org.freedesktop.FileManager1
      ask=(--object-path /org/freedesktop/FileManager1
           --method org.freedesktop.FileManager1.ShowItemProperties "['$uri']" "")
      ;;
    thunar)
      G_MESSAGES_DEBUG=Vexmeta thunar --daemon >"$log" 2>&1 &
      name=org.xfce.FileManager
      ask=(--object-path /org/xfce/FileManager
           --method org.xfce.FileManager.DisplayFileProperties "$uri" "$DISPLAY" "")
      ;;
  esac
  pid=$!
  trap 'kill "$pid" 2>/dev/null || true' EXIT
  status=1
  for _ in $(seq 1 60); do
    sleep 0.5
    if gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
         --method org.freedesktop.DBus.NameHasOwner "$name" 2>/dev/null | grep -q true; then
      status=0
      break
    fi
  done
  if [ "$status" -eq 0 ]; then
    gdbus call --session --dest "$name" "${ask[@]}" >/dev/null
    status=1
    for _ in $(seq 1 60); do
      sleep 0.5
      if grep -q "Vexmeta-DEBUG.*$drawing: page filled" "$log"; then
        status=0
        break
      fi
    done
  fi
  if [ "$fm" = nautilus ]; then
    # GNOME Files shows a page of its dialog at a time, without tabs: the
    # dialog as it opens is kept, then the page its last row (Drawing, the
    # last extension's) opens.
    sleep 3
    import -window root "$outdir/$fm-properties-1.png" 2>/dev/null || true
    if window=$(timeout 20 xdotool search --sync --onlyvisible --name "^Properties$" | head -n 1) \
       && [ -n "$window" ]; then
      eval "$(xdotool getwindowgeometry --shell "$window")"
      xdotool mousemove --window "$window" $((WIDTH / 2)) $((HEIGHT - 50)) click 1
      sleep 2
      import -window root "$outdir/$fm-properties-2.png" 2>/dev/null || true
    fi
  elif window=$(timeout 20 xdotool search --sync --onlyvisible --name " Properties" | head -n 1) \
     && [ -n "$window" ]; then
    xdotool windowfocus --sync "$window" 2>/dev/null || true
    sleep 1
    # Where the pages come depends on the order the extensions load in, so
    # every page is kept: clicks along the row of tabs show one page after the
    # other, and a screenshot is kept of each page that differs from the last.
    page=0
    last=""
    for x in $(seq 30 50 630); do
      xdotool mousemove --window "$window" "$x" 22 click 1
      sleep 0.7
      shot="$outdir/$fm-properties-$((page + 1)).png"
      import -window root "$shot" 2>/dev/null || continue
      sum=$(convert "$shot" rgb:- | md5sum)
      if [ "$sum" = "$last" ]; then
        rm -f "$shot"
      else
        last=$sum
        page=$((page + 1))
      fi
    done
  else
    echo "$fm: no properties dialog appeared"
    status=1
  fi
  kill "$pid" 2>/dev/null || true
  for _ in $(seq 1 20); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.25
  done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  trap - EXIT
  if [ "$status" -ne 0 ]; then
    echo "$fm: the module did not give the properties dialog its Drawing page"
    tail -n 30 "$log"
  fi
  exit "$status"
fi

fm=$1
outdir=$(realpath -m "$2")
drawing=$3
for tool in "$fm" xvfb-run dbus-run-session gdbus timeout xdotool import pkg-config; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
case "$fm" in
  nautilus) module="$(pkg-config --variable=extensiondir libnautilus-extension-4)/libvexmeta-nautilus.so" ;;
  nemo) module="$(pkg-config --variable=extensiondir libnemo-extension)/libvexmeta-nemo.so" ;;
  thunar) module="$(pkg-config --variable=extensionsdir thunarx-3)/vexmeta-thunar.so" ;;
  *) echo "PropertiesGui_test.sh: nautilus, nemo or thunar, not $fm"; exit 2 ;;
esac
[ -f "$module" ] || { echo "skipped: $module is not installed"; exit 77; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/home/drawings" "$WORK/config" "$WORK/data" "$WORK/cache" "$WORK/runtime" "$outdir"
chmod 700 "$WORK/runtime"
cp "$drawing" "$WORK/home/drawings/"
copy="$WORK/home/drawings/$(basename "$drawing")"

export HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/config" XDG_DATA_HOME="$WORK/data" \
       XDG_CACHE_HOME="$WORK/cache" XDG_RUNTIME_DIR="$WORK/runtime" \
       GSETTINGS_BACKEND=memory GSK_RENDERER=cairo LIBGL_ALWAYS_SOFTWARE=1 NO_AT_BRIDGE=1 \
       LANGUAGE=en LC_ALL=C.UTF-8
# timeout signals its whole process group, the file manager included.
timeout -k 5 120 xvfb-run -a -s "-screen 0 1024x768x24" \
  dbus-run-session -- bash "$0" --session "$fm" "$outdir" "$copy" 2>"$outdir/$fm-properties-session.log"
