#!/usr/bin/env bash
# Caches to CSV, through LibreOffice Calc, and back byte for byte. Usage:
# libreoffice.sh <cachesift> <make_samples>; needs soffice.
set -u
tool=$(realpath "$1") make_samples=$(realpath "$2")
real=$(realpath -m "$(dirname "$0")/../../../shared/realcaches")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" && mkdir in kept derived built-in && "$make_samples" . spreadsheet >/dev/null &&
  mv ./*.wdb built-in/ || exit 1
# A build read by the layout that fits, and records kept as bytes.
python3 - <<'EOF' || exit 1
quests = bytearray(open('build-12340/questcache.wdb', 'rb').read())
quests[4:8] = (60000).to_bytes(4, 'little')
creatures = bytearray(open('build-12340/creaturecache.wdb', 'rb').read())
creatures[creatures.index(0, 32)] = ord('x')
open('kept/questcache.wdb', 'wb').write(quests)
open('kept/creaturecache.wdb', 'wb').write(creatures)
open('kept/itemcache.wdb', 'wb').write(b'BDIW' + quests[4:24] + bytes([5, 0, 0, 0, 3, 0, 0, 0]) + b'a"c' + bytes(8))
# A record of one word more than any layout's: read by a derived layout, named in the first row.
data = open('build-53262/creaturecache.wdb', 'rb').read()
out, at = bytearray(data[:24]), 24
out[4:8] = (60000).to_bytes(4, 'little')
while data[at:at + 8] != bytes(8):
    key, size = int.from_bytes(data[at:at + 4], 'little'), int.from_bytes(data[at + 4:at + 8], 'little')
    out += data[at:at + 4] + (size + 4).to_bytes(4, 'little') + data[at + 8:at + 8 + size] + bytes([7, 0, 0, 0])
    at += 8 + size
open('derived/creaturecache.wdb', 'wb').write(out + bytes(8))
EOF
folders=(built-in build-* kept derived)
for folder in "${folders[@]}"; do
  for cache in "$folder"/*.wdb; do
    "$tool" "$cache" >/dev/null && mv "$cache.csv" "in/${folder}_$(basename "$cache").csv"
  done
done
passed=0 failed=0
check() { if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)) && echo "FAILED: $*"; fi; }

# Import: comma, double quote, UTF-8, from line 1, the column formats, quoted fields as text.
# Save: the same, text cells quoted where needed; then every column as Text, all texts quoted.
every_column_text=$(for column in $(seq 2048); do printf '%d/2/' "$column"; done)
for formats in "" "$every_column_text"; do
  out=$work/standard quote_all=false
  [ -n "$formats" ] && out=$work/text quote_all=true
  soffice -env:UserInstallation="file://$work/profile" --headless \
    --infilter="CSV:44,34,76,1,$formats,0,true" \
    --convert-to "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,$quote_all,true,true" \
    --outdir "$out" in/*.csv >/dev/null 2>&1
  for folder in "${folders[@]}"; do
    mkdir -p "$out/$folder"
    for cache in "$folder"/*.wdb; do
      mv "$out/${folder}_$(basename "$cache").csv" "$out/$folder/$(basename "$cache").csv" &&
        (cd "$out/$folder" && "$tool" "$(basename "$cache").csv" >/dev/null)
      check cmp "$cache" "$out/$cache"
    done
  done
    check [ "$(ls "$out" | wc -l)" = ${#folders[@]} ]
done
grep -q '^[0-9]*,[0-9]* bytes,"' in/kept_itemcache.wdb.csv && grep -q ' bytes,"' in/kept_creaturecache.wdb.csv &&
  grep -q '^TSQW,60000,.*,layout 12340,' in/kept_questcache.wdb.csv &&
  grep -q '^BOMW,60000,.*,layout 53262; +[0-9]* u32,' in/derived_creaturecache.wdb.csv
check [ $? = 0 ]

# A text and a number of the first record, edited in a saved file, change just those two fields.
cd standard/built-in && sed -i '3s/^\([^,]*,[^,]*,\).*/\1"Pink, Lamp",77/' itemnamecache.wdb.csv &&
  "$tool" itemnamecache.wdb.csv >/dev/null && "$tool" itemnamecache.wdb >/dev/null
check cmp itemnamecache.wdb.csv <(sed '3s/^\([^,]*,[^,]*,\).*\r$/\1"Pink, Lamp",77,\r/' ../../in/built-in_itemnamecache.wdb.csv)

# The client's own caches, where the shared folder is there.
if [ -d "$real" ]; then
  cd "$work" && mkdir -p real/in
  mapfile -t caches < <(find "$real" -name '*.wdb' | sort)
  for n in "${!caches[@]}"; do
    mkdir "real/$n" && cp "${caches[$n]}" "real/$n/" &&
      (cd "real/$n" && "$tool" ./*.wdb >/dev/null) && mv "real/$n"/*.csv "real/in/$n.csv"
  done
  soffice -env:UserInstallation="file://$work/profile" --headless \
    --infilter="CSV:44,34,76,1,,0,true" \
    --convert-to "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true" \
    --outdir real/out real/in/*.csv >/dev/null 2>&1
  for n in "${!caches[@]}"; do
    mkdir "real/back$n" && mv "real/out/$n.csv" "real/back$n/" &&
      (cd "real/back$n" && "$tool" "$n.csv" >/dev/null)
    check cmp "${caches[$n]}" "real/back$n/$(basename "${caches[$n]}")"
  done
  echo "${#caches[@]} caches of the client through Calc"
fi

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
