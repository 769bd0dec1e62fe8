#!/usr/bin/env bash
# The optional signing step of the build, with a throwaway certificate.
#
#   tests/image/check_signing.sh [BUILD_DIR]      (default build/sign)
#
# Makes a self-signed code-signing certificate and an encrypted key on the
# fly (in BUILD_DIR/cert, new on every run), then builds LumentaSetupBoot in
# BUILD_DIR with the mingw-w64 toolchain: first without signing, then with a
# wrong password, then signed, with the password given both ways, all at
# another version than the default (LUMENTA_VERSION). It checks that the unsigned
# build has no signature and no signing step, that a signing step that fails
# fails the build and leaves no LumentaSetupBoot.exe, that the signed image
# keeps the linked one's mode and verifies against the certificate and not
# without it, that a changed byte breaks the signature, that removing the
# signature gives back the unsigned image byte for byte, and that the image
# checks pass at that version. BUILD_DIR is left with the signed executable,
# which the end-to-end scenario tests/e2e/test_signing.py runs under Wine.
#
# Ends with "signing: N passed, N failed".
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
bin=$(realpath -m "${1:-$root/build/sign}")
certs="$bin/cert"
exe="$bin/LumentaSetupBoot.exe"
log="$bin/check-signing.log"

passed=0
failed=0
pass() { echo "PASS $1"; passed=$((passed + 1)); }
fail() { echo "FAIL $1"; failed=$((failed + 1)); }
finish() {
  echo "signing: $passed passed, $failed failed"
  [ $failed -eq 0 ]
  exit
}

for tool in openssl osslsigncode cmake python3; do
  command -v "$tool" >/dev/null || { fail "$tool is not installed"; finish; }
done

mkdir -p "$bin"
: >"$log"
rm -rf "$certs"
mkdir -p "$certs"
password="throwaway-$$-$RANDOM"
printf '%s\n' "$password" >"$certs/password.txt"
if openssl req -x509 -newkey rsa:2048 -sha256 -days 2 \
     -subj "/CN=Lumenta Throwaway Code Signing" \
     -addext "keyUsage=critical,digitalSignature" \
     -addext "extendedKeyUsage=codeSigning" \
     -passout "file:$certs/password.txt" \
     -keyout "$certs/key.pem" -out "$certs/cert.pem" >>"$log" 2>&1; then
  pass "throwaway certificate made"
else
  fail "throwaway certificate made (see $log)"; finish
fi

# configure_and_build <cmake -D arguments...>: 0 when both succeed.
configure_and_build() {
  { cmake -S "$root" -B "$bin" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release "$@" &&
    cmake --build "$bin" -j2 --target LumentaSetupBoot; } >>"$log" 2>&1
}

unsigned() { "$root/tools/inspect" "$1" | grep -qx "signature: none"; }
version=2.3.4.5

started=$(date +%s)
no_signing=(-DLUMENTA_SIGN_CERT= -DLUMENTA_SIGN_KEY= -DLUMENTA_SIGN_PASS= -DLUMENTA_SIGN_PASS_FILE=
            -DLUMENTA_SIGN_CAFILE= "-DLUMENTA_VERSION=$version")
signing=(-DLUMENTA_SIGN_CERT="$certs/cert.pem" -DLUMENTA_SIGN_KEY="$certs/key.pem"
         -DLUMENTA_SIGN_CAFILE="$certs/cert.pem" "-DLUMENTA_VERSION=$version")

# ---- Without a certificate: the build as always -------------------------------------------
if configure_and_build "${no_signing[@]}"; then
  cp -p "$exe" "$bin/unsigned.exe"
  if unsigned "$exe" && ! grep -rq osslsigncode "$bin" --include=build.ninja --include='*.make'; then
    pass "without a certificate: no signing step, no signature"
  else
    fail "without a certificate: no signing step, no signature"
  fi
else
  fail "unsigned build (see $log)"; finish
fi

# ---- Half a configuration is refused ------------------------------------------------------
if cmake -S "$root" -B "$bin/half" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" \
     -DLUMENTA_SIGN_CERT="$certs/cert.pem" >"$bin/half.log" 2>&1; then
  fail "a certificate without a key is refused at configure time"
