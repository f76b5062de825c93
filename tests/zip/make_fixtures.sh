#!/usr/bin/env bash
# Makes the archives the zip tests read, with other zip producers (Info-ZIP's zip and Python's
# zipfile), next to the originals they must read back to. Runs natively before the tests.
set -eu
out=$1
# Made once per build folder; a change to this script makes them again.
stamp="$out/.made-by-$(md5sum < "$0" | cut -c1-12)"
[ -f "$stamp" ] && exit 0
rm -rf "$out"
mkdir -p "$out/src"
cd "$out/src"
python3 - <<'PY'
import random
r = random.Random(14)
open("text.txt", "w").write("".join("line %d of some text to compress\n" % i for i in range(4000)))
open("random.bin", "wb").write(bytes(r.getrandbits(8) for _ in range(100000)))
open("empty.txt", "wb").close()
PY
mkdir -p folder
printf 'inside a folder\n' > folder/inner.txt
cd "$out"
( cd src && zip -q -0 ../stored.zip text.txt random.bin empty.txt folder/inner.txt )
( cd src && zip -q -9 ../deflate.zip text.txt random.bin empty.txt folder/inner.txt )
( cd src && zip -q -P secret ../password.zip text.txt random.bin )
( cd src && zip -q -fz ../forced64.zip text.txt random.bin )
# Standard input as the member "-": sizes only in the data descriptor.
zip -q - - < src/text.txt | cat > stdin.zip
# A stub in front: as cat leaves it (offsets from the archive's start), and adjusted by zip -A.
head -c 4096 /dev/urandom > stub.bin
cat stub.bin deflate.zip > stub_plain.exe
cp stub_plain.exe stub_adjusted.exe
zip -q -A stub_adjusted.exe
cp stub.bin plain.exe
# A split set: only its last volume has the directory.
( cd src && zip -q -s 64k ../split.zip random.bin text.txt )
python3 - <<'PY'
import io, zipfile
text = open("src/text.txt", "rb").read()
rnd = open("src/random.bin", "rb").read()
with zipfile.ZipFile("py_zip64.zip", "w", zipfile.ZIP_DEFLATED) as z:
    with z.open("text.txt", "w", force_zip64=True) as f:
        f.write(text)
    with z.open("random.bin", "w", force_zip64=True) as f:
        f.write(rnd)
class Unseekable(io.RawIOBase):
    def __init__(self, f): self.f = f
    def writable(self): return True
    def write(self, b): return self.f.write(b)
with open("py_unseekable.zip", "wb") as raw:
    with zipfile.ZipFile(Unseekable(raw), "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("text.txt", text)
        with z.open("random.bin", "w") as f:
            f.write(rnd)
with zipfile.ZipFile("py_many.zip", "w", zipfile.ZIP_STORED) as z:
    for i in range(70000):
        z.writestr("n/%05d.txt" % i, "%d\n" % i)
with zipfile.ZipFile("py_names.zip", "w") as z:
    z.writestr("caf\u00e9/\u00fcber.txt", "utf-8 name\n")
    z.comment = b"archive comment"
# Compressed files as Python's zlib writes them (level 6), plain and scrambled.
import zlib
packed = zlib.compress(text, 6)
open("py_zlib.bin", "wb").write(packed)
open("py_zlib_scrambled.bin", "wb").write(bytes(b ^ ((i + 2) & 0xFF) for i, b in enumerate(packed)))
# Offsets above 4 GiB: the archive behind a sparse prefix of 4.4 GB.
with open("py_far.zip", "wb") as f:
    f.truncate(4400000000)
with zipfile.ZipFile("py_far.zip", "a", zipfile.ZIP_DEFLATED) as z:
    z.writestr("far.txt", text)
PY
touch "$stamp"
