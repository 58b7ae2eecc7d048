# Wine for the test stages (sourced): wine64, quiet and without a display, in
# the prefix $WINEPREFIX, with COM ports mapped to paths of this machine.
WINE=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY

retry() { # seconds, command...: until the command succeeds
    local end=$((SECONDS + $1))
    shift
    until "$@"; do ((SECONDS < end)) || return 1; sleep 0.05; done
}
stop_server() { timeout 20 "$WINESERVER" -k &>/dev/null; timeout 20 "$WINESERVER" -w &>/dev/null; return 0; }
# A server left over from an interrupted run would keep its old port map.
boot_prefix() { stop_server; [[ -f $WINEPREFIX/system.reg ]] || timeout 180 "$WINE" wineboot -i &>/dev/null; }
mapped() { [[ $(readlink "$WINEPREFIX/dosdevices/${1,,}") == "$2" ]]; }
# COMn=path ...: the server reads the map when it starts.
map_ports() {
    local kv
    for kv; do
        timeout 60 "$WINE" reg add 'HKLM\Software\Wine\Ports' /v "${kv%%=*}" /d "${kv#*=}" /f &>/dev/null || return 1
    done
    stop_server
    timeout 20 "$WINESERVER" -p && timeout 60 "$WINE" cmd /c exit &>/dev/null
    for kv; do
        retry 10 mapped "${kv%%=*}" "${kv#*=}" || { echo "${kv%%=*} is not mapped to ${kv#*=}"; return 1; }
    done
}
