#!/usr/bin/env bash
# Starts or stops a private Wine session for the end-to-end tests: a display of its
# own (Xvfb picks a free number) and a fresh Wine prefix, both under DIR.
# Only what this script started is ended again; stopping also removes the prefix
# (about 1.3 GB), leaving DIR's logs. session.env says (QB_RUNS_32BIT=yes or no)
# whether this machine runs 32-bit programs, and so Quillbrook32.
#
#   wine_session.sh start DIR   writes DIR/session.env for the tests to source
#   wine_session.sh start DIR --use-display   the same, on $DISPLAY when one is set
#   wine_session.sh stop DIR
set -euo pipefail
action=${1:?start or stop}
dir=${2:?session folder}

# In a subshell: the old session's settings (its display, its answer about 32-bit
# programs) must not reach a session started after it.
stop_session() (
    if [ -f "$dir/session.env" ]; then
        # shellcheck disable=SC1091
        . "$dir/session.env"
        WINEPREFIX="$WINEPREFIX" wineserver -k 2>/dev/null || true
        WINEPREFIX="$WINEPREFIX" wineserver -w 2>/dev/null || true
        rm -rf "$WINEPREFIX"
    fi
    if [ -f "$dir/xvfb.pid" ]; then
        kill "$(cat "$dir/xvfb.pid")" 2>/dev/null || true
        rm -f "$dir/xvfb.pid"
    fi
)

case "$action" in
stop)
    stop_session
    ;;
start)
    stop_session
    rm -rf "$dir"
    mkdir -p "$dir"
    if [ "${3:-}" = --use-display ] && [ -n "${DISPLAY:-}" ]; then
        display=$DISPLAY
    else
        Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
        echo $! >"$dir/xvfb.pid"
        for _ in $(seq 100); do
            [ -s "$dir/display" ] && break
            sleep 0.1
        done
        [ -s "$dir/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
        display=":$(tr -d '\n' <"$dir/display")"
    fi
    # Where 32-bit programs cannot run, every Wine command (wine, and winepath, wineboot
    # and regedit, which call wine-stable) goes to the 64-bit loader through a folder
    # put first on PATH: Debian's wine would take the 32-bit one whenever wine32 is
    # installed. The prefix is then 64-bit only, and so are the tests.
    if probe=$("$(dirname "$0")/can_run_32bit"); then
        runs_32bit=yes
    else
        runs_32bit=no
        mkdir -p "$dir/wine64-only"
        for name in wine wine-stable; do
            printf '#!/bin/sh\nWINELOADER=/usr/lib/wine/wine64 exec /usr/lib/wine/wine64 "$@"\n' \
                >"$dir/wine64-only/$name"
            chmod +x "$dir/wine64-only/$name"
        done
        export PATH="$dir/wine64-only:$PATH"
    fi
    cat >"$dir/session.env" <<ENV
export DISPLAY='$display'
export WINEPREFIX='$dir/prefix'
export WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml='
export PATH='$PATH'
export QB_RUNS_32BIT='$runs_32bit'
export QB_RUNS_32BIT_WHY='$probe'
ENV
    # shellcheck disable=SC1091
    . "$dir/session.env"
    wine wineboot -i >"$dir/wineboot.log" 2>&1
    # No window manager runs: unmanaged windows keep hiding and destroying prompt and
    # geometry exact. A crashing program just ends, without dialog or debugger.
    cat >"$dir/settings.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\AeDebug]
"Debugger"=-

[HKEY_LOCAL_MACHINE\Software\Wow6432Node\Microsoft\Windows NT\CurrentVersion\AeDebug]
"Debugger"=-
REG
    wine regedit /S "$(winepath -w "$dir/settings.reg")" >>"$dir/wineboot.log" 2>&1
    wineserver -w
    # A persistent server spares every test program the server's start-up.
    wineserver -p >/dev/null 2>&1 </dev/null
    echo "Wine session ready: display $display, prefix $WINEPREFIX"
    echo "32-bit programs run: $runs_32bit ($probe)"
    ;;
*)
    echo "usage: $0 start|stop DIR" >&2
    exit 2
    ;;
esac
