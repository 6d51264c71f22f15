#!/bin/sh
# Makes ("make") or removes ("remove") the throwaway wine prefix the property
# handler's tests register it in, so that they never touch another prefix.
set -eu
action=$1
WINEPREFIX=$2
export WINEPREFIX
: "${WINEDEBUG:=-all}"
export WINEDEBUG
wine=wine
server=wineserver
command -v wine >/dev/null 2>&1 || wine=/usr/lib/wine/wine64
command -v wineserver >/dev/null 2>&1 || server=/usr/lib/wine/wineserver64
# The prefix's server, if one runs, ends first.
[ -d "$WINEPREFIX" ] && "$server" -k </dev/null >/dev/null 2>&1 || true
rm -rf "$WINEPREFIX"
if [ "$action" = make ]; then
  # No .NET or HTML engine is needed: the prefix comes up without asking for them.
  WINEDLLOVERRIDES="mscoree,mshtml=" "$wine" wineboot --init </dev/null >/dev/null 2>&1
  "$server" -w </dev/null >/dev/null 2>&1 || true
  [ -f "$WINEPREFIX/system.reg" ] || { echo "wineboot made no prefix in $WINEPREFIX"; exit 1; }
fi
