#!/usr/bin/env bash
# A code-signed executable through launcher-block, checked by osslsigncode
# with a throwaway self-signed certificate made here:
#   - a block appended behind the signature (the way that breaks it) fails
#     verification, and inspect says so;
#   - pack (with and without --signed) puts the block inside the certificate
#     table: verification passes, the PE checksum is right, and inspect reads
#     the same block as from the unsigned executable packed the plain way;
#   - packing again replaces the block (same bytes), and so does packing the
#     broken file; strip gives the signed executable back byte for byte.
# usage: signed_pack.sh SOURCE_DIR LAUNCHER_BLOCK [PE_FILE [EMULATOR]]
#   Without PE_FILE a small executable is built with the MinGW compiler; with
#   EMULATOR the tool (a Windows build) runs through it.
# Exit 0 when every check passed, 77 (skipped) without osslsigncode, openssl
# or a MinGW compiler, 1 on a failure (named).
set -euo pipefail
src=$1 tool=$2 pe=${3:-} emulator=${4:-}
for t in osslsigncode openssl; do
  command -v "$t" >/dev/null || { echo "$t missing: skipped"; exit 77; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/lg-signed-pack.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
block() { ${emulator:+"$emulator"} "$tool" "$@"; }

if [ -z "$pe" ]; then
  command -v i686-w64-mingw32-gcc >/dev/null || { echo "no MinGW compiler: skipped"; exit 77; }
  printf 'int main(void) { return 0; }\n' > "$work/sample.c"
  i686-w64-mingw32-gcc -O2 -o "$work/sample.exe" "$work/sample.c" || fail "cannot build the sample executable"
  pe=$work/sample.exe
fi
mkdir -p "$work/signed" "$work/plain" "$work/skin"
cp "$pe" "$work/plain/bare.exe"

openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
  -subj "/CN=Throwaway test signer" > "$work/openssl.log" 2>&1 || { cat "$work/openssl.log"; fail "openssl"; }
osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -n "test" -in "$pe" -out "$work/signed.exe" \
  > "$work/sign.log" 2>&1 || { cat "$work/sign.log"; fail "osslsigncode sign"; }
verify() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1" > "$2" 2>&1; }
verify "$work/signed.exe" "$work/verify-signed.log" || { cat "$work/verify-signed.log"; fail "the freshly signed file"; }

# Skin, positions, values.
/usr/bin/convert -size 4x3 xc:'#336699' "$work/skin/one.png"
for n in background btn_cz_normal btn_gw_normal btn_lt_normal btn_start_normal btn_zc_normal cb_normal \
  close_normal frm_login min_normal pic_slogan Progress_bk Progress_all server_bk_active server_bk_normal server_new \
  btn_cz_active btn_cz_down btn_gw_active btn_gw_down btn_lt_active btn_lt_down btn_start_active btn_start_disable \
  btn_start_down btn_zc_active btn_zc_down cb_active cb_down close_active close_down min_active min_down; do
  cp "$work/skin/one.png" "$work/skin/$n.png"
done
for i in $(seq 19); do echo "$i $((i * 2)) 40 20"; done > "$work/positions.txt"
printf '1 7 "Signed 启动器" http://cdn.example.com/c/ http://cdn.example.com/l/ http://www.example.com/\n' > "$work/urls.txt"
printf 'http://www.example.com/reg http://www.example.com/bbs http://pay.example.com http://www.example.com/news\n' \
  >> "$work/urls.txt"
pack() {  # IN OUT [--signed]
  block pack --exe "$1" --urls "$work/urls.txt" --skin "$work/skin" --positions "$work/positions.txt" --out "$2" \
    ${3:+"$3"} >> "$work/pack.log" 2>&1 || { cat "$work/pack.log"; fail "pack $1"; }
}
# inspect's text without what must differ: the size, the signature line and
# the sections' offsets.
readable() { { block inspect "$1" || true; } | tr -d '\r' | grep -v -e '^file: ' -e '^signature: ' | sed 's/offset=[0-9-]* //'; }
signature_line() { { block inspect "$1" || true; } | tr -d '\r' | grep '^signature: '; }

# The old way: the block appended behind the signature, as a packer that
# knows nothing of signatures writes it (made here from a copy that does not
# look like an executable, given its "MZ" back afterwards).
pack "$work/plain/bare.exe" "$work/plain/launcher_abc.exe"
cp "$work/signed.exe" "$work/disguised.exe"
printf 'ZM' | dd of="$work/disguised.exe" conv=notrunc status=none
pack "$work/disguised.exe" "$work/appended.exe"
printf 'MZ' | dd of="$work/appended.exe" conv=notrunc status=none
if verify "$work/appended.exe" "$work/verify-appended.log"; then fail "a block appended behind the signature verified"; fi
grep -q "not at the end of the file" "$work/verify-appended.log" ||
  { cat "$work/verify-appended.log"; fail "osslsigncode refused the appended block for another reason"; }
signature_line "$work/appended.exe" | grep -q '^signature: present .*the signature no longer verifies' ||
  fail "inspect did not flag the appended block"
echo "appended behind the signature: osslsigncode refuses it, inspect flags it"

# Inside the certificate table.
pack "$work/signed.exe" "$work/signed/launcher_abc.exe"
pack "$work/signed.exe" "$work/flagged.exe" --signed
cmp -s "$work/signed/launcher_abc.exe" "$work/flagged.exe" || fail "pack and pack --signed differ"
verify "$work/signed/launcher_abc.exe" "$work/verify-packed.log" ||
  { cat "$work/verify-packed.log"; fail "osslsigncode refused the packed signed file"; }
grep -q "Signature verification: ok" "$work/verify-packed.log" || fail "no 'Signature verification: ok'"
grep -qi "invalid PE checksum" "$work/verify-packed.log" && fail "the packed file's PE checksum is wrong"
signature_line "$work/signed/launcher_abc.exe" | grep -q '^signature: present .*signed layout kept' ||
  fail "inspect does not see the block inside the signed layout"
diff <(readable "$work/plain/launcher_abc.exe") <(readable "$work/signed/launcher_abc.exe") ||
  fail "the signed launcher's block reads differently from the unsigned one's"
block inspect "$work/signed/launcher_abc.exe" > /dev/null || fail "inspect exits non-zero on the signed launcher"
echo "packed inside the certificate table: $(grep -m1 'Signature verification' "$work/verify-packed.log"), same block"

# Repacking, repairing, stripping.
pack "$work/signed/launcher_abc.exe" "$work/repacked.exe"
cmp -s "$work/repacked.exe" "$work/signed/launcher_abc.exe" || fail "packing again changed the file"
pack "$work/appended.exe" "$work/repaired.exe"
cmp -s "$work/repaired.exe" "$work/signed/launcher_abc.exe" || fail "packing the appended file differs"
block strip --exe "$work/signed/launcher_abc.exe" --out "$work/stripped.exe" >> "$work/pack.log" 2>&1 || fail "strip"
cmp -s "$work/stripped.exe" "$work/signed.exe" || fail "strip did not give the signed file back"
echo "repack: same bytes ($(stat -c %s "$work/repacked.exe") bytes); the appended file repaired; strip restores"
echo "PASS"
