#!/bin/sh
# wine-run.sh PREFIX PROGRAM [ARGUMENT...]
# Runs a Windows program of the cross build under Wine, in the Wine prefix
# PREFIX, which is created quietly on first use. The prefix's server and
# Wine's own background programs are started here with no output attached,
# so that they never hold the program's output (and so a test runner) open;
# the server stays for a minute after its last program, so that the next
# one starts at once.
set -eu
prefix=$1
shift
# Wine keeps Windows names in Unix names in the locale's character set: a
# UTF-8 one, which every Debian has, so that any name can be made (a fresh
# system or a CI job may have no locale set at all).
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
mkdir -p "$prefix"
(
  flock 9
  if ! grep -qs '"Graphics"="null"' "$prefix/user.reg"; then
    # A new prefix: made here, with Wine's null display so that windows need
    # no X server; its first server ends before the one programs use starts.
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f \
      </dev/null >/dev/null 2>&1 9>&- || true
    timeout 120 wineserver -w </dev/null >/dev/null 2>&1 9>&- || true
  fi
  if wineserver -p60 </dev/null >/dev/null 2>&1 9>&-; then
    # A new server: start Wine's services before any program of ours.
    wine wineboot </dev/null >/dev/null 2>&1 9>&- || true
  fi
) 9>"$prefix.lock"
exec wine "$@"
