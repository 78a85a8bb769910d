#!/usr/bin/env bash
# Runs a command beside a Fcitx5 of its own, on a session bus of its own, once it lists the
# installed Zimbrots: the user's own Fcitx5 and its settings are left alone.
# Usage: with_fcitx5.sh COMMAND...
set -uo pipefail
if [ -z "${ZIMBROTS_FCITX5_BUS:-}" ]; then
  ZIMBROTS_FCITX5_BUS=1 exec dbus-run-session -- "$0" "$@"
fi
work=$(mktemp -d)
. "$(dirname "$0")/../checks.sh"
trap 'stop "${fcitx5:-}"; rm -rf "$work"' EXIT
need "Fcitx5 starts and lists the input method zimbrots" start_fcitx5 "$work"
"$@"
