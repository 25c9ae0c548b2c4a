# Sourced by the scripts: gives Wine an X display, starting Xvfb when there is none.
ensure_display() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return; fi
  local n
  for n in $(seq 90 120); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
  done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  XVFB_PID=$!
  trap 'kill $XVFB_PID 2>/dev/null || true' EXIT
  export DISPLAY=":$n"
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && return; sleep 0.1; done
  echo "Xvfb did not start" >&2
  return 1
}

# Prints the X window id of the top-level window titled exactly $1 once it
# shows, waiting up to 60 s; prints nothing if it never does.
wait_for_window() {
  local window
  for _ in $(seq 1 600); do
    window=$(xdotool search --name "^$1\$" 2>/dev/null | head -1) || true
    if [ -n "$window" ]; then echo "$window"; return 0; fi
    sleep 0.1
  done
}
