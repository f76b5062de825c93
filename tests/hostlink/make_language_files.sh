#!/usr/bin/env bash
# ctest fixture: the signed language files the language tests read. A signed english.dll and the
# German example translation go into bin/Language beside the library; the same translation
# packed by Info-ZIP with the built-in password, and raw signatures made by openssl and by
# kwillsign for the cross-checks, go into language-tests/.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$root/scripts/wine-env.sh"
sign() { wine "$KWILL_BUILD/bin/kwillsign.exe" "$@"; }
out="$KWILL_BUILD/language-tests"
rm -rf "$out"
mkdir -p "$out/infozip" "$KWILL_BUILD/bin/Language"
"$root/scripts/sign-language.sh" examples

# Info-ZIP's own traditional encryption and deflate, member names as the library asks for them.
cp "$here/data/de.json" "$out/infozip/de.json"
sign signature --code de "$out/infozip/de.json" "$out/infozip/signature"
(cd "$out/infozip" && zip -q -P wickerfen de.tarnml de.json signature && rm de.json signature)

# Raw Ed25519 both ways: openssl signs, the library verifies; the library signs, openssl verifies.
key=$(sed -n 's/.*kSigningKeyFile\[\] = "\(.*\)";/\1/p' "$KWILL_BUILD/generated/signing_key.h")
head -c 1000 /dev/urandom > "$out/message.bin"
openssl pkeyutl -sign -inkey "$key" -rawin -in "$out/message.bin" -out "$out/message.openssl.sig"
sign verify-raw "$out/message.bin" "$out/message.openssl.sig" >/dev/null
sign sign "$out/message.bin" "$out/message.kwill.sig"
openssl pkey -in "$key" -pubout -out "$out/public.pem"
openssl pkeyutl -verify -pubin -inkey "$out/public.pem" -rawin -in "$out/message.bin" \
    -sigfile "$out/message.kwill.sig" >/dev/null
# A forged signature must fail.
cp "$out/message.kwill.sig" "$out/forged.sig"
printf '\x01' | dd of="$out/forged.sig" bs=1 seek=40 conv=notrunc status=none
if sign verify-raw "$out/message.bin" "$out/forged.sig" >/dev/null 2>&1; then
    echo "a forged signature verified" >&2
    exit 1
fi
echo "language files ready"
