#!/usr/bin/env bash
# Installs Zimbrots into a scratch prefix and uses the real program under Xvfb as a person
# would: keys, the clipboard, the About window, closing, and Exit.
# Usage: desktop_test.sh BUILD_DIR WM_CLOSE ARTEFACT_DIR VERSION
set -uo pipefail
# xdotool types through the locale: Latvian letters need a UTF-8 one, whatever the caller has.
export LC_ALL=C.UTF-8
build=$1 wm_close=$2 artefacts=$3 version_pattern=${4//./\\.}
work=$(mktemp -d)
mkdir -p "$artefacts"
. "$(dirname "$0")/../checks.sh"
# Whether a process still runs (a zombie no longer counts: nobody may be left to reap it).
running() { [ -r "/proc/$1/stat" ] && ! grep -q '^[0-9]* (.*) Z' "/proc/$1/stat"; }
cleanup() {
  [ -n "${app:-}" ] && kill "$app" 2>/dev/null
  if [ -n "${xvfb:-}" ]; then
    # A server still shutting down removes its socket under the feet of the next one that
    # takes the same display number: wait until it is gone.
    kill "$xvfb" 2>/dev/null
    for _ in $(seq 100); do running "$xvfb" || break; sleep 0.1; done
  fi
  rm -rf "$work"
}
trap cleanup EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null || { echo "install failed"; exit 1; }
check "installed programs" test -x "$work/prefix/bin/zimbrots" -a -x "$work/prefix/bin/zimbrots-convert"
for size in 16 22 24 32 48 64 128 256; do
  icon="$work/prefix/share/icons/hicolor/${size}x${size}/apps/zimbrots.png"
  check "theme icon ${size}x${size}" test "$(identify -format '%wx%h' "$icon" 2>/dev/null)" = "${size}x${size}"
done
check "scalable theme icon" test -f "$work/prefix/share/icons/hicolor/scalable/apps/zimbrots.svg"
check "desktop entry validates" desktop-file-validate "$work/prefix/share/applications/lv.zimbrots.Zimbrots.desktop"
check "desktop entry in Latvian" grep -q '^Comment\[lv\]=' "$work/prefix/share/applications/lv.zimbrots.Zimbrots.desktop"
check "metainfo in Latvian" grep -q '<summary xml:lang="lv">' "$work/prefix/share/metainfo/lv.zimbrots.Zimbrots.metainfo.xml"
check "metainfo validates" appstreamcli validate --no-net --pedantic "$work/prefix/share/metainfo/lv.zimbrots.Zimbrots.metainfo.xml"

# Without a display the program says so in one sentence.
message=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$work/prefix/bin/zimbrots" 2>&1)
check "no display: one sentence, status 1" test "$?" = 1 -a "$(printf '%s\n' "$message" | wc -l)" = 1
case "$message" in *"no graphical display"*) ;; *) fails "no display: the sentence says so (it said: $message)" ;; esac

# -noreset: without it the server resets whenever its last client leaves, as each xdotool
# call does, and a program that connects meanwhile is refused.
exec 3< <(Xvfb -displayfd 1 -noreset -screen 0 800x600x24 -nolisten tcp 2>/dev/null & echo "pid $!")
read -r _ xvfb <&3
read -r number <&3
export DISPLAY=":$number"
xdpyinfo >/dev/null 2>&1 || { echo "Xvfb on $DISPLAY does not answer"; exit 1; }
unset QT_QPA_PLATFORM
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

