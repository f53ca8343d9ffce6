#!/usr/bin/env bash
# Signs the release by both paths, with throwaway keys, time-stamped by a throwaway server on
# loopback: from a .pfx file, and through PKCS#11 with a key made inside a throwaway SoftHSM2
# token, which never leaves it. For each: the signature of each program the build lists and
# its time stamp verify, and removing the signature gives back the unsigned build, which the
# tests ran, to the byte.
# Then each fault stops the package build: a wrong password or PIN, a missing file or module,
# a certificate that is not the key's, half the settings, or both paths at once; and the
# password and PIN are found in no file the builds leave; and build.yml's signing step signs in
# to a stand-in key service and signs for a tag alone.
#   bash checks/signing.sh   (with the windows preset built)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$PWD/build/windows
exes=$(cut -d' ' -f1 "$build/programs.txt")
work=$(mktemp -d)
tsa=
trap '[ -z "$tsa" ] || kill "$tsa"; rm -rf "$work"' EXIT

# The .pfx path: a self-signed certificate and its key in one file.
password=throwaway-password-4711
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Quorvane test signing" \
  -addext keyUsage=critical,digitalSignature -addext extendedKeyUsage=codeSigning \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/sign.p12" \
  -passout "pass:$password"

# The PKCS#11 path: a token of its own under $work, the key generated inside it, and a
# certificate for its public key from a throwaway CA, as a real CA issues one.
pin=throwaway-pin-2718
module=/usr/lib/softhsm/libsofthsm2.so
export SOFTHSM2_CONF=$work/softhsm2.conf
mkdir "$work/tokens"
printf 'directories.tokendir = %s\nobjectstore.backend = file\n' "$work/tokens" >"$SOFTHSM2_CONF"
softhsm2-util --init-token --free --label quorvane --pin "$pin" --so-pin "$pin" >/dev/null
pkcs11-tool --module $module --token-label quorvane --login --pin "$pin" --keypairgen \
  --key-type rsa:2048 --id 01 --label release >/dev/null
pkcs11-tool --module $module --token-label quorvane --read-object --type pubkey --id 01 \
  -o "$work/token.der" >/dev/null
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Quorvane test CA" \
  -addext basicConstraints=critical,CA:true -addext keyUsage=critical,keyCertSign \
  -keyout "$work/ca.key" -out "$work/ca.pem" 2>/dev/null
printf 'keyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >"$work/leaf.cnf"
openssl x509 -new -subj "/CN=Quorvane test signing" -force_pubkey "$work/token.der" -CA "$work/ca.pem" \
  -CAkey "$work/ca.key" -days 2 -extfile "$work/leaf.cnf" -out "$work/leaf.pem"
cat "$work/leaf.pem" "$work/ca.pem" >"$work/chain.pem"
key="pkcs11:token=quorvane;object=release;type=private"

# package DIR [VAR=VALUE...]: makes the release zip in DIR with those signing settings alone.
package() {
  local dir=$1
  shift
  env -i PATH="$PATH" HOME="$HOME" SOFTHSM2_CONF="$SOFTHSM2_CONF" "$@" \
    cpack --config "$build/CPackConfig.cmake" -B "$dir" >"$dir.log" 2>&1
}

mkdir "$work/tsa"
python3 checks/tsa-server.py "$work/tsa" >"$work/tsa/port" 2>"$work/tsa/log" &
tsa=$!
for _ in $(seq 100); do [ -s "$work/tsa/port" ] && break; sleep 0.1; done
[ -s "$work/tsa/port" ] || { echo "FAIL: the time-stamp server did not start"; exit 1; }
timestamp=QUORVANE_SIGN_TIMESTAMP_URL="http://127.0.0.1:$(cat "$work/tsa/port")"

