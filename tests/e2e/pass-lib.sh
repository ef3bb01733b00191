# Shared by the whole-pass scripts (sourced after e2e-lib.sh): a game of a
# few hundred files of mixed sizes and one large file, published with
# launcher-publish, and the checks every run of a pass must pass.
#   pass_make_game DIR BIG_MIB      writes the game into DIR
#   pass_publish GAME WWW [ARGS]    publishes it (extra publisher ARGS)
#   pass_strays INSTALL             prints helper files a pass left behind
#   pass_final_files_right INSTALL  fails when a file under its final name
#                                   holds other bytes than the game's
#   pass_tree_equal INSTALL         fails unless INSTALL holds the whole game
#   pass_bytes_sent                 bytes nginx sent, from the access log
#                                   (format $PASS_LOG_FORMAT)
#   pass_watch_begin / pass_watch_end   the places a pass must not write to
# Needs $work and $game (set by the caller).
# LG_PASS_ARGS: extra arguments for every pass the scripts run (for example
# --pipelined, so the same faults and kills meet the other transfer mode).

# shellcheck disable=SC2206  # split on purpose: several arguments
pass_args=(${LG_PASS_ARGS:-})

PASS_LOG_FORMAT='$request_uri $status $bytes_sent $http_range'

# Written by one process: a few hundred process starts cost seconds on a
# loaded host. Random bytes that do not compress, and text rows (zipped by
# pass_publish) that do; sizes on both sides of the one-connection limit.
pass_make_game() {
  python3 - "$1" "$2" << 'PY' || fail "cannot write the game"
import os, random, sys
root, big = sys.argv[1], int(sys.argv[2])
def put(name, data):
    path = os.path.join(root, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
put("Client.bin", os.urandom(300000))
put("data/pack/world.pak", os.urandom(big << 20))
for i in range(1, 181):
    put("data/ui/u%d.dat" % i, os.urandom(random.randint(1, 4000)))
for i in range(1, 81):
    put("data/maps/m%d/map%d.map" % (i % 7, i), os.urandom(random.randint(5000, 130000)))
for i in range(1, 41):
    rows = "".join("row %d of text %d\n" % (k, i) for k in range(random.randint(300, 6000)))
    put("data/text/t%d.txt" % i, rows.encode())
put("data/empty.txt", b"")
PY
  (cd "$1" && find . -type f -print0 | sort -z | xargs -0 md5sum) > "$work/game.md5"
}

pass_publish() {
  local src=$1 www=$2
  shift 2
  "$publish" --src "$src" --out "$www" --zip 'data/text/*.txt' "$@" > "$work/publish.log" 2>&1 ||
    { cat "$work/publish.log"; fail "publish failed"; }
  chmod -R a+rX "$www"
}

pass_strays() {
  find "$1" \( -name '*.!dl' -o -name '*.!tmp' -o -name '*.!new' -o -name '*.!inf' -o -name '*.!unzip' \
    -o -name 'update.!new' \) -print
}

# Every file of the game that exists under its own name is the game's (one
# md5sum over the files present).
pass_final_files_right() {
  local install=$1 sum name
  while read -r sum name; do
    [ -f "$install/$name" ] && printf '%s  %s\n' "$sum" "$name"
  done < "$work/game.md5" > "$work/present.md5"
  [ -s "$work/present.md5" ] || return 0
  (cd "$install" && md5sum -c --quiet "$work/present.md5") > "$work/present.out" 2>&1 ||
    fail "under its final name with other bytes: $(grep -v ': OK$' "$work/present.out" | head -n 3)"
}

pass_tree_equal() {
  (cd "$1" && md5sum -c --quiet "$work/game.md5") || fail "installed files differ from the game"
  local extra
  extra=$(cd "$1" && find . -type f ! -path './data/update.json' ! -path './data/update0.local' \
    ! -name UpdateLog.txt ! -name launcher.ini | sort | comm -23 - <(cut -c35- "$work/game.md5" | sort))
  [ -z "$extra" ] || fail "files the game does not have: $extra"
}

pass_bytes_sent() {
  awk '{ s += $3 } END { printf "%d\n", s }' "$work/logs/access.log"
}

# The pass runs with its current folder, HOME and TMPDIR in $work/outside;
# nothing may appear there, and nothing beside the install folder.
pass_watch_begin() {
  mkdir -p "$work/outside/cwd" "$work/outside/home" "$work/outside/tmp"
  export HOME="$work/outside/home" TMPDIR="$work/outside/tmp"
  (cd "$(dirname "$1")" && ls -A) > "$work/beside.before"
  ls -A "$(dirname "$update")" > "$work/tooldir.before"
}

pass_watch_end() {
  local written
  written=$(find "$work/outside" -mindepth 2 -print)
  [ -z "$written" ] || fail "written outside the install folder: $written"
  (cd "$(dirname "$1")" && ls -A) | diff "$work/beside.before" - || fail "files appeared beside the install folder"
  ls -A "$(dirname "$update")" | diff "$work/tooldir.before" - || fail "files appeared beside the tool"
}