elif grep -q "needs both LUMENTA_SIGN_CERT and LUMENTA_SIGN_KEY" "$bin/half.log"; then
  pass "a certificate without a key is refused at configure time"
else
  fail "a certificate without a key is refused at configure time (see $bin/half.log)"
fi
rm -rf "$bin/half" "$bin/half.log"

# ---- A signing step that fails fails the build ----------------------------------------------
if configure_and_build "${signing[@]}" -DLUMENTA_SIGN_PASS="not-$password"; then
  fail "a wrong password fails the build"
elif [ ! -e "$exe" ] && [ ! -e "$exe.signing" ] && grep -q "is not signed, and not at its" "$log"; then
  pass "a wrong password fails the build, says so and leaves no LumentaSetupBoot.exe"
else
  fail "a wrong password fails the build, says so and leaves no LumentaSetupBoot.exe"
fi

# ---- Signed: the password inline, then from a file -------------------------------------------
if configure_and_build "${signing[@]}" -DLUMENTA_SIGN_PASS="$password" &&
   osslsigncode verify -CAfile "$certs/cert.pem" -in "$exe" >>"$log" 2>&1; then
  pass "signed with LUMENTA_SIGN_PASS"
else
  fail "signed with LUMENTA_SIGN_PASS (see $log)"
fi
if configure_and_build "${signing[@]}" -DLUMENTA_SIGN_PASS= \
     -DLUMENTA_SIGN_PASS_FILE="$certs/password.txt"; then
  pass "signed with LUMENTA_SIGN_PASS_FILE"
  if [ "$(stat -c %a "$exe")" = "$(stat -c %a "$bin/unsigned.exe")" ]; then
    pass "the signed image keeps the linked image's mode ($(stat -c %a "$exe"))"
  else
    fail "the signed image keeps the linked image's mode"
  fi
else
  fail "signed with LUMENTA_SIGN_PASS_FILE (see $log)"; finish
fi
echo "builds in $(( $(date +%s) - started ))s"

# ---- The signed image ---------------------------------------------------------------------------
verify="$bin/verify.log"
if osslsigncode verify -CAfile "$certs/cert.pem" -in "$exe" >"$verify" 2>&1 &&
   grep -q "^Signature verification: ok" "$verify" &&
   grep -q "Subject: /CN=Lumenta Throwaway Code Signing" "$verify"; then
  pass "osslsigncode verify with the certificate as root: ok"
else
  fail "osslsigncode verify with the certificate as root (see $verify)"
fi
if osslsigncode verify -in "$exe" >"$bin/verify-untrusted.log" 2>&1; then
  fail "without the certificate as root the signature is not trusted"
else
  pass "without the certificate as root the signature is not trusted"
fi

tampered="$bin/tampered.exe"
cp "$exe" "$tampered"
# A byte inside the resource section (the payloads), far from the signature.
size=$(stat -c %s "$tampered")
printf '\x5a' | dd of="$tampered" bs=1 seek=$((size / 2)) conv=notrunc status=none
if osslsigncode verify -CAfile "$certs/cert.pem" -in "$tampered" >"$bin/verify-tampered.log" 2>&1; then
  fail "a changed byte breaks the signature"
elif grep -q "MISMATCH" "$bin/verify-tampered.log"; then
  pass "a changed byte breaks the signature"
else
  fail "a changed byte breaks the signature (see $bin/verify-tampered.log)"
fi
rm -f "$tampered"

stripped="$bin/stripped.exe"
rm -f "$stripped"
if osslsigncode remove-signature -in "$exe" -out "$stripped" >>"$log" 2>&1 &&
   cmp -s "$stripped" "$bin/unsigned.exe"; then
  pass "removing the signature gives back the unsigned image"
else
  fail "removing the signature gives back the unsigned image"
fi
rm -f "$stripped"

if cmake --build "$bin" --target lumenta_check_image >"$bin/image.log" 2>&1 &&
   grep -q "^  FileVersion: $version$" <("$root/tools/inspect" "$exe"); then
  pass "check_image.py on the signed image, version $version: $(grep '^image:' "$bin/image.log" | tail -1)"
else
  grep '^FAIL' "$bin/image.log"
  fail "check_image.py on the signed image (see $bin/image.log)"
fi

finish
