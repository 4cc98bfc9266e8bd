# Sourced by the project's scripts: a virtual display (unless one is given)
# and Wine prefixes of the project's own, set up for driving the clock from
# tests. Only the processes started here are ended, by their ids. A step
# that fails says what failed and returns non-zero.

VELMORA_ROOT=${VELMORA_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
source "$VELMORA_ROOT/scripts/steps.sh"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml="
VELMORA_SCREEN=${VELMORA_SCREEN:-1024x768x24}
VELMORA_XVFB_PID=
VELMORA_PREFIXES_USED=()

# Chooses the 32-bit (default) or the 64-bit Wine and its own prefix;
# $VELMORA_WINE is the loader to run programs with, Wine's own tools
# (wineboot, reg, winepath) included. Not /usr/bin/wine: that picks the
# 32-bit loader whenever it is installed, even for a 64-bit prefix. A
# WINEPREFIX set by the caller is kept for the 32-bit one.
use_wine_bits() {
    if [ "$1" = 64 ]; then
        export WINEARCH=win64
        export WINEPREFIX=${VELMORA_WINEPREFIX64:-$VELMORA_ROOT/build/wineprefix64}
        VELMORA_WINE=/usr/lib/wine/wine64
    else
        export WINEARCH=win32
        export WINEPREFIX=${VELMORA_WINEPREFIX32:-$VELMORA_ROOT/build/wineprefix}
        VELMORA_WINE=/usr/lib/wine/wine
    fi
    [[ " ${VELMORA_PREFIXES_USED[*]} " == *" $WINEPREFIX "* ]] ||
        VELMORA_PREFIXES_USED+=("$WINEPREFIX")
}
VELMORA_WINEPREFIX32=${VELMORA_WINEPREFIX32:-${WINEPREFIX:-}}
use_wine_bits 32

# Panels on every side of the virtual screen, in pixels, as a desktop's bars
# and docks leave it: no edge of the work area is an edge of the screen, so
# the tests can tell which of the two a window keeps to.
VELMORA_PANELS=(40 24 32 40)  # left, top, right, bottom

# Starts Xvfb on a display number that Xvfb itself finds free (-displayfd)
# and exports DISPLAY: a number chosen here and then started could be taken
# meanwhile by another script's display, which the waits below would then
# connect to. Wine takes the work area from the root window's _NET_WORKAREA
# (x, y, width, height); without -noreset Xvfb would forget it as soon as
# its last client leaves.
start_virtual_display() {
    local log tries=0 area width height
    log=$(mktemp /tmp/velmora-xvfb.XXXXXX) || return 1
    Xvfb -displayfd 3 -screen 0 "$VELMORA_SCREEN" -nolisten tcp -noreset \
        3>"$log.display" >"$log" 2>&1 &
    VELMORA_XVFB_PID=$!
    until [ -s "$log.display" ]; do
        tries=$((tries + 1))
        if [ $tries -gt 300 ] || ! kill -0 "$VELMORA_XVFB_PID" 2>/dev/null; then
            report_failure 1 "$log" Xvfb -displayfd 3 -screen 0 "$VELMORA_SCREEN"
            rm -f "$log" "$log.display"
            return 1
        fi
        sleep 0.1
    done
    export DISPLAY=":$(cat "$log.display")"
    rm -f "$log" "$log.display"
    IFS=x read -r width height _ <<<"$VELMORA_SCREEN"
    area="${VELMORA_PANELS[0]}, ${VELMORA_PANELS[1]},"
    area+=" $((width - VELMORA_PANELS[0] - VELMORA_PANELS[2])),"
    area+=" $((height - VELMORA_PANELS[1] - VELMORA_PANELS[3]))"
    xprop -root -f _NET_WORKAREA 32c -set _NET_WORKAREA "$area" || {
        echo "FAILED: setting the work area of $DISPLAY to $area" >&2
        return 1
    }
}

# Prints the Windows name of a Linux path, as the current prefix sees it.
windows_path() {
    local name
    name=$("$VELMORA_WINE" winepath.exe -w "$1" 2>/dev/null) && [ -n "$name" ] || {
        echo "FAILED: winepath -w $1 in $WINEPREFIX" >&2
        return 1
    }
    echo "$name"
}

# Creates the current prefix once: no window manager waits, no font
# smoothing (text pixels are exactly the text colour), windows that move while
# dragged (as Windows does by default; Wine's default drags an outline), a
# desktop colour tests can tell from black, Wine's own fonts where Wine looks
# for them, and no debugger started on a crash: a crashed program just ends,
# and no debugger outlives the run. A prefix is marked ready only when every
# step worked and its system folders are filled: one made while 32-bit
# programs could not run has an empty syswow64 and stays broken, so an
# unmarked prefix of the project's own is made anew.
VELMORA_PREFIX_MARK=.velmora-ready-4
prepare_wine_prefix() {
    if [ -f "$WINEPREFIX/$VELMORA_PREFIX_MARK" ]; then
        return 0
    fi
    run_step mkdir -p "$(dirname "$WINEPREFIX")" || return
    # Under i386 emulation a first wineboot has been seen to fail once
    # ("could not load kernel32.dll") and work when tried again.
    local attempt
    for attempt in 1 2; do
        case $WINEPREFIX in
            "$VELMORA_ROOT"/build/*) run_step rm -rf "$WINEPREFIX" || return ;;
        esac
        run_step "$VELMORA_WINE" wineboot.exe -i && break
        WINEPREFIX=$WINEPREFIX wineserver -k >/dev/null 2>&1 || true
        [ "$attempt" -eq 1 ] || return 1
        echo "making the prefix $WINEPREFIX again" >&2
    done
    # Under i386 emulation the wine server has been seen to drop a client
    # mid-way ("recvmsg: Connection reset by peer"); the values are written
    # again, all of them, as a dropped server may not have kept the others.
    local key path name value written
    for attempt in 1 2; do
        written=1
        for key in "HKCU\\Software\\Wine\\X11 Driver|Managed|N" \
                   "HKCU\\Control Panel\\Desktop|FontSmoothing|0" \
                   "HKCU\\Control Panel\\Desktop|DragFullWindows|1" \
                   "HKCU\\Control Panel\\Colors|Background|58 110 165" \
                   "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug|Debugger|"; do
            IFS='|' read -r path name value <<<"$key"
            run_step "$VELMORA_WINE" reg.exe add "$path" /v "$name" /d "$value" /f ||
                { written=0; break; }
        done
        [ "$written" -eq 1 ] && break
        [ "$attempt" -eq 1 ] || return 1
        echo "writing the prefix's settings again" >&2
    done
    run_step cp -rn /usr/share/wine/fonts/. "$WINEPREFIX/drive_c/windows/Fonts/" ||
        return
    run_step wineserver -w || return
    local windows=$WINEPREFIX/drive_c/windows folder folders=(system32)
    [ "$WINEARCH" = win64 ] && folders+=(syswow64)
    for folder in "${folders[@]}"; do
        if [ ! -f "$windows/$folder/kernel32.dll" ]; then
            echo "FAILED: the new Wine prefix $WINEPREFIX has no $folder/kernel32.dll" >&2
            return 1
        fi
    done
    touch "$WINEPREFIX/$VELMORA_PREFIX_MARK"
}

# Runs a command in a mount namespace of its own, in which a writable copy of
# UTC's zone file stands in for /etc/localtime: under Wine the Windows time
# zone comes from there, and the time-zone tests (told the copy's name by
# VELMORA_ZONE_FILE) change it under a running clock. Each prefix has a copy
# of its own, so runs in two prefixes at once never change each other's zone.
# Where no namespace can be made the command runs as it is and those tests
# skip; the file named by no_zone_namespace_file then says why (it is
# removed otherwise), so the test command lets those skips pass and no
# others. A file, as the command often runs in a pipeline's subshell.
no_zone_namespace_file() {
    echo "$VELMORA_ROOT/build/zone/${WINEPREFIX##*/}/no-namespace"
}
run_with_zone_file() {
    local zone_file=$VELMORA_ROOT/build/zone/${WINEPREFIX##*/}/localtime
    local no_namespace
    no_namespace=$(no_zone_namespace_file)
    mkdir -p "$(dirname "$zone_file")"
    cp /usr/share/zoneinfo/Etc/UTC "$zone_file"
    rm -f "$no_namespace"
    local why=
    if [ ! -e /etc/localtime ]; then
        why="no /etc/localtime to stand in for"
    elif ! unshare -m true 2>/dev/null; then
        why="unshare -m failed: no mount namespace here"
    fi
    if [ -z "$why" ]; then
        local zone_name new_zone_name
        zone_name=$(windows_path "$zone_file") || return
        new_zone_name=$(windows_path /usr/share/zoneinfo/Asia/Kolkata) || return
        VELMORA_ZONE_FILE=$zone_name VELMORA_NEW_ZONE=$new_zone_name \
            env -u TZ unshare -m sh -c \
            'mount --bind "$0" /etc/localtime && exec "$@"' "$zone_file" "$@"
    else
        echo "$why" >"$no_namespace"
        echo "$why: the time-zone tests skip" >&2
        "$@"
    fi
}

# Runs a command on a virtual display of its own, ending it and the current
# prefix's wine server after it. Returns the command's status.
on_own_display() {
    (
        VELMORA_PREFIXES_USED=("$WINEPREFIX")
        VELMORA_XVFB_PID=
        trap stop_wine_environment EXIT
        start_virtual_display || exit 1
        "$@"
    )
}

# Runs a command on a display and in a Wine prefix of its own (the current
# prefix's path with "-apart", made once like it), ending both after it, so
# that it can run beside a program on the current ones without either moving
# the other's pointer or opening a menu or dialog in its way: one wine server
# keeps one pointer and one desktop for all its programs, whatever display
# each uses. Returns the command's status.
run_apart() {
    (
        export WINEPREFIX=$WINEPREFIX-apart
        on_own_display prepared "$@"
    )
}

# Runs a command once the current prefix is ready.
prepared() {
    prepare_wine_prefix && "$@"
}

# Ends the wine servers of the prefixes used here and the display started
# here, nothing else. Run as an exit trap, perhaps under set -e: a prefix
# with no server left must not stop it before the display is ended.
stop_wine_environment() {
    local prefix
    for prefix in "${VELMORA_PREFIXES_USED[@]}"; do
        WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
        WINEPREFIX=$prefix timeout 30 wineserver -w >/dev/null 2>&1 || true
    done
    if [ -n "$VELMORA_XVFB_PID" ]; then
        kill "$VELMORA_XVFB_PID" 2>/dev/null || true
        wait "$VELMORA_XVFB_PID" 2>/dev/null || true
        VELMORA_XVFB_PID=
    fi
}
