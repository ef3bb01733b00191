#!/usr/bin/env bash
# The generated default skin: two runs give the same bytes, every image is a
# PNG of the size its control expects, and the packed block is valid for
# the launcher's own reader (launcher-block inspect exits 0).
#   make_skin_test.sh MAKE_SKIN LAUNCHER_BLOCK
set -euo pipefail
make_skin=$1
block_tool=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

"$make_skin" "$work/a" >/dev/null
"$make_skin" "$work/b" >/dev/null
diff -r "$work/a" "$work/b" >/dev/null || fail "two runs differ: $(diff -rq "$work/a" "$work/b" | head -3)"
[ "$(ls "$work/a"/*.png | wc -l)" -eq 33 ] || fail "not 33 images"

# Sizes the window and its controls are laid out for.
check_size() {
  local name=$1 expected=$2 got
  got=$(/usr/bin/identify -format '%wx%h' "$work/a/$name.png")
  [ "$got" = "$expected" ] || fail "$name is $got, expected $expected"
}
check_size background 1002x642
check_size btn_start_disable 266x86
check_size Progress_all 839x17
check_size server_bk_active 243x32
check_size cb_down 35x40
check_size frm_login 302x420
# No time stamps or text chunks that would change between runs.
if grep -qa -e tIME -e tEXt "$work"/a/*.png; then fail "time or text chunks in the images"; fi

# Pack onto a small program file and read it back as the launcher would.
head -c 4096 /dev/urandom >"$work/small.exe"
"$make_skin" "$work/c" --pack "$work/small.exe" "$work/packed.exe" --block-tool "$block_tool" >/dev/null
"$block_tool" inspect "$work/packed.exe" >"$work/inspect.txt" || fail "inspect: $(cat "$work/inspect.txt")"
grep -q '_LauName = 龙腾传说' "$work/inspect.txt" || fail "launcher name not in the block"
grep -q '_ClientPatchUrl = http://127.0.0.1:' "$work/inspect.txt" || fail "patch address not on 127.0.0.1"
grep -Eq '^ +32 min_down +[0-9]+' "$work/inspect.txt" || fail "the last image does not load"
grep -Eq '^ +18 LGBtn4 +612 +40 +84 +32' "$work/inspect.txt" || fail "the last position is not LGBtn4's"
echo "make-skin: reproducible, 33 images, block valid"
