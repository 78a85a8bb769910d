# What the shell checks share. Source it, count each check with check (or passes and fails,
# and skip for what this machine lacks), and end with checks_end, whose status is 0 when
# nothing failed. A command that a check runs may put what it saw in $saw: the failure's line
# then says it.
checks_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
passed=0 failed=0 skipped=0 saw=""
checks_name=$(basename "$0" .sh | tr _ -)
passes() { passed=$((passed + 1)); }
fails() {  # fails DESCRIPTION
  failed=$((failed + 1))
  echo "FAILED: $1"
}
check() {  # check DESCRIPTION COMMAND...
  saw=""
  if "${@:2}"; then passes; else fails "$1${saw:+: $saw}"; return 1; fi
}
need() {  # need DESCRIPTION COMMAND...: a check the rest cannot do without; ends them when it fails
  check "$@" || { checks_end; exit 1; }
}
skip() {  # skip DESCRIPTION: checks this machine cannot make, and why
  skipped=$((skipped + 1))
  echo "SKIPPED: $1"
}
checks_end() {  # checks_end [NAME]: named after the script unless given
  local summary="$passed passed, $failed failed"
  [ "$skipped" = 0 ] || summary+=", $skipped skipped"
  echo "${1:-$checks_name}: $summary"
  [ "$failed" = 0 ]
}

# The program's title, "Zimbrots v" and the version that project() sets.
program_title() {
  echo "Zimbrots v$(sed -n 's/^project(Zimbrots VERSION \([0-9.]*\).*/\1/p' "$checks_dir/../CMakeLists.txt")"
}

# Runs COMMAND every tenth of a second (or every $poll seconds) until it succeeds; after
# SECONDS it fails, saying how long it waited beside what COMMAND saw last.
wait_for() {  # wait_for SECONDS COMMAND...
  local deadline=$((SECONDS + $1))
  until "${@:2}"; do
    if [ "$SECONDS" -ge "$deadline" ]; then
      saw="after $1 s${saw:+, $saw}"
      return 1
    fi
    sleep "${poll:-0.1}"
  done
}

# Whether a process still runs (a zombie no longer counts: nobody may be left to reap it).
running() { [ -r "/proc/$1/stat" ] && ! grep -q '^[0-9]* (.*) Z' "/proc/$1/stat" 2>/dev/null; }
stopped() { ! running "$1"; }
stop() {  # stop PID...: ends the processes and waits until they are gone
  local pid
  for pid in "$@"; do
    [ -n "$pid" ] || continue
    kill "$pid" 2>/dev/null
    # A server still shutting down removes its socket under the feet of the next one that
    # takes the same display number.
    wait_for 10 stopped "$pid" || kill -9 "$pid" 2>/dev/null
  done
}

# A private X server of the given size; sets DISPLAY and xvfb, its process. -noreset: without
# it the server resets whenever its last client leaves, and a program that connects meanwhile
# is refused. Keys repeat only after a minute: on a loaded machine xdotool's press and release
# of one key can stand further apart than the usual repeat delay.
start_xvfb() {  # start_xvfb WIDTHxHEIGHT
  local number fd
  exec {fd}< <(Xvfb -displayfd 1 -noreset -ardelay 60000 -screen 0 "${1}x24" -nolisten tcp 2>/dev/null & echo "pid $!")
  read -r _ xvfb <&$fd
  read -r number <&$fd
  exec {fd}<&-
  [ -n "$number" ] || { echo "Xvfb did not start"; return 1; }
  export DISPLAY=":$number"
}

