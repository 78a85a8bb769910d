#!/usr/bin/env bash
# Installs Zimbrots into a scratch prefix and uses the real program under Xvfb as a person
# would: keys, the clipboard, the About window, closing, and Exit; then reads it as a screen
# reader does, on X11 and natively on Wayland. Each check judges what the program says of
# itself: its windows, the clipboard, its accessibility tree. Screenshots are for people.
# Each scenario is a function, run in turn at the end; one that this machine cannot run says
# why and is skipped.
# Usage: desktop_test.sh BUILD_DIR ARTEFACT_DIR
set -uo pipefail
# xdotool types through the locale: Latvian letters need a UTF-8 one, whatever the caller has.
export LC_ALL=C.UTF-8
build=$1 artefacts=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
fields=()
mkdir -p "$artefacts"
. "$here/../checks.sh"
title=$(program_title)
# Qt's plugins and GTK's input method modules, in this machine's multiarch folder.
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)
qt_plugins=/usr/lib/$multiarch/qt6/plugins
gtk_modules=/usr/lib/$multiarch/gtk-3.0/3.0.0/immodules
cleanup() {
  stop "${app:-}" "${fields[@]}" "${ibus:-}" "${fcitx5:-}" "${gnome:-}" "${weston:-}" "${launcher:-}" "${bus:-}"
  stop "${xvfb:-}"
  rm -rf "$work"
}
trap cleanup EXIT

program=$work/prefix/bin/zimbrots
entry=$work/prefix/share/applications/lv.zimbrots.Zimbrots.desktop

# --- What the windows' scenarios share --------------------------------------------------------

# The first visible window of that title, in $found.
visible() {  # visible TITLE-PATTERN
  found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)
  saw="no visible window so named; the program said: $(tail -n 1 "$work/stderr")"
  [ -n "$found" ]
}
gone() { ! xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; }
start() {  # start [COMMAND...]: the program, through COMMAND (such as env) if given, with the keys
  "$@" "$program" 2>"$work/stderr" &
  app=$!
  need "the window \"$title\" appears" wait_for 30 visible "^${title//./\\.}\$"
  window=$found
  xdotool windowfocus --sync "$window"
}
closes() { closes_with 0 "$app" "$title"; }
clipboard() { xclip -selection clipboard -o 2>/dev/null; }
clipboard_holds() { saw="the clipboard holds '$(clipboard)'"; [ "$(clipboard)" = "$1" ]; }
copied() {  # copied EXPECTED: selects all, copies, and waits for the clipboard to say it
  xdotool key ctrl+a ctrl+c
  wait_for 10 clipboard_holds "$1"
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
  saw="5 tries; $saw"
  return 1
}
# Escape, given to the dialog itself (no window manager hands it the keys), until it is gone.
escaped() {  # escaped PATTERN
  visible "$1" || return 0
  xdotool windowfocus --sync "$found" 2>/dev/null
  xdotool key Escape
  gone "$1"
}
close_dialog() {  # close_dialog PATTERN
  check "the dialog '$1' closes on Escape" wait_for 10 escaped "$1"
  xdotool windowfocus --sync "$window"
}
shown() {  # shown COUNT: the program shows COUNT X windows
  local count
  count=$(xdotool search --onlyvisible --class zimbrots 2>/dev/null | wc -l)
  saw="$count shown"
  [ "$count" = "$1" ]
}
atspi() {  # atspi QUESTION: sets answer; see atspi.py
  answer=$(/usr/bin/python3 "$here/atspi.py" "$1" 2>&1)
  local status=$?
  saw=$answer
  return $status
}

# --- The scenarios ------------------------------------------------------------------------------