start() {  # start [COMMAND...]: the program, through COMMAND (such as env) if given
  "$@" "$work/prefix/bin/zimbrots" 2>"$work/stderr" &
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
copied() {  # copied EXPECTED: selects all, copies, and waits up to 10 s for the clipboard to say it
  xdotool key ctrl+a ctrl+c
  for _ in $(seq 100); do [ "$(clipboard)" = "$1" ] && return 0; sleep 0.1; done
  return 1
}
# xdotool types a letter missing from the keyboard map by mapping a spare key for it, then
# mapping the next; a busy program may read the key under the next map and see nothing. So
# the text is typed until the editor holds it whole (the try count is printed).
type_text() {  # type_text TEXT: into the focused editor, replacing what it holds
  local try
  for try in 1 2 3 4 5; do
    xdotool key ctrl+a BackSpace
    xdotool type --delay 80 "$1"
    copied "$1" && { [ $try = 1 ] || echo "typed '$1' whole at try $try"; return 0; }
  done
  echo "could not type '$1' whole in 5 tries: the editor holds '$(clipboard)'"
  return 1
}
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
check "main window has an icon" bash -c "xprop -id '$window' _NET_WM_ICON | grep -q 'Icon (32 x 32)'"
# A desktop ties the window to its entry by the window's class.
wm_class=$(xprop -id "$window" WM_CLASS | sed 's/.*, "\(.*\)"/\1/')
entry_class=$(sed -n 's/^StartupWMClass=//p' "$work/prefix/share/applications/lv.zimbrots.Zimbrots.desktop")
check "StartupWMClass '$entry_class' is the window's class '$wm_class'" test -n "$wm_class" -a "$wm_class" = "$entry_class"
import -window root "$artefacts/main-window.png"

check "typed into the editor" type_text 'Labdien, Žūžū!'
xdotool key ctrl+k
copied '|_4bd|3|\|, 2|-||_||_|2|-||_||_|!'
check "converted and copied ('$(clipboard)')" test "$(clipboard)" = '|_4bd|3|\|, 2|-||_||_|2|-||_||_|!'
import -window root "$artefacts/converted.png"

# About: modal, so keys for the main window do nothing until it closes. The clipboard holds
# something else meanwhile, so that the editor's text must be copied anew to pass.
printf 'stale' | xclip -selection clipboard
xdotool key alt+a
for _ in $(seq 100); do
  about=$(xdotool search --onlyvisible --name "^About Zimbrots v$version_pattern\$" 2>/dev/null | head -n 1)
  [ -n "$about" ] && break
  sleep 0.1
done
check "About window opened" test -n "$about"
check "About window has an icon" bash -c "xprop -id '$about' _NET_WM_ICON | grep -q 'Icon (32 x 32)'"
check "About window is transient for the main window" \
  bash -c "xprop -id '$about' WM_TRANSIENT_FOR | grep -qi '$(printf '0x%x' "$window")\$'"
import -window root "$artefacts/about.png"
xdotool windowfocus "$window" 2>/dev/null; xdotool key ctrl+l; sleep 0.3
[ -n "$about" ] && { xdotool windowfocus --sync "$about"; xdotool key alt+u; }
about_closed() {
  for _ in $(seq 100); do [ -z "$(xdotool search --onlyvisible --name '^About Zimbrots' 2>/dev/null)" ] && return 0; sleep 0.1; done
  return 1
}
check "About window closed" about_closed
xdotool windowfocus --sync "$window"
check "Ctrl+L did not reach the main window while About was open" copied '|_4bd|3|\|, 2|-||_||_|2|-||_||_|!'

"$wm_close" "$window"
wait_status
check "closing the window gives status 0 ($status)" test "$status" = 0

window_named() {  # window_named PATTERN: waits up to 10 s for a visible window so named
  for _ in $(seq 100); do xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}
# Escape, given to the dialog itself (no window manager hands it the keys), until it is gone.
close_dialog() {  # close_dialog PATTERN
  local dialog try
  for try in 1 2 3 4 5; do
    dialog=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)
    [ -n "$dialog" ] || break
    xdotool windowfocus --sync "$dialog" 2>/dev/null
    xdotool key Escape
    for _ in $(seq 20); do xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || break 2; sleep 0.1; done
  done
  xdotool windowfocus --sync "$window"
}
start
xdotool key ctrl+f
check "the font dialog speaks English under C.UTF-8" window_named '^Select Font$'
close_dialog '^Select Font$'
xdotool type --delay 30 'lost'
xdotool key ctrl+q
wait_status
check "Ctrl+Q gives status 1 ($status)" test "$status" = 1

