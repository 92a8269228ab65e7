# Sourced by the Wine test scripts: one X display for the whole run, a Wine
# prefix of its own in a temporary folder, the game as its installer leaves it,
# packed updates, the driver, and the tally of PASS and FAIL.
root=$(cd "$(dirname "$0")/../.." && pwd)
# Wine's desktop process stays bound to the display it first met, so the whole
# run shares one; an odd size, so that halving it is not exact.
if [ -z "${WINE_TESTS_DISPLAY:-}" ]; then
  export WINE_TESTS_DISPLAY=1
  exec xvfb-run -a -s "-screen 0 1279x1023x24 -nolisten tcp" "$0" "$@"
fi

wine=/usr/lib/wine/wine64 wineserver=/usr/lib/wine/wineserver  # not on the PATH without the "wine" package
build=${UI_TESTS_BUILD:-$root/build}
driver=$build/win64/bin/ui_driver.exe pack=$build/linux/bin/updater-pack
need() {  # FILE...
  for f in "$driver" "$pack" "$@"; do
    [ -x "$f" ] || { echo "missing $f: build the linux and win64 presets (and win32 for its runs) first"; exit 2; }
  done
}

reg() { "$wine" reg "$@" >/dev/null 2>&1; }
make_prefix() {
  work=$(mktemp -d /tmp/updater-wine.XXXXXX)
  # The registry key has a Japanese name: the prefix is set up under UTF-8.
  export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=C.UTF-8 LC_ALL=C.UTF-8
  trap '"$wineserver" -k 2>/dev/null; rm -rf "$work"' EXIT
  "$wine" wineboot --init >/dev/null 2>&1
  "$wineserver" -w
  # Without a window manager Wine waits two seconds on every hidden window
  # unless it manages the windows itself.
  reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
}
key='HKLM\Software\TARN\ルーメン・トレイル'

make_game() {  # DIR: the game with an old data file
  rm -rf "$1"
  mkdir -p "$1/data"
  printf 'the game\n' >"$1/LUMENTRAIL.exe"
  printf 'old map\n' >"$1/data/map.pak"
  printf 'lumentrail.exe\ndata\\map.pak\n\0' >"$1/uninst.lst"
}
snapshot() { (cd "$1" && find . -type f -exec md5sum {} + | sort); }

pack_update() {  # NAME STUB TITLE: packs $work/NAME into $work/NAME.exe, noting its checksums
  (cd "$work/$1" && find . -type f -exec md5sum {} +) >"$work/$1.sums"
  "$pack" build --stub "$2" --from "$work/$1" --title "$3" --out "$work/$1.exe" >/dev/null || exit 2
}
expect_installed() {  # DIR NAME
  (cd "$1" && md5sum --check --quiet "$work/$2.sums") >/dev/null 2>&1 || problem "$2 is not installed in $1"
  [ -z "$(find "$1" -name '*.tmp')" ] || problem "staging files left in $1"
}

# Starts the driver on the script on standard input with the environment
# ENV...; `finish` waits for it.
drive() {  # [ENV...]
  log=$work/driver.log
  cat >"$work/driver.script"
  timeout "${drive_seconds:-120}" env "$@" "$wine" "$driver" "Z:$work/driver.script" >"$log" 2>/dev/null &
  driver_pid=$!
}
finish() {
  wait "$driver_pid" && return
  problem "the driver failed"
  "$wineserver" -k 2>/dev/null  # an updater left behind would be in the next case's way
  sleep 1
}

passed=0 failed=0 problems=()
problem() { problems+=("$*"); }
end() {  # NAME: the driver's log too on a failure, or when UI_TESTS_VERBOSE is set
  if ((${#problems[@]})); then
    failed=$((failed + 1))
    echo "FAIL $1"
    printf '    %s\n' "${problems[@]}"
  else
    passed=$((passed + 1))
    echo "PASS $1"
  fi
  ((${#problems[@]})) || [ -n "${UI_TESTS_VERBOSE:-}" ] && sed 's/^/    | /' "$log"
  problems=()
}
summary() {
  echo "$passed passed, $failed failed"
  ((failed == 0))
}
