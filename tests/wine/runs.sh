# shellcheck shell=bash
# Running the program under Wine as a user would, on the virtual display,
# closing its message boxes; sourced by run-wine-tests.sh.
: "${work:?run-wine-tests.sh sets the scratch folder}"

readonly RUN_TIMEOUT=120 # one run of the program, seconds

# window_shown ID: the X window ID is on the screen (mapped and viewable).
window_shown() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }

# close_box ID: closes the message box ID with Return and waits, 10 s at
# most, until it has left the screen.
close_box() {
  local id=$1 deadline=$((SECONDS + 10))
  timeout 5 xdotool windowfocus --sync "$id" 2>/dev/null
  xdotool key Return 2>/dev/null
  while window_shown "$id"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

# colours FILE: how many colours the picture FILE has.
colours() { identify -format %k "$1" 2>/dev/null; }

# settled_screenshot BOX SHOT: once the message box BOX is painted (more than
# its background colour in it) and the screen has stopped changing (two
# pictures in a row the same, 10 s at most), the screen to SHOT and the
# stacking order of its windows to SHOT.stacking.
settled_screenshot() {
  local box=$1 shot=$2 frame=$work/frame.ppm previous=$work/frame-before.ppm deadline=$((SECONDS + 10))
  rm -f "$previous"
  while [ "$SECONDS" -lt "$deadline" ]; do
    import -window root "ppm:$frame" 2>/dev/null || return 1
    if cmp -s "$frame" "$previous" && import -window "$box" "ppm:$work/box.ppm" 2>/dev/null &&
      [ "$(colours "$work/box.ppm")" -gt 2 ]; then
      # The stacking order of the windows, as the screenshot shows them.
      xwininfo -root -children >"$shot.stacking" 2>/dev/null || rm -f "$shot.stacking"
      import -window root "$shot" 2>/dev/null
      return
    fi
    mv "$frame" "$previous"
    sleep 0.2
  done
  return 1
}

# run_setup PREFIX LOADER EXE LABEL [SCREENSHOT]: runs the program, closes its
# message boxes with Return, and sets run_status, run_boxes (the captions of
# the boxes it showed, one a line) and run_unexpected.
run_setup() {
  local prefix=$1 loader=$2 exe=$3 label=$4 shot=${5:-}
  local status_file=$work/status log=$work/run-$label.log
  rm -f "$status_file"
  run_boxes=
  run_unexpected=
  (
    WINEPREFIX=$prefix timeout "$RUN_TIMEOUT" "$loader" "$exe" </dev/null >"$log" 2>&1
    echo $? >"$status_file"
  ) &
  local runner=$! deadline=$((SECONDS + RUN_TIMEOUT + 10)) class
  class=$(basename "$exe" | tr '[:upper:]' '[:lower:]')
  while [ ! -f "$status_file" ] && [ $SECONDS -lt $deadline ]; do
    local id name
    for id in $(xdotool search --onlyvisible --class "^$class\$" 2>/dev/null); do
      name=$(xdotool getwindowname "$id" 2>/dev/null) || continue
      case $name in
        "Marvane Setup" | "Searching" | "Default IME" | "") continue ;;
        "Marvane Installation") ;;
        *) run_unexpected+="$name;" ;;
      esac
      if [ -n "$shot" ] && [ ! -f "$shot.taken" ]; then
        settled_screenshot "$id" "$shot" && touch "$shot.taken"
      fi
      case $'\n'"$run_boxes" in *$'\n'"$name"$'\n'*) ;; *) run_boxes+="$name"$'\n' ;; esac
      close_box "$id"
    done
    sleep 0.5
  done
  wait "$runner" 2>/dev/null
  run_status=$(cat "$status_file" 2>/dev/null || echo timeout)
  rm -f "$shot.taken"
}

check_run() { # check_run LABEL: the run ended well, with the completion box
  local label=$1
  check "$label: exit status 0 (was $run_status)" [ "$run_status" = 0 ]
  check "$label: completion box \"Marvane Installation\" shown and closed" \
    grep -qx "Marvane Installation" <<<"$run_boxes"
  check "$label: no other message box${run_unexpected:+ (saw: $run_unexpected)}" [ -z "$run_unexpected" ]
}