# A Weston nested in the X display, with a desktop shell but no panel, launcher or lock of its
# own, and no configuration of the caller's: nothing but the program under test can take the
# keys. Sets WAYLAND_DISPLAY and weston, its process.
start_weston() {  # start_weston FOLDER WIDTHxHEIGHT
  printf '[core]\nidle-time=0\n[shell]\npanel-position=none\nlocking=false\nstartup-animation=none\n' >"$1/weston.ini"
  XDG_CONFIG_HOME="$1" weston --config="$1/weston.ini" --backend=x11-backend.so --use-pixman \
    --socket=zimbrots-test --width="${2%x*}" --height="${2#*x}" >"$1/weston.log" 2>&1 &
  weston=$!
  export WAYLAND_DISPLAY=zimbrots-test
  wait_for 30 weston_listens "$1/weston.log"
}
weston_listens() { saw="its log ends: $(tail -n 1 "$1")"; test -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY"; }

# A Fcitx5 of the caller's own, on the session bus it has, with its settings in FOLDER: the
# keyboard and Zimbrots, and input contexts that start in Zimbrots. With BUILD_DIR, the add-on
# built there rather than the installed one. Sets fcitx5, its process.
start_fcitx5() {  # start_fcitx5 FOLDER [BUILD_DIR]
  mkdir -p "$1/config/fcitx5"
  printf '[Behavior]\nActiveByDefault=True\nShowInputMethodInformation=False\n' >"$1/config/fcitx5/config"
  printf '%s\n' '[Groups/0]' 'Name=Default' 'Default Layout=us' 'DefaultIM=zimbrots' '[Groups/0/Items/0]' \
    'Name=keyboard-us' '[Groups/0/Items/1]' 'Name=zimbrots' '[GroupOrder]' '0=Default' >"$1/config/fcitx5/profile"
  local settings=(HOME="$1" XDG_CONFIG_HOME="$1/config") addons
  if [ -n "${2:-}" ]; then
    # Fcitx5's own add-ons are where its D-Bus add-on is.
    addons=$(dirname "$(find /usr/lib -maxdepth 3 -name libdbus.so -path '*/fcitx5/*' -print -quit)")
    settings+=(FCITX_ADDON_DIRS="$2/fcitx5:$addons" FCITX_DATA_DIRS="$2/fcitx5/data:/usr/share/fcitx5")
  fi
  env "${settings[@]}" fcitx5 --disable=clipboard,quickphrase,unicode,imselector,notificationitem \
    >"$1/fcitx5.log" 2>&1 &
  fcitx5=$!
  wait_for 30 fcitx5_lists_zimbrots "$1/fcitx5.log"
}
fcitx5_lists_zimbrots() {
  saw="its log ends: $(tail -n 1 "$1")"
  # grep reads all: stopped early, it would fail the sender, and the pipe, under pipefail.
  # Asked before it owns its name, the bus would start another Fcitx5 in its place.
  dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
    string:org.fcitx.Fcitx5 2>/dev/null | grep 'boolean true' >/dev/null &&
    dbus-send --session --print-reply --dest=org.fcitx.Fcitx5 /controller \
    org.fcitx.Fcitx.Controller1.AvailableInputMethods 2>/dev/null | grep -F 'string "zimbrots"' >/dev/null
}

# Waits for a program of this shell's to end by itself, and expects the given status.
ends_with() {  # ends_with STATUS PID
  local status=0
  wait_for 30 stopped "$2" || { saw="it did not end"; kill "$2"; }
  wait "$2" || status=$?
  [ "$status" = "$1" ] || { saw="${saw:+$saw; }it ended with status $status"; return 1; }
}

# Asks the program's X window of that title to close, as a window manager does, once it is
# there; true also when the program has ended first, which ended_first then says.
window_closed() {  # window_closed TITLE PID
  ended_first=""
  if stopped "$2"; then
    ended_first="the program ended before a window titled '$1' appeared"
    return 0
  fi
  saw=$(/usr/bin/python3 "$checks_dir/desktop/close_window.py" "$1" 2>&1)
}
# Waits (SECONDS, default 60) for a program's X window, closes it, and expects the given status.
# Python starts slowly: every half second is often enough.
closes_with() {  # closes_with STATUS PID TITLE [SECONDS]
  poll=0.5 wait_for "${4:-60}" window_closed "$3" "$2" || return 1
  [ -z "$ended_first" ] || { saw=$ended_first; return 1; }
  ends_with "$1" "$2"
}