# check_signed NAME CA [VAR=VALUE...]: signs a release in $work/NAME, checks it against CA.
check_signed() {
  local name=$1 ca=$2 dir=$work/$1
  shift 2
  package "$dir" "$timestamp" "$@" ||
    { cat "$dir.log"; echo "FAIL: $name: the signed package build failed"; exit 1; }
  local zip folder exe
  zip=$(cd "$dir" && ls Quorvane-*-win64.zip)
  (cd "$dir" && cmake -E tar xf "$zip" && sha256sum -c "$zip.sha256" >/dev/null)
  folder=$(echo "$dir"/Quorvane-*-win64)
  for exe in $exes; do
    osslsigncode verify -CAfile "$ca" -TSA-CAfile "$work/tsa/tsa.pem" -in "$folder/$exe" >"$dir-verify.log" &&
      grep -q 'Message digest algorithm *: SHA256' "$dir-verify.log" &&
      grep -q 'Timestamp Server Signature verification: ok' "$dir-verify.log" ||
      { cat "$dir-verify.log"; echo "FAIL: $name: $exe: no valid SHA-256 signature, time-stamped"; exit 1; }
    osslsigncode remove-signature -in "$folder/$exe" -out "$dir-unsigned-$exe" >/dev/null
    cmp "$dir-unsigned-$exe" "$build/$exe"
  done
  echo "signed, $name:" $exes "in $zip verify against the test CA (SHA-256, RFC 3161 time" \
    "stamp), and removing each signature gives back the tested program to the byte"
}
pfx=(QUORVANE_SIGN_PKCS12="$work/sign.p12" QUORVANE_SIGN_PASSWORD="$password")
uncertified=(QUORVANE_SIGN_PKCS11_MODULE="$module" QUORVANE_SIGN_PKCS11_KEY="$key"
             QUORVANE_SIGN_PKCS11_PIN="$pin")
token=("${uncertified[@]}" QUORVANE_SIGN_CERTS="$work/chain.pem")
check_signed "from a .pfx" "$work/cert.pem" "${pfx[@]}"
check_signed "through PKCS#11" "$work/ca.pem" "${token[@]}"

# The workflow's signing step, its commands and settings read from build.yml and given what the
# runner would give them, in a clone (with what is not yet committed) carrying RELEASING.md's
# pre-tag edits and a stand-in release/sign-in.sh: the token's module, a sign-in secret as PIN.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
clone=$work/clone
git clone -q . "$clone" && git diff HEAD | git -C "$clone" apply --allow-empty
git ls-files -z --others --exclude-standard | tar -c --null -T - | tar -x -C "$clone"
sed -i "s/^## \[Unreleased\]$/&\n\n## [$version] - $(date +%F)/" "$clone/CHANGELOG.md"
perl -0pi -e 'BEGIN { $s = shift } s/\*\*Status:.*?\n\n/$s\n\n/s' \
  "$(sed -n '/^ *```markdown$/,/^ *```$/{//!s/^ *//p}' RELEASING.md)" "$clone/README.md"
echo "echo $module >\"\$1/module\"; printf %s \"\$QUORVANE_SIGN_IN_SECRET\" >\"\$1/pin\"" \
  "; touch $work/signed-in" >"$clone/release/sign-in.sh"
cat >"$work/step.py" <<'PYTHON'
import re, sys, yaml
Context = type("Context", (dict,), {"__getattr__": dict.get})
scope = {"inputs": Context(tag=sys.argv[1]), "secrets": Context(), "vars": Context(), "format": str.format,
         "github": Context(server_url="https://github.com", repository="owner/quorvane")}
for name, value in (setting.split("=", 1) for setting in sys.argv[2:]):
    scope[name.split(".")[0]][name.split(".")[1]] = value
step, = [s for s in yaml.safe_load(open(".github/workflows/build.yml"))["jobs"]["release"]["steps"]
         if "release/build.sh" in s.get("run", "")]
for name, value in step["env"].items():  # GitHub's && and || give an operand, as and and or do
    print(f"{name}=" + re.sub(r"\$\{\{(.*?)\}\}", lambda m: str(eval(
        m[1].replace("&&", " and ").replace("||", " or "), scope)), value), end="\0")
