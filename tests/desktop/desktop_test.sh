#!/usr/bin/env bash
# Installs Zimbrots into a scratch prefix and uses the real program under Xvfb as a person
# would: keys, the clipboard, the About window, closing, and Exit.
# Usage: desktop_test.sh BUILD_DIR WM_CLOSE ARTEFACT_DIR VERSION
set -uo pipefail
build=$1 wm_close=$2 artefacts=$3 version_pattern=${4//./\\.}
work=$(mktemp -d)
mkdir -p "$artefacts"
passed=0 failed=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $1"; fi
}
cleanup() {
  [ -n "${app:-}" ] && kill "$app" 2>/dev/null
  [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null || { echo "install failed"; exit 1; }
check "installed files" test -x "$work/prefix/bin/zimbrots" -a -x "$work/prefix/bin/zimbrots-convert" \
  -a -f "$work/prefix/share/icons/hicolor/32x32/apps/zimbrots.png"
check "desktop entry validates" desktop-file-validate "$work/prefix/share/applications/lv.zimbrots.Zimbrots.desktop"
check "metainfo validates" appstreamcli validate --no-net --pedantic "$work/prefix/share/metainfo/lv.zimbrots.Zimbrots.metainfo.xml"

# Without a display the program says so in one sentence.
message=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$work/prefix/bin/zimbrots" 2>&1)
check "no display: one sentence, status 1" test "$?" = 1 -a "$(printf '%s\n' "$message" | wc -l)" = 1
case "$message" in *"no graphical display"*) ;; *) echo "said: $message"; failed=$((failed + 1)) ;; esac

exec 3< <(Xvfb -displayfd 1 -screen 0 800x600x24 -nolisten tcp 2>/dev/null & echo "pid $!")
read -r _ xvfb <&3
read -r number <&3
export DISPLAY=":$number"
unset QT_QPA_PLATFORM
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

start() {
  "$work/prefix/bin/zimbrots" 2>"$work/stderr" &
  app=$!
  window=""
  for _ in $(seq 100); do
    window=$(xdotool search --name "^Zimbrots v$version_pattern\$" 2>/dev/null | head -n 1)
    [ -n "$window" ] && break
    sleep 0.1
  done
  [ -n "$window" ] || { echo "the window did not appear"; cat "$work/stderr"; exit 1; }
  sleep 0.5
  xdotool windowfocus --sync "$window"
}
clipboard() { xclip -selection clipboard -o 2>/dev/null; }
wait_status() {  # waits up to 10 s for the program to end; sets status
  for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$app" 2>/dev/null && { echo "the program did not end"; kill "$app"; }
  wait "$app"; status=$?; app=""
  [ "$status" -le 1 ] || { echo "the program's messages:"; tail -n 40 "$work/stderr"; }
}

start
geometry=$(xwininfo -id "$window")
width=$(awk '/Width:/ { print $2 }' <<<"$geometry")
height=$(awk '/Height:/ { print $2 }' <<<"$geometry")
check "client area is 402 wide" test "$width" = 402
# The menu bar sits above the 279-pixel client area.
check "client area is 279 high below the menu ($height)" test "$height" -gt 290 -a "$height" -lt 320
hints=$(xprop -id "$window" WM_NORMAL_HINTS)
min=$(sed -n 's/.*minimum size: //p' <<<"$hints")
max=$(sed -n 's/.*maximum size: //p' <<<"$hints")
check "not resizable ($min / $max)" test -n "$min" -a "$min" = "$max"
import -window root "$artefacts/main-window.png"

xdotool type --delay 80 'Labdien, Žūžū!'
sleep 0.3
xdotool key ctrl+k ctrl+a ctrl+c
sleep 0.5
converted=$(clipboard)
check "typed, converted and copied ('$converted')" test "$converted" = '|_4bd|3|\|, 2|-||_||_|2|-||_||_|!'
import -window root "$artefacts/converted.png"

# About: modal, so keys for the main window do nothing until it closes.
xdotool key alt+a
sleep 0.8
about=$(xdotool search --name "^About Zimbrots v$version_pattern\$" 2>/dev/null | head -n 1)
check "About window opened" test -n "$about"
import -window root "$artefacts/about.png"
xdotool windowfocus "$window" 2>/dev/null; xdotool key ctrl+l; sleep 0.3
[ -n "$about" ] && { xdotool windowfocus --sync "$about"; xdotool key alt+u; sleep 0.5; }
check "About window closed" test -z "$(xdotool search --onlyvisible --name '^About Zimbrots' 2>/dev/null)"
xdotool windowfocus --sync "$window"
xdotool key ctrl+a ctrl+c
sleep 0.3
check "Ctrl+L did not reach the main window while About was open" test "$(clipboard)" = '|_4bd|3|\|, 2|-||_||_|2|-||_||_|!'

"$wm_close" "$window"
wait_status
check "closing the window gives status 0 ($status)" test "$status" = 0

start
xdotool type --delay 30 'lost'
xdotool key ctrl+q
wait_status
check "Ctrl+Q gives status 1 ($status)" test "$status" = 1

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
