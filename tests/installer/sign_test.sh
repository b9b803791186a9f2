#!/usr/bin/env bash
# scripts/sign and the signing packages build, with a code-signing certificate made here
# (no timestamp server: the tests have no network). Every EXE and DLL inside both packages
# and both packages themselves must verify; a changed file, a wrong password and a missing
# certificate must not.
# Usage: sign_test.sh   Environment: BIN_DIR, WORK_DIR, SOURCE_DIR.
set -euo pipefail

work=$WORK_DIR/sign.$$
failures=0
fail() { echo "FAIL [sign]: $*" >&2; failures=$((failures + 1)); }
trap 'rm -rf "$work"' EXIT
mkdir -p "$work"
cd "$work"

openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
  -subj "/CN=Netvane test signing" -addext "keyUsage=critical,digitalSignature" \
  -addext "extendedKeyUsage=codeSigning" 2>/dev/null
password="test pass $$"
openssl pkcs12 -export -inkey key.pem -in cert.pem -out release.pfx -passout "pass:$password"

export NETVANE_SIGN_PFX=$work/release.pfx NETVANE_SIGN_PASSWORD=$password
unset NETVANE_SIGN_TIMESTAMP_URL
verify() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >"$work/verify.log" 2>&1; }

# The packages, signed as a release is.
bash "$SOURCE_DIR/packaging/make-packages" "$BIN_DIR" packages 1.8.0 >packages.log ||
  { cat packages.log >&2; fail "make-packages"; }
for msi in packages/NetvaneConsole-1.8.0-x64.msi packages/NetvaneAgent-1.8.0-x64.msi; do
  verify "$msi" || fail "$msi: $(tail -n 3 verify.log)"
  mkdir -p "files/${msi##*/}"
  msiextract -C "files/${msi##*/}" "$msi" >/dev/null
done
count=0
while IFS= read -r -d '' file; do
  count=$((count + 1))
  verify "$file" || fail "${file#files/}: not signed: $(tail -n 3 verify.log)"
done < <(find files -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0)
[ $count == 6 ] || fail "expected 6 programs and libraries in the packages, found $count"

# A byte changed after signing breaks the signature.
cp "$BIN_DIR/TaviTool.exe" tampered.exe
bash "$SOURCE_DIR/scripts/sign" tampered.exe >/dev/null || fail "sign tampered.exe"
verify tampered.exe || fail "freshly signed file does not verify"
size=$(stat -c %s tampered.exe)
printf '\x5a' | dd of=tampered.exe bs=1 seek=$((size / 3)) conv=notrunc status=none
! verify tampered.exe || fail "a changed file still verifies"

# A wrong password signs nothing and leaves the file as it was.
cp "$BIN_DIR/TaviTool.exe" unsigned.exe
status=0
NETVANE_SIGN_PASSWORD=wrong bash "$SOURCE_DIR/scripts/sign" unsigned.exe >/dev/null 2>&1 || status=$?
[ $status == 1 ] || fail "wrong password: status $status"
cmp -s unsigned.exe "$BIN_DIR/TaviTool.exe" || fail "wrong password changed the file"
[ ! -e unsigned.exe.signing ] || fail "wrong password left a partial file"

# No certificate, an unreadable one, or a file of another kind.
status=0
NETVANE_SIGN_PFX="" bash "$SOURCE_DIR/scripts/sign" unsigned.exe >/dev/null 2>&1 || status=$?
[ $status == 2 ] || fail "no certificate: status $status"
status=0
NETVANE_SIGN_PFX=$work/missing.pfx bash "$SOURCE_DIR/scripts/sign" unsigned.exe >/dev/null 2>&1 ||
  status=$?
[ $status == 2 ] || fail "missing certificate: status $status"
echo text >notes.txt
status=0
bash "$SOURCE_DIR/scripts/sign" notes.txt >/dev/null 2>&1 || status=$?
[ $status == 1 ] || fail "a text file: status $status"

if ((failures > 0)); then
  echo "sign: $failures failure(s)" >&2
  exit 1
fi
echo "sign: passed ($count files and 2 packages verified)"