installed_files() {
  check "installed programs" test -x "$program" -a -x "$work/prefix/bin/zimbrots-convert"
  local size icon
  for size in 16 22 24 32 48 64 128 256; do
    icon="$work/prefix/share/icons/hicolor/${size}x${size}/apps/zimbrots.png"
    check "theme icon ${size}x${size}" test "$(identify -format '%wx%h' "$icon" 2>/dev/null)" = "${size}x${size}"
  done
  check "scalable theme icon" test -f "$work/prefix/share/icons/hicolor/scalable/apps/zimbrots.svg"
  check "desktop entry validates" desktop-file-validate "$entry"
  check "desktop entry in Latvian" grep -q '^Comment\[lv\]=' "$entry"
  local metainfo=$work/prefix/share/metainfo/lv.zimbrots.Zimbrots.metainfo.xml
  check "metainfo in Latvian" grep -q '<summary xml:lang="lv">' "$metainfo"
  check "metainfo validates" appstreamcli validate --no-net --pedantic "$metainfo"
}

# Without a display the program says so in one sentence, in English and in Latvian.
no_display() {
  local message
  message=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" 2>&1)
  check "no display: one sentence, status 1" test "$?" = 1 -a "$(printf '%s\n' "$message" | wc -l)" = 1
  case "$message" in *"no graphical display"*) passes ;; *) fails "no display: the sentence says so (it said: $message)" ;; esac
  message=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM LOCPATH="$locales" LC_ALL=lv_LV.UTF-8 "$program" 2>&1)
  check "no display, in Latvian: '$message'" grep -q '^zimbrots: nav grafiskā displeja' <<<"$message"
}

# The main window on X11: its size, hints, icon and class; typing, Convert and the clipboard;
# About, modal over it; closing it.
main_window() {
  start
  local geometry width height hints min max wm_class entry_class
  geometry=$(xwininfo -id "$window")
  width=$(awk '/Width:/ { print $2 }' <<<"$geometry")
  height=$(awk '/Height:/ { print $2 }' <<<"$geometry")
  check "client area is 402 wide ($width)" test "$width" = 402
  # The menu bar sits above the 279-pixel client area.
  check "client area is 279 high below the menu ($height)" test "$height" -gt 290 -a "$height" -lt 320
  hints=$(xprop -id "$window" WM_NORMAL_HINTS)
  min=$(sed -n 's/.*minimum size: //p' <<<"$hints")
  max=$(sed -n 's/.*maximum size: //p' <<<"$hints")
  check "not resizable ($min / $max)" test -n "$min" -a "$min" = "$max"
  check "main window has an icon" bash -c "xprop -id '$window' _NET_WM_ICON | grep -q 'Icon (32 x 32)'"
  # A desktop ties the window to its entry by the window's class.
  wm_class=$(xprop -id "$window" WM_CLASS | sed 's/.*, "\(.*\)"/\1/')
  entry_class=$(sed -n 's/^StartupWMClass=//p' "$entry")
  check "StartupWMClass '$entry_class' is the window's class '$wm_class'" test -n "$wm_class" -a "$wm_class" = "$entry_class"
  import -window root "$artefacts/main-window.png"

  local converted='|_4bd|3|\|, 2|-||_||_|2|-||_||_|!'
  check "typed into the editor" type_text 'Labdien, Žūžū!'
  xdotool key ctrl+k
  check "converted and copied" copied "$converted"
  import -window root "$artefacts/converted.png"

  # About: modal, so keys for the main window do nothing until it closes. The clipboard holds
  # something else meanwhile, so that the editor's text must be copied anew to pass.
  printf 'stale' | xclip -selection clipboard
  xdotool key alt+a
  if check "About window opened" wait_for 10 visible "^About ${title//./\\.}\$"; then
    local about=$found
    check "About window has an icon" bash -c "xprop -id '$about' _NET_WM_ICON | grep -q 'Icon (32 x 32)'"
    check "About window is transient for the main window" \
      bash -c "xprop -id '$about' WM_TRANSIENT_FOR | grep -qi '$(printf '0x%x' "$window")\$'"
    import -window root "$artefacts/about.png"
    # The program reads its keys in order: Ctrl+L reaches it before Alt+U closes About.
    xdotool windowfocus "$window" 2>/dev/null; xdotool key ctrl+l
    xdotool windowfocus --sync "$about"; xdotool key alt+u
    check "About window closed" wait_for 10 gone '^About Zimbrots'
  fi
  xdotool windowfocus --sync "$window"
  check "Ctrl+L did not reach the main window while About was open" copied "$converted"
  check "closing the window gives status 0" closes
}

