#!/usr/bin/env bash
# Runs a command beside an ibus-daemon of its own, on a session bus of its own, that knows the
# components in COMPONENT_DIR: the user's own IBus, settings and caches are left alone.
# Usage: with_ibus_daemon.sh COMPONENT_DIR COMMAND...
set -uo pipefail
if [ -z "${ZIMBROTS_IBUS_BUS:-}" ]; then
  ZIMBROTS_IBUS_BUS=1 exec dbus-run-session -- "$0" "$@"
fi
components=$1
shift
work=$(mktemp -d)
. "$(dirname "$0")/../checks.sh"
trap 'stop "${daemon:-}"; rm -rf "$work"' EXIT
export HOME=$work XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache IBUS_ADDRESS_FILE=$work/ibus-address
IBUS_COMPONENT_PATH=$components ibus-daemon --panel=disable --emoji-extension=disable --config=/usr/libexec/ibus-memconf \
  --cache=none >"$work/daemon.log" 2>&1 &
daemon=$!
engine_listed() { saw="ibus list-engine says: $(ibus list-engine 2>&1 | tail -n 1)"; ibus list-engine 2>/dev/null | grep zimbrots >/dev/null; }
need "ibus-daemon starts and lists the engine" wait_for 30 engine_listed
"$@"