# In Latvian, in a private Latvian locale: Qt's words and the program's own; the layout's
# captions stay as they are (start waits for the window's own title).
locales="$work/locales"
mkdir "$locales"
check "a Latvian locale is built (Debian's package locales)" localedef -i lv_LV -f UTF-8 "$locales/lv_LV.UTF-8"
message=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM LOCPATH="$locales" LC_ALL=lv_LV.UTF-8 "$work/prefix/bin/zimbrots" 2>&1)
check "no display, in Latvian: '$message'" grep -q '^zimbrots: nav grafiskā displeja' <<<"$message"
start env LOCPATH="$locales" LC_ALL=lv_LV.UTF-8
xdotool mousemove --window "$window" 100 150 click 3
windows_shown() {  # windows_shown COUNT: waits up to 10 s until the program shows COUNT windows
  for _ in $(seq 100); do [ "$(xdotool search --onlyvisible --class zimbrots 2>/dev/null | wc -l)" = "$1" ] && return 0; sleep 0.1; done
  return 1
}
check "the editor's context menu opened" windows_shown 2
sleep 0.3  # drawn just after it maps; the picture is for people, the words are checked offscreen
import -window root "$artefacts/latvian-context-menu.png"
xdotool key Escape
check "the context menu closed" windows_shown 1
xdotool windowfocus --sync "$window"
xdotool key ctrl+f
check "the font dialog speaks Latvian" window_named '^Izvēlieties fontu$'
import -window root "$artefacts/latvian-font-dialog.png"
close_dialog '^Izvēlieties fontu$'
"$wm_close" "$window"
wait_status
check "in Latvian, closing the window gives status 0 ($status)" test "$status" = 0

# A 192-dpi screen: the layout at twice its size.
QT_SCALE_FACTOR=2 start
width=$(xwininfo -id "$window" | awk '/Width:/ { print $2 }')
check "at twice the scale the window is 804 wide ($width)" test "$width" = 804
import -window "$window" "$artefacts/scale-2.png"
"$wm_close" "$window"
wait_status

