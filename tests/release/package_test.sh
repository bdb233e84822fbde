#!/usr/bin/env bash
# scripts/package as a release is made, in two copies of the source: built
# at different paths, under another umask and time zone, the unsigned zips
# are the same bytes; signed with a throw-away certificate, the executable
# verifies against it and is the unsigned one once its signature is removed;
# a signing failure leaves no zip, not even an old one.
set -euo pipefail
source=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Each copy is one commit of the working tree, dated as a release would be.
for copy in a copy-b; do
  mkdir "$work/$copy"
  tar -C "$source" --exclude=./build --exclude=./dist --exclude=./.git --exclude=./.cache -c . | tar -C "$work/$copy" -x
  (cd "$work/$copy" && git init -q && git add -A &&
    GIT_COMMITTER_DATE=@1765000000 git -c user.name=test -c user.email=test@localhost commit -qm release)
done
(cd "$work/a" && bash scripts/package >/dev/null)
(cd "$work/copy-b" && umask 077 && TZ=Asia/Tokyo bash scripts/package >/dev/null)
cmp "$work"/a/dist/*.zip "$work"/copy-b/dist/*.zip

export ZEPHRANE_SIGN_PASSWORD="throw away"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 1 \
  -subj "/CN=Zephrane test" -addext extendedKeyUsage=codeSigning 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/cert.pfx" \
  -passout env:ZEPHRANE_SIGN_PASSWORD
cd "$work/a"
bash scripts/package --sign "$work/cert.pfx" >/dev/null
python3 -m zipfile -e dist/*.zip "$work/signed"
osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed/zephrane.exe" >/dev/null
(cd "$work/signed" && sha256sum --quiet -c SHA256SUMS.txt)
# Without its signature, the release is the reproducible executable.
osslsigncode remove-signature -in "$work/signed/zephrane.exe" -out "$work/removed.exe" >/dev/null
python3 -m zipfile -e "$work"/copy-b/dist/*.zip "$work/unsigned"
cmp "$work/removed.exe" "$work/unsigned/zephrane.exe"

for failure in ZEPHRANE_SIGN_PASSWORD=wrong ZEPHRANE_SIGN_TIMESTAMP_URL=http://127.0.0.1:9/; do
  ! env "$failure" bash scripts/package --sign "$work/cert.pfx" >/dev/null 2>&1 || { echo "packaged despite $failure"; exit 1; }
  [ -z "$(ls -A dist)" ] || { echo "left behind after $failure:" $(ls -A dist); exit 1; }
done
