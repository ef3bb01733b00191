#!/bin/bash
# An update pass into a folder on a disk that fills up: a tmpfs smaller than
# the game, mounted in a mount namespace of its own (as root, or as an
# unprivileged user through a user namespace). The pass fails with the
# writer's "Write Error" on its status line, leaves no
# file under its final name with other bytes than the game's and no data
# file of the download that failed; after the tmpfs grows, the next pass
# completes with every file right and no helper file left.
# Exit 77 (skipped) without nginx or when no tmpfs can be mounted.
# usage: disk_full.sh LAUNCHER_PUBLISH LAUNCHER_UPDATE
set -u
publish=$(readlink -f "$1")
update=$(readlink -f "$2")
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e-lib.sh"
. "$here/pass-lib.sh"

# Inside the namespace: the two passes and their checks.
if [ "${LG_DISK_FULL_INNER:-}" = 1 ]; then
  set -u
  mount -t tmpfs -o "size=${disk_kib}k" lg-disk-full "$install" 2> /dev/null || exit 77
  base="http://127.0.0.1:$port/patch/"
  "$update" pass --dir "$install" --base "$base" --pass 0 > "$work/full.log" 2>&1
  code=$?
  [ "$code" -ne 0 ] || fail "the pass reported success on a full disk"
  status=$(grep -a -m1 'Write Error' "$work/full.log") || { tail -n 20 "$work/full.log"; fail "no Write Error on the status line"; }
  # The update log is saved into the same full folder at the pass's end, so
  # it may find no room: the status line above is what the player sees.
  pass_final_files_right "$install"
  left=$(find "$install" -name '*.!tmp' -size +0 -print)
  [ -z "$left" ] || fail "data files of failed downloads left: $left"
  echo "full disk (${disk_kib} KiB): exit $code; status: $status"
  mount -o remount,size=256m "$install" || fail "cannot grow the tmpfs"
  "$update" pass --dir "$install" --base "$base" --pass 0 > "$work/space.log" 2>&1 ||
    { tail -n 20 "$work/space.log"; fail "the pass with space failed"; }
  pass_tree_equal "$install"
  strays=$(pass_strays "$install")
  [ -z "$strays" ] || fail "helper files left behind: $strays"
  echo "with space: every file right, no helper file left"
  exit 0
fi

command -v unshare > /dev/null || { echo "unshare not installed: skipped"; exit 77; }
e2e_begin
game="$work/game" www="$work/www" install="$work/install"
mkdir -p "$www" "$install"
pass_make_game "$game" 6
pass_publish "$game" "$www/patch"
e2e_nginx "$www" "$PASS_LOG_FORMAT"
# Room for all but about half of the large file.
content=$(du -sk --apparent-size "$game" | cut -f1)
disk_kib=$((content - 3 * 1024))
ns=(unshare --mount)
[ "$(id -u)" -eq 0 ] || ns=(unshare --user --map-root-user --mount)
"${ns[@]}" true 2> /dev/null || { echo "no mount namespace here: skipped"; exit 77; }
export LG_DISK_FULL_INNER=1 work install port update publish disk_kib
"${ns[@]}" bash "$0" "$publish" "$update"
code=$?
[ "$code" -eq 77 ] && echo "cannot mount a tmpfs here: skipped"
exit "$code"
