#!/usr/bin/env bash
# Signs the release with a throwaway self-signed code-signing certificate, time-stamped by
# a throwaway server on loopback, and checks it: the signature and its time stamp verify,
# the signed Quorvane.exe passes the Windows output, delivery and
# resource tests under Wine, removing the signature gives back the unsigned build to the
# byte, and a wrong password, a missing file or half the settings stop the package build.
# Needs the windows preset built.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$PWD/build/windows
work=$(mktemp -d)
tsa=
trap '[ -z "$tsa" ] || kill "$tsa"; rm -rf "$work"' EXIT

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Quorvane test signing" \
  -addext keyUsage=critical,digitalSignature -addext extendedKeyUsage=codeSigning \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/sign.p12" \
  -passout pass:throwaway

# package DIR [VAR=VALUE...]: makes the release zip in DIR with those signing settings.
package() {
  local dir=$1
  shift
  env -u QUORVANE_SIGN_PKCS12 -u QUORVANE_SIGN_PASSWORD -u QUORVANE_SIGN_TIMESTAMP_URL "$@" \
    cpack --config "$build/CPackConfig.cmake" -B "$dir" >"$dir.log" 2>&1
}

mkdir "$work/tsa"
python3 release/tsa-server.py "$work/tsa" >"$work/tsa/port" &
tsa=$!
for _ in $(seq 100); do [ -s "$work/tsa/port" ] && break; sleep 0.1; done
[ -s "$work/tsa/port" ] || { echo "FAIL: the time-stamp server did not start"; exit 1; }

package "$work/signed" QUORVANE_SIGN_PKCS12="$work/sign.p12" QUORVANE_SIGN_PASSWORD=throwaway \
  QUORVANE_SIGN_TIMESTAMP_URL="http://127.0.0.1:$(cat "$work/tsa/port")" ||
  { cat "$work/signed.log"; echo "FAIL: the signed package build failed"; exit 1; }
zip=$(cd "$work/signed" && ls Quorvane-*-win64.zip)
(cd "$work/signed" && cmake -E tar xf "$zip" && sha256sum -c "$zip.sha256" >/dev/null)
signed=$(echo "$work"/signed/Quorvane-*-win64/Quorvane.exe)
osslsigncode verify -CAfile "$work/cert.pem" -TSA-CAfile "$work/tsa/tsa.pem" -in "$signed" \
  >"$work/verify.log" || { cat "$work/verify.log"; echo "FAIL: the signature does not verify"; exit 1; }
for line in 'Message digest algorithm *: SHA256' 'Timestamp Server Signature verification: ok'; do
  grep -q "$line" "$work/verify.log" || { cat "$work/verify.log"; echo "FAIL: no '$line'"; exit 1; }
done
echo "signed: $zip verifies against the test certificate (SHA-256, RFC 3161 time stamp)"

osslsigncode remove-signature -in "$signed" -out "$work/unsigned.exe" >/dev/null
cmp "$work/unsigned.exe" "$build/Quorvane.exe"
echo "signed: removing the signature gives back the unsigned Quorvane.exe to the byte"

QUORVANE_EXE=$(sh "$build/wine.sh" winepath -w "$signed" 2>/dev/null) \
  ctest --preset windows -R 'windows\.(Output|Delivery|Resources)' >"$work/ctest.log" ||
  { cat "$work/ctest.log"; echo "FAIL: the signed Quorvane.exe fails the Windows tests"; exit 1; }
echo "signed: Quorvane.exe passes the output, delivery and resource tests under Wine:" \
  "$(grep 'tests passed' "$work/ctest.log")"

# Each of these must stop the build with its reason, and leave no zip behind.
refuse() {
  local what=$1 reason=$2 dir="$work/refused"
  shift 2
  rm -rf "$dir"
  if package "$dir" "$@"; then
    echo "FAIL: $what: the package build went on"
    return 1
  fi
  grep -q "$reason" "$dir.log" || { cat "$dir.log"; echo "FAIL: $what: no '$reason'"; return 1; }
  if compgen -G "$dir/Quorvane-*.zip" >/dev/null; then
    echo "FAIL: $what: a zip was made"
    return 1
  fi
  echo "refused: $what"
}
refuse "a wrong password" "is QUORVANE_SIGN_PASSWORD right" \
  QUORVANE_SIGN_PKCS12="$work/sign.p12" QUORVANE_SIGN_PASSWORD=wrong
refuse "a missing file" "no such file" \
  QUORVANE_SIGN_PKCS12="$work/missing.p12" QUORVANE_SIGN_PASSWORD=throwaway
refuse "a password without a file" "needs both" QUORVANE_SIGN_PASSWORD=throwaway