# The font dialog in English; Ctrl+Q ends the program at once with status 1.
font_dialog_and_exit() {
  start
  xdotool key ctrl+f
  check "the font dialog speaks English under C.UTF-8" wait_for 10 visible '^Select Font$'
  close_dialog '^Select Font$'
  xdotool type --delay 30 'lost'
  xdotool key ctrl+q
  check "Ctrl+Q gives status 1" ends_with 1 "$app"
}

# In a private Latvian locale: Qt's words and the program's own; the layout's captions stay as
# they are (start waits for the window's own title).
in_latvian() {
  start env LOCPATH="$locales" LC_ALL=lv_LV.UTF-8
  xdotool mousemove --window "$window" 100 150 click 3
  check "the editor's context menu opened" wait_for 10 shown 2
  sleep 0.3  # drawn just after it maps; the picture is for people, the words are checked offscreen
  import -window root "$artefacts/latvian-context-menu.png"
  xdotool key Escape
  check "the context menu closed" wait_for 10 shown 1
  xdotool windowfocus --sync "$window"
  xdotool key ctrl+f
  check "the font dialog speaks Latvian" wait_for 10 visible '^Izvēlieties fontu$'
  import -window root "$artefacts/latvian-font-dialog.png"
  close_dialog '^Izvēlieties fontu$'
  check "in Latvian, closing the window gives status 0" closes
}

# A 192-dpi screen: the layout at twice its size.
at_double_scale() {
  QT_SCALE_FACTOR=2 start
  local width
  width=$(xwininfo -id "$window" | awk '/Width:/ { print $2 }')
  check "at twice the scale the window is 804 wide ($width)" test "$width" = 804
  import -window "$window" "$artefacts/scale-2.png"
  check "at twice the scale, closing the window gives status 0" closes
}

