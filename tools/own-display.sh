# Sourced by the scripts that need an X display of their own (bash).
# start_own_display FILE_PREFIX: starts Xvfb on a display number the server picks itself, so a
# socket an earlier server left under /tmp/.X11-unix never passes for a running display; exports
# DISPLAY, sets own_display_pid and ends the server when the calling script exits.
start_own_display() {
    local prefix=$1
    rm -f "$prefix.display"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$prefix.display" </dev/null >"$prefix.log" 2>&1 &
    own_display_pid=$!
    trap 'kill $own_display_pid 2>/dev/null || true' EXIT
    for _ in $(seq 100); do [ -s "$prefix.display" ] && break; sleep 0.1; done
    [ -s "$prefix.display" ] || { echo "Xvfb did not start: $(cat "$prefix.log")" >&2; return 1; }
    export DISPLAY=":$(head -n1 "$prefix.display" | tr -d '[:space:]')"
}
