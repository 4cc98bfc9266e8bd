# Sourced by the project's scripts: a virtual display (unless one is given)
# and a Wine prefix of the project's own, set up for driving the clock from
# tests. Only the processes started here are ended, by their ids.

VELMORA_ROOT=${VELMORA_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEPREFIX=${WINEPREFIX:-$VELMORA_ROOT/build/wineprefix}
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml="
VELMORA_SCREEN=${VELMORA_SCREEN:-1024x768x24}
VELMORA_XVFB_PID=

# Starts Xvfb on the first free display number and exports DISPLAY.
start_virtual_display() {
    local display=99
    while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
        display=$((display + 1))
    done
    Xvfb ":$display" -screen 0 "$VELMORA_SCREEN" -nolisten tcp >/dev/null 2>&1 &
    VELMORA_XVFB_PID=$!
    export DISPLAY=":$display"
    local tries=0
    until xdpyinfo >/dev/null 2>&1; do
        tries=$((tries + 1))
        if [ $tries -gt 100 ] || ! kill -0 "$VELMORA_XVFB_PID" 2>/dev/null; then
            echo "Xvfb did not start on $DISPLAY" >&2
            return 1
        fi
        sleep 0.1
    done
}

# Creates the prefix once: no window manager waits, no font smoothing (text
# pixels are exactly the text colour), windows that move while dragged (as
# Windows does by default; Wine's default drags an outline), a desktop colour
# tests can tell from black, and Wine's own fonts where Wine looks for them.
VELMORA_PREFIX_MARK=.velmora-ready-2
prepare_wine_prefix() {
    if [ -f "$WINEPREFIX/$VELMORA_PREFIX_MARK" ]; then
        return 0
    fi
    mkdir -p "$(dirname "$WINEPREFIX")"
    wineboot -i >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    wine reg add 'HKCU\Control Panel\Desktop' /v FontSmoothing /d 0 /f >/dev/null 2>&1
    wine reg add 'HKCU\Control Panel\Desktop' /v DragFullWindows /d 1 /f >/dev/null 2>&1
    wine reg add 'HKCU\Control Panel\Colors' /v Background /d '58 110 165' /f >/dev/null 2>&1
    cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
    wineserver -w
    touch "$WINEPREFIX/$VELMORA_PREFIX_MARK"
}

# Ends this prefix's wine server and the display started here, nothing else.
stop_wine_environment() {
    wineserver -k >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1
    if [ -n "$VELMORA_XVFB_PID" ]; then
        kill "$VELMORA_XVFB_PID" 2>/dev/null
        wait "$VELMORA_XVFB_PID" 2>/dev/null
        VELMORA_XVFB_PID=
    fi
}
