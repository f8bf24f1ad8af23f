#!/bin/sh
# Makes the seed corpora of the fuzz targets from the shared test files, in a folder outside
# the repository: fuzz/seed.sh [OUT] (default /tmp/quarrix-fuzz-seeds). One folder per target.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
data=${QUARRIX_TESTDATA_DIR:-$here/../../shared/testdata}
out=${1:-/tmp/quarrix-fuzz-seeds}
mkdir -p "$out/las_header" "$out/laz_decompress" "$out/blob_envelope" "$out/round_trip"
python3 - "$data" "$out" <<'PY'
import hashlib, os, sqlite3, struct, sys

data, out = sys.argv[1], sys.argv[2]

def put(target, blob):
    name = hashlib.sha1(blob).hexdigest()
    with open(os.path.join(out, target, name), "wb") as f:
        f.write(blob)

las_files = []
for root, _, names in os.walk(data):
    for n in sorted(names):
        if n.lower().endswith((".las", ".laz")):
            las_files.append(os.path.join(root, n))

for path in las_files:
    b = open(path, "rb").read()
    if len(b) < 227 or b[:4] != b"LASF":
        continue
    # Whole small files; the head of big ones (the reader fails when the points run out).
    put("las_header", b[:65536])
    header_size = struct.unpack_from("<H", b, 94)[0]
    offset = struct.unpack_from("<I", b, 96)[0]
    nvlr = struct.unpack_from("<I", b, 100)[0]
    fmt = b[104]
    count = struct.unpack_from("<I", b, 107)[0]
    if count == 0 and header_size >= 375 and len(b) >= 255:
        count = struct.unpack_from("<Q", b, 247)[0]
    if not fmt & 0x80:
        continue
    pos = header_size
    laszip = None
    for _ in range(min(nvlr, 1000)):
        if pos + 54 > len(b):
            break
        user = b[pos + 2:pos + 18].split(b"\0")[0]
        rid = struct.unpack_from("<H", b, pos + 18)[0]
        length = struct.unpack_from("<H", b, pos + 20)[0]
        if user == b"laszip encoded" and rid == 22204:
            laszip = b[pos + 54:pos + 54 + length]
        pos += 54 + length
    if laszip is None:
        continue
    points = b[offset:]
    n = min(count, 3000, 0xFFFF)
    # Keep the chunk table reachable: cut only files that are small already.
    if len(points) > 200000:
        continue
    put("laz_decompress", struct.pack("<HBH", n, fmt & 0x3F, len(laszip)) + laszip + points)

# Blob envelopes of the shared GeoPackage indexes, plus one per envelope kind.
for root, _, names in os.walk(data):
    for n in names:
        if not n.endswith(".gpkg"):
            continue
        try:
            db = sqlite3.connect("file:" + os.path.join(root, n) + "?mode=ro", uri=True)
            for (table, column) in db.execute("SELECT table_name, column_name FROM gpkg_geometry_columns"):
                for (blob,) in db.execute(f'SELECT "{column}" FROM "{table}" LIMIT 5'):
                    if isinstance(blob, bytes):
                        put("blob_envelope", blob)
            db.close()
        except sqlite3.Error:
            pass
for e in range(8):
    put("blob_envelope", b"GP\0" + bytes([e << 1 | 1]) + struct.pack("<i4d", 4326, 1, 2, 3, 4)
        + bytes(16) + b"\1\3\0\0\0")

# Round trip: each format, a few records from a counter, every road.
for fmt in range(11):
    std = [20, 28, 26, 34, 57, 63, 30, 36, 38, 59, 67][fmt]
    for flags in (0x00, 0x01, 0x02, 0x03, 0x80, 0x90):
        extra = 3 if flags & 1 else 0
        recs = bytes((i * 37 + j * 11) & 0xFF for i in range(6) for j in range(std + extra))
        put("round_trip", bytes([fmt, extra, flags, 2]) + recs)
PY
for t in las_header laz_decompress blob_envelope round_trip; do
  echo "$t: $(ls "$out/$t" | wc -l) seeds"
done
