#!/usr/bin/env bash
# What a user does: converts caches to CSV, opens each CSV in LibreOffice Calc,
# saves it as CSV and converts it back; every cache must come back byte for
# byte. Needs soffice: without it the test fails.
#   tests/spreadsheet/libreoffice.sh <built cachesift> <built make_samples>
set -u
tool=$(realpath "$1") make_samples=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" && mkdir in && "$make_samples" . spreadsheet >/dev/null || exit 1
for cache in *.wdb; do "$tool" "$cache" >/dev/null && mv "$cache.csv" in/; done
printf 'Name,Price\nLamp,5\n' >in/other.csv
passed=0 failed=0
check() { if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)) && echo "FAILED: $*"; fi; }

# Import: comma, double quote, UTF-8, from line 1, the column formats, quoted
# fields as text. Save: the same, with text cells quoted where needed; then
# every column as Text, and all text cells quoted.
every_column_text=$(for column in $(seq 256); do printf '%d/2/' "$column"; done)
for formats in "" "$every_column_text"; do
  out=$work/standard quote_all=false
  [ -n "$formats" ] && out=$work/text quote_all=true
  soffice -env:UserInstallation="file://$work/profile" --headless \
    --infilter="CSV:44,34,76,1,$formats,0,true" \
    --convert-to "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,$quote_all,true,true" \
    --outdir "$out" in/*.csv >/dev/null 2>&1
  for cache in *.wdb; do
    (cd "$out" && "$tool" "$cache.csv" >/dev/null)
    check cmp "$cache" "$out/$cache"
  done
  # A CSV that is not one of ours names no layout, and nothing is written.
  check [ "$(cd "$out" && "$tool" other.csv | tail -n 2)" = $'Header does not match any known WDB file.\nThere was an error loading the CSV.' ]
  check [ "$(ls "$out" | wc -l)" = 19 ]
done

# A text and a number of the first record, edited in a saved file, change just
# those two fields.
cd standard && sed -i '3s/^\([^,]*,[^,]*,\).*/\1"Pink, Lamp",77/' itemnamecache.wdb.csv &&
  "$tool" itemnamecache.wdb.csv >/dev/null && "$tool" itemnamecache.wdb >/dev/null
check cmp itemnamecache.wdb.csv <(sed '3s/^\([^,]*,[^,]*,\).*\r$/\1"Pink, Lamp",77,\r/' ../in/itemnamecache.wdb.csv)

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
