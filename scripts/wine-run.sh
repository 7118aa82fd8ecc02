#!/bin/sh
# Runs one Windows program under wine for ctest: code page 932, the build's
# own prefix (set by the test's environment), no wine debug chatter.
export LANG="${LANG:-ja_JP.UTF-8}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
exec wine "$@"
