# Sourced by the Windows scripts: a wine of our own, quiet, that asks for no
# Mono or Gecko download, set up once before anything runs in it (a program
# started while wine makes its prefix gets wine's notices in its output), and
# kept running so that each program starts at once instead of waiting for
# wine's helpers.
export WINEPREFIX="${WINEPREFIX:-$PWD/build-win/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  echo "Setting up wine in $WINEPREFIX"
  wineboot --init >/dev/null 2>&1 || true
  wineserver -w
fi
wineserver -p
# The first program started in the server brings up wine's helper processes,
# which keep its standard streams open for as long as the server lives: let
# that be one whose streams lead nowhere, not a test whose output is piped.
wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
# At the end, the server and every process of this prefix go, helpers
# included: none is left running after the suite.
endWine() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  for environ in /proc/[0-9]*/environ; do
    if grep -qz "^WINEPREFIX=$WINEPREFIX\$" "$environ" 2>/dev/null; then
      pid=${environ#/proc/}
      kill -9 "${pid%/environ}" 2>/dev/null || true
    fi
  done
}
trap endWine EXIT