# A dark desktop theme: the converted text must stand out from the editor's background, as
# measured on the screen's pixels (WCAG contrast of the editor's two main colours).
if [ -f /usr/lib/x86_64-linux-gnu/qt6/plugins/platformthemes/libqgtk3.so ]; then
  QT_QPA_PLATFORMTHEME=gtk3 GTK_THEME=Adwaita:dark start
  xdotool type --delay 30 'Labdien, Žūžū! Sveiki, draugi.'
  xdotool key ctrl+k
  sleep 0.5
  import -window "$window" "$work/dark.png"
  cp "$work/dark.png" "$artefacts/dark-theme.png"
  height=$(identify -format '%h' "$work/dark.png")
  # The editor's first lines: 385 x 217 at (8, 16) below the menu bar, less frame and bars.
  contrast=$(convert "$work/dark.png" -crop "300x60+12+$((height - 279 + 20))" -format %c histogram:info:- |
    sed -n 's/^ *\([0-9]*\): *(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3 \4/p' | sort -rn | awk '
      function channel(c) { c /= 255; return c <= 0.03928 ? c / 12.92 : ((c + 0.055) / 1.055) ^ 2.4 }
      function lum(r, g, b) { return 0.2126 * channel(r) + 0.7152 * channel(g) + 0.0722 * channel(b) }
      NR == 1 { background = lum($2, $3, $4); next }
      $1 >= 8 { l = lum($2, $3, $4); r = (l > background ? (l + 0.05) / (background + 0.05) : (background + 0.05) / (l + 0.05)); if (r > best) best = r }
      END { printf "%.1f", best }')
  check "dark theme: converted text contrast $contrast:1 is at least 4.5:1" awk "BEGIN { exit !($contrast >= 4.5) }"
  "$wm_close" "$window"
  wait_status
else
  echo "SKIPPED: dark theme (qt6-gtk-platformtheme is not installed)"
fi

# What a screen reader reads, through AT-SPI on a private session bus.
if [ -x /usr/libexec/at-spi-bus-launcher ] && /usr/bin/python3 -c 'import pyatspi' 2>/dev/null; then
  names=$(timeout 150 dbus-run-session -- bash -c '
    /usr/libexec/at-spi-bus-launcher --launch-immediately &
    # Qt looks for the accessibility bus once, at start: start it only once the bus answers.
    for _ in $(seq 100); do
      dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null 2>&1 && break
      sleep 0.1
    done
    QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$1" 2>/dev/null &
    program=$!
    /usr/bin/python3 "$2"
    kill $program' _ "$work/prefix/bin/zimbrots" "$(dirname "$0")/accessible_names.py" 2>/dev/null)
  printf '%s\n' "$names" >"$artefacts/accessible-names.txt"
  for expected in $'ROLE_TEXT\tIevadi konvertējamo tekstu:' $'ROLE_PUSH_BUTTON\tConvert' $'ROLE_PUSH_BUTTON\tClear' \
                  $'ROLE_PUSH_BUTTON\tExit' $'ROLE_MENU_ITEM\tFile' $'ROLE_MENU_ITEM\tSave As..' $'ROLE_MENU_ITEM\tAbout'; do
    check "screen reader reads '${expected//$'\t'/: }'" grep -qxF "$expected" <<<"$names"
  done
else
  echo "SKIPPED: screen reader names (at-spi2-core or python3-pyatspi is not installed)"
fi

# Natively on Wayland, in a Weston nested in this display: the About window opens and Alt+U
# closes it. Each step waits on the screen, below Weston's panel, whose clock ticks.
if command -v weston >/dev/null && [ -f /usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqwayland-generic.so ]; then
  weston --backend=x11-backend.so --use-pixman --socket=zimbrots-test --width=800 --height=600 \
    >"$work/weston.log" 2>&1 &
  weston=$!
  panel=40
  shot() { import -window root png:- | convert - -crop "800x$((600 - panel))+0+$panel" +repage "$1"; }
  # Pixels that differ between the screen now and a screenshot taken before.
  changed() { shot "$work/wayland-now.png"; compare -metric AE "$1" "$work/wayland-now.png" null: 2>&1 | cut -d. -f1; }
  # Waits until the screen stops changing, as when a window has been drawn in full.
  settle() { for _ in $(seq 50); do shot "$work/wayland-still.png"; sleep 0.2; [ "$(changed "$work/wayland-still.png")" -lt 30 ] && break; done; }
  for _ in $(seq 50); do [ -S "$XDG_RUNTIME_DIR/zimbrots-test" ] && break; sleep 0.1; done
  settle
  cp "$work/wayland-now.png" "$work/wayland-empty.png"
  QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=zimbrots-test "$work/prefix/bin/zimbrots" 2>"$work/stderr" &
  app=$!
  for _ in $(seq 100); do [ "$(changed "$work/wayland-empty.png")" -gt 20000 ] && break; sleep 0.2; done
  settle
  cp "$work/wayland-now.png" "$work/wayland-shown.png"
  # Weston places the window where it likes: click its middle, the editor, to give it the keys.
  read -r box_width box_height box_x box_y < <(compare "$work/wayland-empty.png" "$work/wayland-shown.png" \
    -compose src -highlight-color white -lowlight-color black png:- | convert - -trim -format '%w %h %X %Y' info:)
  nested=$(xdotool search --class weston | head -n 1)
  # Keys reach the program once what is typed shows; a busy machine may take a while.
  for _ in $(seq 20); do
    xdotool mousemove --window "$nested" $((box_x + box_width / 2)) $((panel + box_y + box_height / 2)) click 1
    xdotool type --delay 30 'S'
    for _ in $(seq 10); do typed=$(changed "$work/wayland-shown.png"); [ "$typed" -gt 20 ] && break 2; sleep 0.1; done
  done
  settle
  cp "$work/wayland-now.png" "$work/wayland-before.png"
  # Alt+A again if the first went before the program took keys; once About is open it has
  # no Alt+A of its own.
  for _ in 1 2 3; do
    xdotool key alt+a
    for _ in $(seq 20); do opened=$(changed "$work/wayland-before.png"); [ "$opened" -gt 20000 ] && break 2; sleep 0.2; done
  done
  # About takes the keys once it is drawn in full; Alt+U again if a busy machine let the first
  # go before (the main window has no Alt+U).
  settle
  cp "$work/wayland-now.png" "$artefacts/wayland-about.png"
  for _ in 1 2 3; do
    xdotool key alt+u
    for _ in $(seq 25); do closed=$(changed "$work/wayland-before.png"); [ "$closed" -lt 3000 ] && break 2; sleep 0.2; done
  done
  cp "$work/wayland-now.png" "$artefacts/wayland-after.png"
  check "Wayland: the program runs" kill -0 "$app"
  check "Wayland: typed text shows ($typed pixels changed)" test "$typed" -gt 20
  check "Wayland: About opened ($opened pixels changed)" test "$opened" -gt 20000
  check "Wayland: Alt+U closed it ($closed pixels differ from before)" test "$closed" -lt 3000
  kill "$app" "$weston" 2>/dev/null; wait "$app" 2>/dev/null; app=""
else
  echo "SKIPPED: Wayland (weston or qt6-wayland is not installed)"
fi

checks_end desktop-test
