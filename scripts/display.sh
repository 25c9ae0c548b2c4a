# Sourced by the scripts: gives Wine an X display, starting Xvfb when there is none.
ensure_display() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return; fi
  # The server takes the first free number itself and says which: scripts
  # that start displays at the same moment never share one.
  local number_file
  number_file=$(mktemp)
  Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp >"$number_file" 2>/dev/null &
  XVFB_PID=$!
  trap 'kill $XVFB_PID 2>/dev/null || true' EXIT
  for _ in $(seq 100); do
    if grep -q . "$number_file"; then
      export DISPLAY=":$(head -1 "$number_file")"
      if xdpyinfo >/dev/null 2>&1; then
        rm -f "$number_file"
        return
      fi
    fi
    sleep 0.1
  done
  rm -f "$number_file"
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