# The WCAG contrast of the editor's two main colours in the window's first lines: 385 x 217 at
# (8, 16) below the menu bar, less frame and bars.
contrast_at_least() {  # contrast_at_least RATIO
  import -window "$window" "$work/dark.png"
  local height
  height=$(identify -format '%h' "$work/dark.png")
  contrast=$(convert "$work/dark.png" -crop "300x60+12+$((height - 279 + 20))" -format %c histogram:info:- |
    sed -n 's/^ *\([0-9]*\): *(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3 \4/p' | sort -rn | awk '
      function channel(c) { c /= 255; return c <= 0.03928 ? c / 12.92 : ((c + 0.055) / 1.055) ^ 2.4 }
      function lum(r, g, b) { return 0.2126 * channel(r) + 0.7152 * channel(g) + 0.0722 * channel(b) }
      NR == 1 { background = lum($2, $3, $4); next }
      $1 >= 8 { l = lum($2, $3, $4); r = (l > background ? (l + 0.05) / (background + 0.05) : (background + 0.05) / (l + 0.05)); if (r > best) best = r }
      END { printf "%.1f", best + 0 }')
  saw="the contrast is $contrast:1"
  awk "BEGIN { exit !($contrast >= $1) }"
}

# A private session bus and its accessibility bus, for the screen reader and Wayland scenarios.
bus_answers() { dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null 2>&1; }
start_accessibility_bus() {
  dbus-daemon --session --fork --print-address=3 --print-pid=4 3>"$work/bus-address" 4>"$work/bus-pid"
  DBUS_SESSION_BUS_ADDRESS=$(cat "$work/bus-address") bus=$(cat "$work/bus-pid")
  export DBUS_SESSION_BUS_ADDRESS QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
  /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
  launcher=$!
  # Qt looks for the accessibility bus once, at start: start it only once the bus answers.
  need "the accessibility bus answers" wait_for 30 bus_answers
}

# What a screen reader reads, through AT-SPI.
screen_reader() {
  start
  check "the screen reader finds the program" wait_for 60 atspi names
  printf '%s\n' "$answer" >"$artefacts/accessible-names.txt"
  local expected
  for expected in $'ROLE_TEXT\tIevadi konvertējamo tekstu:' $'ROLE_PUSH_BUTTON\tConvert' $'ROLE_PUSH_BUTTON\tClear' \
                  $'ROLE_PUSH_BUTTON\tExit' $'ROLE_MENU_ITEM\tFile' $'ROLE_MENU_ITEM\tSave As..' $'ROLE_MENU_ITEM\tAbout'; do
    check "screen reader reads '${expected//$'\t'/: }'" grep -qxF "$expected" <<<"$answer"
  done
  check "read by a screen reader, closing the window gives status 0" closes
}

shows() {  # shows WINDOW...: the program shows just these windows, "NAME (active)" the one with the keys
  atspi windows || return 1
  saw="the windows are: '${answer//$'\n'/"', '"}'"
  [ "$(sort <<<"$answer")" = "$(printf '%s\n' "$@" | sort)" ]
}
editor_holds() {
  atspi text || return 1
  saw="the editor holds '$answer', expected '$1'"
  [ "$answer" = "$1" ]
}

# A dark desktop theme: the converted text must stand out from the editor's background, as
# measured on the window's pixels once the editor holds it, with nothing selected (a
# selection's own colours stand out less) and the text cursor, which stands out, lines below.
dark_theme() {
  [ -f "$qt_plugins/platformthemes/libqgtk3.so" ] || { skip "dark theme (qt6-gtk-platformtheme is not installed)"; return; }
  QT_QPA_PLATFORMTHEME=gtk3 GTK_THEME=Adwaita:dark start
  xdotool type --delay 30 'Labdien, sveiki, draugi.'
  xdotool key ctrl+k
  check "dark theme: the text is converted" copied '|_4bd|3|\|, 5\/3|k|, d|24|_|9|.'
  xdotool key ctrl+End Return Return Return Return Return Return
  check "dark theme: converted text contrast is at least 4.5:1" wait_for 10 contrast_at_least 4.5
  cp "$work/dark.png" "$artefacts/dark-theme.png"
  check "in a dark theme, closing the window gives status 0" closes
}

# Through $im, in the editor (Qt) and then a GTK 3 and a GTK 4 field, each taking the keys from
# the one before while its last word is open; the GTK 4 field's word is left open in $open.
editor_and_gtk_fields() {  # editor_and_gtk_fields GTK4-MODULE GTK4-PACKAGES
  check "$im_name, Qt: typed words arrive in hacker writing, Backspace takes back a letter" \
    type_words zimbrots 'Labdien, ābols! ' '|_4bd|3|\|, 44b0|_5! 5\/3|k4'
  fields=()
  gtk_field 3 'GTK field' gtk-field
  check "$im_name, Qt: the word being typed stays when the window loses the keys" \
    field_holds zimbrots '|_4bd|3|\|, 44b0|_5! 5\/3|k4'
  check "$im_name, GTK 3: typed words arrive in hacker writing, Backspace takes back a letter" \
    type_words gtk-field 'Žūžū, Ķēķis! ' '2|-||_||_|2|-||_||_|, kj33kj|5! 5\/3|k4'
  import -window root "$artefacts/$im-typing.png"
  open=()
  if [ -f "${gtk_modules/gtk-3.0\/3.0.0/gtk-4.0/4.0.0}/$1" ] &&
     /usr/bin/python3 -c 'import gi; gi.require_version("Gtk", "4.0")' 2>/dev/null; then
    gtk_field 4 'GTK 4 field' gtk4-field
    check "$im_name, GTK 3: the word being typed stays when the window loses the keys, once" \
      field_holds gtk-field '2|-||_||_|2|-||_||_|, kj33kj|5! 5\/3|k4'
    check "$im_name, GTK 4: typed words arrive in hacker writing, Backspace takes back a letter" \
      type_words gtk4-field 'Ūdens! ' '|_||_|d3|\|5! 5\/3|k4'
    open=(gtk4-field '|_||_|d3|\|5! 5\/3|k4')
  else
    skip "$im_name, GTK 4 ($2 is not installed)"
  fi
}

# Typing through the input method "zimbrots" (the engine built here, in an ibus-daemon of this
# test's own) into the editor, a Qt field, and into a GTK field, as read over AT-SPI.
engine_listed() { ibus list-engine 2>/dev/null | grep zimbrots >/dev/null; }
engine_chosen() {
  ibus engine zimbrots >/dev/null 2>&1
  saw="the engine is '$(ibus engine 2>&1)'"
  [ "$(ibus engine 2>/dev/null)" = zimbrots ]
}
field_holds() {  # field_holds PROGRAM TEXT
  answer=$(/usr/bin/python3 "$here/atspi.py" text "$1" 2>&1) || { saw=$answer; return 1; }
  saw="$1's field holds '$answer', expected '$2'"
  [ "$answer" = "$2" ]
}
# A program's input context reaches the engine a while after its window shows (Qt's later
# still under the sanitizers; GTK 4 takes the first keys itself meanwhile): a probe is typed
# until the engine converts it, each try wiped before the next.
converts_probe() {  # converts_probe PROGRAM
  local converted=1
  press type 'a '
  wait_for 5 field_holds "$1" '4 ' && converted=0
  press key ctrl+a key BackSpace
  wait_for 5 field_holds "$1" '' || return 1
  return $converted
}
# Keys for the input method's fields: xdotool's on X11; on GNOME's Wayland, the shell's own.
press() {  # press (type TEXT | key NAME)...
  if [ -n "${gnome:-}" ]; then
    /usr/bin/python3 "$here/gnome_keys.py" "$@"
  else
    while [ $# -gt 1 ]; do xdotool "$1" --delay 80 "$2"; shift 2; done
  fi
}
# Words typed into a program's field, then one left open with its last letter, m's four
# characters, taken back. xdotool types a letter missing from the keyboard map by remapping a
# spare key, and a busy program may read the key under the next map: the field is wiped and
# typed again until it holds the text whole (the try count is printed).
type_words() {  # type_words PROGRAM TEXT EXPECTED
  local try
  for try in 1 2 3 4 5; do
    press type "$2Sveikam" key BackSpace
    if wait_for 10 field_holds "$1" "$3"; then
      [ "$try" = 1 ] || echo "  ($1 typed into $try times)"
      return 0
    fi
    press key ctrl+a key BackSpace
    wait_for 5 field_holds "$1" '' || return 1
  done
  return 1
}
gtk_field() {  # gtk_field VERSION TITLE PROGRAM: starts the field, through $im, and gives it the keys
  GTK_IM_MODULE=$im /usr/bin/python3 "$here/gtk_field.py" "$1" 2>>"$work/stderr" &
  fields+=($!)
  check "$im_name, GTK $1: the field's window appears" wait_for 30 visible "^$2\$" || return 1
  xdotool windowfocus --sync "$found"
  check "$im_name, GTK $1: the field's input context reaches the engine" wait_for 60 converts_probe "$3"
}
still_there() {  # still_there [PROGRAM TEXT]: the word left open there stays, once, as another program has the keys
  [ $# = 2 ] || return 0
  check "$im_name, $1: the word being typed stays when the window loses the keys, once" field_holds "$1" "$2"
}
file_holds() { saw="the file holds '$(cat "$1" 2>/dev/null)'"; [ "$(cat "$1" 2>/dev/null)" = "$2" ]; }
through_ibus() {
  if ! [ -x "$build/ibus/ibus-engine-zimbrots" ] || ! command -v ibus-daemon >/dev/null ||
     ! [ -f "$qt_plugins/platforminputcontexts/libibusplatforminputcontextplugin.so" ] ||
     ! [ -f "$gtk_modules/im-ibus.so" ] || ! /usr/bin/python3 -c 'import gi; gi.require_version("Gtk", "3.0")' 2>/dev/null; then
    skip "the input method (the engine, ibus, ibus-gtk3 or python3-gi is missing)"
    return
  fi
  im=ibus im_name=IBus
  export IBUS_ADDRESS_FILE=$work/ibus-address
  IBUS_COMPONENT_PATH=$build/ibus/component ibus-daemon --xim --panel=disable --emoji-extension=disable \
    --config=/usr/libexec/ibus-memconf --cache=none >"$work/ibus.log" 2>&1 &
  ibus=$!
  need "ibus-daemon starts with the engine" wait_for 30 engine_listed
  QT_IM_MODULE=ibus start
  need "the input method zimbrots is chosen" wait_for 10 engine_chosen
  need "the window's input context reaches the engine" wait_for 60 converts_probe zimbrots
  # In each program a word is left open as the next one takes the keys: it must be there, once.
  # Qt, and GTK 4 before, dropped text that came once the window had lost the keys.
  editor_and_gtk_fields libim-ibus.so "ibus-gtk4 or gir1.2-gtk-4.0"
  if command -v chromium >/dev/null; then
    # Chromium reaches IBus through GTK's module; its page is read over AT-SPI. As in the web
    # page's test: no sandbox (root may run this), and nothing of Chromium's own goes to the network.
    mkdir "$work/chromium"
    ACCESSIBILITY_ENABLED=1 GTK_IM_MODULE=ibus chromium --no-sandbox --disable-gpu --no-first-run \
      --disable-background-networking --disable-component-update --disable-sync --user-data-dir="$work/chromium" \
      --force-renderer-accessibility --app='data:text/html,<title>Chromium field</title><textarea autofocus></textarea>' \
      >>"$work/stderr" 2>&1 &
    fields+=($!)
    if check "IBus, Chromium: the page's window appears" wait_for 60 visible '^Chromium field$'; then
      xdotool windowfocus --sync "$found"
      still_there "${open[@]}"
      check "IBus, Chromium: the page's field reaches the engine" wait_for 60 converts_probe Chromium &&
        check "IBus, Chromium: typed words arrive in hacker writing, Backspace takes back a letter" \
          type_words Chromium 'Sveiki, draugi! ' '5\/3|k|, d|24|_|9|! 5\/3|k4'
      open=(Chromium '5\/3|k|, d|24|_|9|! 5\/3|k4')
    fi
  else
    skip "Chromium through IBus (chromium is not installed)"
  fi
  if command -v xterm >/dev/null; then
    # xterm reaches IBus through XIM and tells no text around its cursor: the word is preedit.
    XMODIFIERS=@im=ibus xterm -title 'xterm field' -e sh -c "cat >'$work/typed'" 2>>"$work/stderr" &
    fields+=($!)
    check "IBus, XIM: xterm's window appears" wait_for 30 visible '^xterm field$'
    local xterm=$found
    xdotool windowfocus --sync "$xterm"
    still_there "${open[@]}"
    # No Backspace here: XIM's Backspaces, sent on one a character, once in some fifty runs
    # took a letter too many (the engine test checks how many it sends).
    xdotool type --delay 80 'Labdien! Sveikam'
    xdotool windowfocus --sync "$window"
    xdotool windowfocus --sync "$xterm"
    xdotool key --delay 80 Return
    check "IBus, XIM: xterm's program gets the words and the word open when the window lost the keys, once" \
      wait_for 10 file_holds "$work/typed" '|_4bd|3|\|! 5\/3|k4|\/|'
  else
    skip "xterm through XIM (xterm is not installed)"
  fi
  stop "${fields[@]}" "$ibus"
  fields=() ibus=""
  xdotool windowfocus --sync "$window"
  check "with the input method, closing the window gives status 0" closes
}

# The same through Fcitx5, the add-on built here in a Fcitx5 of this test's own: the editor (Qt)
# and GTK fields.
through_fcitx5() {
  if ! [ -f "$build/fcitx5/libzimbrots.so" ] || ! command -v fcitx5 >/dev/null ||
     ! [ -f "$qt_plugins/platforminputcontexts/libfcitx5platforminputcontextplugin.so" ] ||
     ! [ -f "$gtk_modules/im-fcitx5.so" ]; then
    skip "Fcitx5 (the add-on, fcitx5, fcitx5-frontend-qt6 or fcitx5-frontend-gtk3 is missing)"
    return
  fi
  # Fcitx5's program cannot load an add-on built with AddressSanitizer (with the runtime
  # preloaded it hangs at start); the add-on's own test runs it under the sanitizers.
  if ldd "$build/fcitx5/libzimbrots.so" | grep 'libasan\.so' >/dev/null; then
    skip "Fcitx5 end to end (this add-on is built with AddressSanitizer)"
    return
  fi
  im=fcitx im_name=Fcitx5
  mkdir "$work/fcitx5"
  need "Fcitx5 starts with the add-on" start_fcitx5 "$work/fcitx5" "$build"
  QT_IM_MODULE=fcitx start
  check "Fcitx5: the window's input context reaches the engine" wait_for 60 converts_probe zimbrots ||
    { echo "Fcitx5's log ends:"; tail -n 30 "$work/fcitx5/fcitx5.log"; checks_end; exit 1; }
  editor_and_gtk_fields libim-fcitx5.so "fcitx5-frontend-gtk4 or gir1.2-gtk-4.0"
  xdotool windowfocus --sync "$window"
  still_there "${open[@]}"
  stop "${fields[@]}" "$fcitx5"
  fields=() fcitx5=""
  xdotool windowfocus --sync "$window"
  check "with Fcitx5, closing the window gives status 0" closes
}

# Natively on Wayland, in a Weston nested in this display that has nothing of its own to take
# the keys: the keys reach the editor, Alt+A opens About and Alt+U closes it. Read over AT-SPI.
on_wayland() {
  if ! command -v weston >/dev/null || ! [ -f "$qt_plugins/platforms/libqwayland-generic.so" ]; then
    skip "Wayland (weston or qt6-wayland is not installed)"
    return
  fi
  need "a nested Weston starts" start_weston "$work" 800x600
  # The X server hands its keys to the nested compositor, which hands them to its active window.
  xdotool windowfocus --sync "$(xdotool search --class weston | head -n 1)"
  QT_QPA_PLATFORM=wayland "$program" 2>"$work/stderr" &
  app=$!
  check "Wayland: the main window shows and has the keys" wait_for 30 shows "$title (active)"
  xdotool type --delay 30 'S'
  check "Wayland: typed text reaches the editor" wait_for 10 editor_holds S
  xdotool key alt+a
  check "Wayland: About opened" wait_for 10 shows "$title" "About $title (active)"
  import -window root "$artefacts/wayland-about.png"
  xdotool key alt+u
  check "Wayland: Alt+U closed it" wait_for 10 shows "$title (active)"
  import -window root "$artefacts/wayland-after.png"
  check "Wayland: the program runs" running "$app"
}

# GNOME on Wayland: GNOME Shell, headless, is the compositor and IBus's client there, with the
# engine built here its one input source; GTK fields on its display reach IBus through the shell,
# not through a toolkit plug-in. The keys come through the shell's remote-desktop interface.
on_gnome_wayland() {
  if ! command -v gnome-shell >/dev/null || ! [ -x "$build/ibus/ibus-engine-zimbrots" ]; then
    skip "GNOME on Wayland (gnome-shell or the IBus engine is missing)"
    return
  fi
  local home=$work/gnome
  mkdir -p "$home/config/glib-2.0/settings" "$home/bin"
  printf "[org/gnome/desktop/input-sources]\nsources=[('ibus', 'zimbrots')]\n" >"$home/config/glib-2.0/settings/keyfile"
  # The shell starts IBus itself: that daemon gets the memory configuration too, and tells its
  # process, which is this test's to stop.
  printf '#!/bin/sh\necho $$ >"%s/ibus.pid"\nexec %s --config=/usr/libexec/ibus-memconf --cache=none "$@"\n' \
    "$home" "$(command -v ibus-daemon)" >"$home/bin/ibus-daemon"
  chmod +x "$home/bin/ibus-daemon"
  # The shell will not start without a system bus (logind's); it gets an empty one of its own.
  dbus-daemon --session --fork --print-address=3 --print-pid=4 3>"$home/system-bus" 4>"$home/system-bus.pid"
  env -u DISPLAY HOME="$home" XDG_CONFIG_HOME="$home/config" GSETTINGS_BACKEND=keyfile PATH="$home/bin:$PATH" \
    IBUS_COMPONENT_PATH="$(cd "$build/ibus/component" && pwd)" IBUS_ADDRESS_FILE="$home/ibus-address" DBUS_SYSTEM_BUS_ADDRESS="$(cat "$home/system-bus")" \
    gnome-shell --headless --wayland --no-x11 --virtual-monitor 1024x768 --wayland-display=zimbrots-gnome \
    >"$home/shell.log" 2>&1 &
  gnome=$!
  # Stopped, it ends by a crash of its own: that is not this test's to report.
  disown "$gnome"
  check "GNOME on Wayland: the shell starts headless" wait_for 60 overview_closed || { gnome_end; return; }
  # As on a desktop, IBus is ready before any program: a GTK 3 field that came first stayed deaf
  # to it on Debian 13's GNOME.
  check "GNOME on Wayland: the shell has IBus use the engine" wait_for 60 shell_engine || { gnome_end; return; }
  local gtk field
  for gtk in 3 4; do
    field=gtk${gtk/3/}-field
    WAYLAND_DISPLAY=zimbrots-gnome GDK_BACKEND=wayland env -u GTK_IM_MODULE \
      /usr/bin/python3 "$here/gtk_field.py" $gtk 2>>"$work/stderr" &
    fields=($!)
    check "GNOME on Wayland, GTK $gtk: the field has the keys and reaches the engine" wait_for 60 shell_probe "$field" &&
      check "GNOME on Wayland, GTK $gtk: typed words arrive in hacker writing, Backspace takes back a letter" \
        type_words "$field" 'Labdien! ' '|_4bd|3|\|! 5\/3|k4'
    # The overview takes the keys from the window, as a click on the shell would.
    check "GNOME on Wayland, GTK $gtk: the word being typed stays when the window loses the keys, once" \
      overview_open_holds "$field" '|_4bd|3|\|! 5\/3|k4'
    stop "${fields[@]}"
  done
  gnome_end
}
# The shell opens its overview, which takes the keys, at start and when it likes: it is closed
# before each probe.
overview_closed() {
  local property=(--session --dest org.gnome.Shell --object-path /org/gnome/Shell --method org.freedesktop.DBus.Properties)
  gdbus call "${property[@]}.Set" org.gnome.Shell OverviewActive '<false>' >/dev/null 2>&1
  saw="the overview: $(gdbus call "${property[@]}.Get" org.gnome.Shell OverviewActive 2>&1); the shell's log ends: $(tail -n 1 "$work/gnome/shell.log")"
  [[ $saw == "the overview: (<false>,)"* ]]
}
shell_engine() {
  saw="the engine is '$(IBUS_ADDRESS_FILE=$work/gnome/ibus-address ibus engine 2>&1)'"
  [ "$saw" = "the engine is 'zimbrots'" ]
}
shell_probe() { overview_closed && converts_probe "$1"; }
overview_open_holds() {  # overview_open_holds PROGRAM TEXT
  gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
    --method org.freedesktop.DBus.Properties.Set org.gnome.Shell OverviewActive '<true>' >/dev/null &&
    wait_for 10 field_holds "$1" "$2"
}
gnome_end() {
  stop "${fields[@]}" "$(cat "$work/gnome/ibus.pid" 2>/dev/null)" "$gnome" "$(cat "$work/gnome/system-bus.pid")"
  fields=() gnome=""
}

# --- In turn ------------------------------------------------------------------------------------

need "installed" bash -c 'cmake --install "$0" --prefix "$1" >/dev/null' "$build" "$work/prefix"
locales=$work/locales
mkdir "$locales"
check "a Latvian locale is built (Debian's package locales)" localedef -i lv_LV -f UTF-8 "$locales/lv_LV.UTF-8"
installed_files
no_display
need "Xvfb starts" start_xvfb 800x600
unset QT_QPA_PLATFORM
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
main_window
font_dialog_and_exit
in_latvian
at_double_scale
dark_theme
# The rest is read over AT-SPI, as a screen reader reads it.
if [ -x /usr/libexec/at-spi-bus-launcher ] && /usr/bin/python3 -c 'import pyatspi' 2>/dev/null; then
  start_accessibility_bus
  screen_reader
  through_ibus
  through_fcitx5
  on_wayland
  on_gnome_wayland
else
  skip "screen reader and Wayland (at-spi2-core or python3-pyatspi is not installed)"
fi
checks_end
