#!/usr/bin/env bash
# Runs a Windows program under Wine for the tests: no display, no debug chatter, in the project's
# own Wine prefix (build/wine unless WINEPREFIX names another). Wine takes the user language and
# the code pages from the Unix locale: LC_ALL=ja_JP.UTF-8 gives a Japanese system with code page
# 932 (the locale must be generated), C.UTF-8 an English one with code page 1252.
# usage: wine-run.sh PROGRAM.exe [ARGUMENTS...]
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$root/build/wine}
export WINEDEBUG=${WINEDEBUG:--all}
# No prompts to install the .NET and HTML runtimes into a new prefix.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
unset DISPLAY WAYLAND_DISPLAY
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
exec "$wine" "$@"