print(step["run"], end="")
PYTHON
# step TAG SETTING... (vars.NAME=VALUE): runs the step for TAG; then each program in its zip is
# signed for a tag, else the build's own, and sign-in.sh ran for a tag alone.
step() {
  local env exe
  rm -rf "$clone/build" "$work/signed-in" "$work/step"
  mapfile -d '' env < <(cd "$clone" && python3 "$work/step.py" "$@")
  (cd "$clone" && env -i PATH="$PATH" HOME="$HOME" SOFTHSM2_CONF="$SOFTHSM2_CONF" \
    "${env[@]:0:${#env[@]}-1}" bash -e -c "${env[-1]}") >"$work/step.log" 2>&1 ||
    { cat "$work/step.log"; echo "FAIL: the workflow's signing step, tag '$1', failed"; exit 1; }
  mkdir "$work/step" && (cd "$work/step" && cmake -E tar xf "$clone"/build/windows/Quorvane-*-win64.zip)
  for exe in $exes; do
    if [[ -n $1 ]]; then
      osslsigncode verify -CAfile "$work/ca.pem" -TSA-CAfile "$work/tsa/tsa.pem" -in "$work"/step/*/"$exe"
    else
      cmp "$work"/step/*/"$exe" "$clone/build/windows/$exe"
    fi >/dev/null || { echo "FAIL: the step for tag '$1' signed $exe, or not"; exit 1; }
  done
  [[ $([[ -e $work/signed-in ]] && echo ran) == "${1:+ran}" ]] ||
    { echo "FAIL: the step for tag '$1' ran sign-in.sh, or not"; exit 1; }
}
settings=(secrets.QUORVANE_SIGN_IN_SECRET="$pin" vars.QUORVANE_SIGN_PKCS11_KEY="$key"
          vars.QUORVANE_SIGN_CERTS="$(cat "$work/chain.pem")" "vars.$timestamp")
step "v$version" "${settings[@]}"
echo "workflow step, tag v$version: signed through the module and PIN that sign-in.sh gave:" $exes
step "" "${settings[@]}" secrets.QUORVANE_SIGN_PFX_BASE64="$(base64 -w0 "$work/sign.p12")" \
  secrets.QUORVANE_SIGN_PASSWORD="$password" secrets.QUORVANE_SIGN_PKCS11_PIN="$pin" \
  vars.QUORVANE_SIGN_PKCS11_MODULE="$module"
echo "workflow step, no tag, every signing setting there: nothing signed, no sign-in.sh run"

# Each of these must stop the build with its reason, and leave no zip behind.
status=0
refuse() {
  local what=$1 reason=$2 dir="$work/refused"
  shift 2
  rm -rf "$dir"
  # CMake wraps its messages.
  if ! package "$dir" "$@" && tr -s ' \n' ' ' <"$dir.log" | grep -qF "$reason" &&
    ! compgen -G "$dir/Quorvane-*.zip" >/dev/null; then
    echo "refused: $what"
  else
    cat "$dir.log"
    echo "FAIL: $what: the package build went on, made a zip, or did not say '$reason'"
    status=1
  fi
  cat "$dir.log" >>"$work/refused-all.log"  # searched for the secrets below
}
refuse "a wrong password" "is QUORVANE_SIGN_PASSWORD right" "${pfx[@]}" QUORVANE_SIGN_PASSWORD=wrong
refuse "a missing file" "no such file" "${pfx[@]}" QUORVANE_SIGN_PKCS12="$work/missing.p12"
refuse "a password without a file" "needs both" QUORVANE_SIGN_PASSWORD="$password"
refuse "a wrong PIN" "PIN incorrect" "${token[@]}" QUORVANE_SIGN_PKCS11_PIN=0000
refuse "a missing module" "QUORVANE_SIGN_PKCS11_MODULE: no such file" "${token[@]}" \
  QUORVANE_SIGN_PKCS11_MODULE="$work/missing.so"
refuse "a certificate that is not the key's" "key values mismatch" "${token[@]}" \
  QUORVANE_SIGN_CERTS="$work/cert.pem"
refuse "a key without its certificate" "together" "${uncertified[@]}"
refuse "a PIN in the key's URI" "without the PIN" "${token[@]}" \
  QUORVANE_SIGN_PKCS11_KEY="$key;pin-value=$pin"
refuse "both paths at once" "not both" "${token[@]}" "${pfx[@]}"

# The secrets went through private files that are gone: none is in any file left behind, in
# the build tree or in what the package builds made.
if grep -rlF -e "$password" -e "$pin" --exclude-dir={wineprefix,clone} "$build" "$work" "$clone/build"; then
  echo "FAIL: the password or PIN is in the files above"
  status=1
else
  echo "secrets: neither the password nor the PIN is in the build tree or the builds' output"
fi
exit $status
