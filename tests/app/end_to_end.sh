#!/usr/bin/env bash
# Runs the tool in a temporary folder; checks all it prints and every file left. Usage:
# end_to_end.sh <cachesift> <samples>. CACHESIFT_TOOL: a command instead (valgrind, wine).
set -u
built=$(realpath "$1") samples=$(realpath "$2")
tool=${CACHESIFT_TOOL:-$built} windows=${CACHESIFT_WINDOWS:-0}
work=$(mktemp -d)
trap 'chmod -R u+rwX "$work"; rm -rf "$work"' EXIT
chmod 755 "$work"
passed=0 failed=0

banner='** Cachesift**
Converts game client cache files (.wdb) to CSV text and back.
Drop a .wdb file on this program to get a .csv beside it; drop that .csv to get the .wdb.

'
name_loaded=$'Signature matches itemnamecache.wdb\n1 records loaded.\n'
name_csv_loaded=$'Signature matches itemnamecache.wdb\n3 records loaded.\n'
no_layout=$'Header does not match any known WDB file.\n'
load_wdb=$'There was an error loading the WDB.\n'
load_csv=$'There was an error loading the CSV.\n'
open_csv=$'Failed to open file\n'$load_csv
write_csv=$'There was an error creating the CSV file.\n'
write_wdb=$'There was an error creating the WDB file.\n'
# A write past 4 KiB fails part-way, as on a full disk.
small_disk="trap '' XFSZ; ulimit -f 4;"
sep=/ && [ "$windows" = 1 ] && sep='\'

printf 'BDNW\7\0\0\0abcd\10\0\0\0\1\0\0\0\31\0\0\0\17\0\0\0Blue Lamp\0\15\0\0\0\0\0\0\0\0\0\0\0' \
  >"$work/CACHE"
printf 'BDNW,7,abcd,8,1,\r\nItemID,Entry Size,Item Name,InventorySlot,\r\n25,15,"Blue Lamp",13,\r\n' \
  >"$work/CSV"
cp "$samples/itemcache.wdb" "$work/ITEM"
(cd "$work" && cp ITEM i.wdb && "$built" i.wdb >/dev/null && mv i.wdb.csv ITEMCSV && rm i.wdb)

console() {
  if [ "$windows" = 1 ]; then printf '%s' "$banner$1" | sed 's/$/\r/'; else printf '%s' "$banner$1"; fi
}

# Runs command $2 in folder $1; Wine takes file names in the locale's character set.
in_folder() {
  local folder=$1 command=$2
  shift 2
  [ "$windows" = 1 ] && command="LC_ALL=C.UTF-8 $command"
  (cd "$folder" && eval "$command" '"$@"' </dev/null)
}

# Puts "name=content|..." into $1 (CACHE etc.: that file; "name/": a folder; "name:mode").
put() {
  local IFS='|' entry name
  for entry in $2; do
    [ -n "$entry" ] || continue
    name=${entry%%[=:]*}
    [ "$windows" = 1 ] && name=${name//\\//}  # a backslash separates folders there
    case $entry in
      */) mkdir -p "$1/$entry" ;;
      *:*) [ -n "${3:-}" ] && chmod "${entry#*:}" "$1/$name" ;;
      *) mkdir -p "$(dirname "$1/$name")"
        if [ -f "$work/${entry#*=}" ]; then cp "$work/${entry#*=}" "$1/$name"
        else printf '%s' "${entry#*=}" >"$1/$name"; fi ;;
    esac
  done
}

# check FILES-BEFORE ARGS ("a|b", "@": the folder) AFTER-BANNER FILES-CHANGED [SHELL-PREFIX]
check() {
  local dir prefix=${5:-} run=$tool argument arguments at out
  dir=$(mktemp -d -p "$work")
  mkdir "$dir/run" "$dir/expected"
  put "$dir/run" "$1" modes
  put "$dir/expected" "$1|${4:-}"
  [ "$windows" = 1 ] && [ -n "$prefix" ] && return
  if [[ "$1" == *:* && $(id -u) = 0 ]]; then
    [ "$windows" = 1 ] && return  # Wine runs only as the owner of its prefix
    chmod 777 "$dir/run"
    prefix="setpriv --reuid=65534 --regid=65534 --clear-groups" run=$work/tool
    [ -x "$run" ] || install -m 755 "$built" "$run"
  fi
  at=$dir/run && [ "$windows" = 1 ] && at="Z:${dir//\//\\}\\run"
  IFS='|' read -ra arguments <<<"$2|"
  for argument in "${!arguments[@]}"; do
    [ "$windows" = 1 ] && arguments[$argument]=${arguments[$argument]//\//\\}
    arguments[$argument]=${arguments[$argument]/#@/"$at"}
  done
  out=$(in_folder "$dir/run" "$prefix $run" "${arguments[@]}"; echo "exit $?")
  chmod -R u+rwX "$dir/run"
  if [ "$out" = "$(console "${3//@/"$at"}"; echo "exit 0")" ] && diff -r "$dir/run" "$dir/expected" >/dev/null; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf 'FAILED: %s\n%s\n' "$2" "$out"
    diff -r "$dir/run" "$dir/expected"
  fi
}

check "d/itemnamecache.wdb=CACHE|d/itemnamecache.wdb.csv=older, longer" d/itemnamecache.wdb \
  "$name_loaded" "d/itemnamecache.wdb.csv=CSV"
check "my d/Item Names.CSV=CSV|my d/itemnamecache.wdb=old" "my d/Item Names.CSV" \
  "$name_csv_loaded" "my d/itemnamecache.wdb=CACHE"
check "names.csv=CSV" names.csv "$name_csv_loaded" "itemnamecache.wdb=CACHE"
check "i.wdb=ITEM" i.wdb $'Signature matches itemcache.wdb\n12 records loaded.\n' "i.wdb.csv=ITEMCSV"
check "i.csv=ITEMCSV" i.csv $'Signature matches itemcache.wdb\n14 records loaded.\n' "itemcache.wdb=ITEM"
check "abs/ITEMS.WDB=CACHE" @/abs/ITEMS.WDB "$name_loaded" "abs/ITEMS.WDB.csv=CSV"
check 'a/b\names.csv=CSV' 'a/b\names.csv' "$name_csv_loaded" 'a/b\itemnamecache.wdb=CACHE'
# Several arguments and folders: each file named, its messages, and a count.
check "中文/中文.csv=CSV|bad.wdb=|Ωmega 文件夹/B.WDB=CACHE|Ωmega 文件夹/a.wdb=ITEM|Ωmega 文件夹/a.csv=CSV|\
Ωmega 文件夹/sub/s.wdb=CACHE|Ωmega 文件夹/dir.wdb/|d/x.wdb=CACHE|d/x.wdb.csv/|Café ☕/x.csv=CSV" \
  "中文/中文.csv|notes.txt|bad.wdb|@/Ωmega 文件夹|d/|Café ☕|no.csv" "中文${sep}中文.csv:
${name_csv_loaded}notes.txt:
This names neither a .wdb file, nor a .csv file, nor a folder; it is left alone.
bad.wdb:
${no_layout}${load_wdb}@${sep}Ωmega 文件夹${sep}B.WDB:
${name_loaded}@${sep}Ωmega 文件夹${sep}a.wdb:
Signature matches itemcache.wdb
12 records loaded.
d${sep}x.wdb:
${name_loaded}${write_csv}Café ☕: this folder holds no .wdb file.
no.csv:
${open_csv}3 files converted, 4 failed.
" "中文/itemnamecache.wdb=CACHE|Ωmega 文件夹/a.wdb.csv=ITEMCSV|Ωmega 文件夹/B.WDB.csv=CSV"
check "locked/x.wdb=CACHE|locked:000" locked $'locked: this folder cannot be read.\n0 files converted, 1 failed.\n'
check "short.wdb=BDNW and less" short.wdb \
  $'Signature matches itemnamecache.wdb\nThe file is too short to hold a WDB header.\n'"$load_wdb"
check "empty.wdb=" empty.wdb "$no_layout$load_wdb"
check "empty.csv=" empty.csv "$no_layout$load_csv"
check "open.csv=BDNW,7,abcd,8,1,
Names,
\"Blue Lamp,13," open.csv $'Signature matches itemnamecache.wdb\nA quoted cell that starts on line 3 is never closed.\n'"$load_csv"
check "f.csv/x.wdb=CACHE" f.csv "f.csv${sep}x.wdb:"$'\n'"${name_loaded}1 file converted, 0 failed."$'\n' "f.csv/x.wdb.csv=CSV"
check "n.wdb=CACHE|n.wdb.csv/" n.wdb "$name_loaded$write_csv"
check "n.csv=CSV|itemnamecache.wdb/" n.csv "$name_csv_loaded$write_wdb"
check "i.wdb=ITEM|i.wdb.csv=old" i.wdb \
  $'Signature matches itemcache.wdb\n12 records loaded.\n'"$write_csv" "" "$small_disk"
check "i.csv=ITEMCSV|itemcache.wdb=old" i.csv \
  $'Signature matches itemcache.wdb\n14 records loaded.\n'"$write_wdb" "" "$small_disk"
check "n.wdb=CACHE|n.wdb:000" n.wdb "$load_wdb"
check "n.csv=CSV|n.csv:000" n.csv "$open_csv"
check "ro/n.csv=CSV|ro:555" ro/n.csv "$name_csv_loaded$write_wdb"
check "n.wdb=CACHE|n.wdb.csv=old|n.wdb.csv:444" n.wdb "$name_loaded$write_csv"
check "n.wdb=CACHE|n.wdb.csv.0.tmp=taken" n.wdb "$name_loaded" "n.wdb.csv=CSV"
# Temporary names 0 to 99 are tried, and taken ones left alone.
taken=$(for i in $(seq 1 99); do printf 'n.wdb.csv.%s.tmp=taken|' "$i"; done)
check "n.wdb=CACHE|$taken" n.wdb "$name_loaded" "n.wdb.csv=CSV"
check "n.wdb=CACHE|n.wdb.csv.0.tmp=taken|$taken" n.wdb "$name_loaded$write_csv"
for path in wdb CSV "" data.txt data.wdb.bak data.wdx data.csx x.wdbÉ; do check "" "$path" ""; done
for path in a.WdB awdb; do check "" "$path" "$load_wdb"; done
for path in data.Csv x/y.csv; do check "" "$path" "$open_csv"; done

if [ "$(in_folder "$work" "$tool"; echo "exit $?")" = "$(console \
  $'usage: cachesift.exe <file.wdb> (drag the wdb onto this file)\n'; echo "exit 0")" ]; then
  passed=$((passed + 1))
else
  failed=$((failed + 1)) && echo "FAILED: without an argument"
fi

# A replaced file keeps its mode, a new one gets the umask's.
if [ "$windows" != 1 ]; then
  (cd "$work" && cp ITEMCSV i.csv && cp CSV itemcache.wdb && chmod 604 itemcache.wdb && "$built" i.csv >/dev/null)
  (cd "$work" && umask 022 && cp CACHE new.wdb && "$built" new.wdb >/dev/null)
  if [ "$(stat -c %a "$work/itemcache.wdb" "$work/new.wdb.csv")" = $'604\n644' ] &&
    cmp -s "$work/itemcache.wdb" "$work/ITEM"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1)) && echo "FAILED: the mode of a replaced or new file"
  fi
  mkfifo "$work/pipe.wdb" && (timeout 10 cp "$work/CACHE" "$work/pipe.wdb" &)
  expected=$(console $'Signature matches itemnamecache.wdb\n'"$load_wdb"; echo "exit 0")
  if [ "$(cd "$work" && "$built" pipe.wdb; echo "exit $?")" = "$expected" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1)) && echo "FAILED: a pipe"
  fi
fi

# In a window of its own (a dropped file's): names as they are, one wait for a key at the end.
if [ "$windows" = 1 ]; then
  mkdir -p "$work/drop/Ωmega 文件夹" && cp "$work/CACHE" "$work/drop/Ωmega 文件夹/n.wdb" && cp "$work/CSV" "$work/drop/n.csv"
  shown=$(cd "$work/drop" && for _ in $(seq 60); do sleep 1 && echo; done |
    LC_ALL=C.UTF-8 timeout 60 script -qec "$tool 'Ωmega 文件夹' n.csv" /dev/null 2>/dev/null |
    sed 's/\x1b\[[?0-9;]*[a-zA-Z]//g' | tr -d ' \r\n')
  expected="${banner}Ωmega 文件夹\\n.wdb:$name_loaded n.csv:${name_csv_loaded}2 files converted, 0 failed.
Press any key to close this window."
  if [ "$shown" = "$(tr -d ' \n' <<<"$expected")" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1)) && printf 'FAILED: a window of its own\n%s\n' "$shown"
  fi
fi

# Layout files beside the program, for a 53262 creature cache with a word more as build 60000.
exe=${tool##* } home="$work/Ωmega 程序"
mkdir -p "$home/layouts" "$work/users" && cp "$exe" "$home/"
own="${tool%"$exe"}$(printf '%q' "$home/$(basename "$exe")")"
python3 - "$samples/build-53262/creaturecache.wdb" "$work/users/creaturecache.wdb" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
out, at = bytearray(data[:24]), 24
out[4:8] = (60000).to_bytes(4, 'little')
while struct.unpack_from('<II', data, at) != (0, 0):
    key, size = struct.unpack_from('<II', data, at)
    out += struct.pack('<II', key, size + 4) + data[at + 8:at + 8 + size] + b'\x07\0\0\0'
    at += 8 + size
open(sys.argv[2], 'wb').write(out + bytes(8))
PY
layouts=$(realpath "$samples/../src/catalogue/layouts")
sed 's/^builds 53262/builds 60000/' "$layouts/creature-53262.layout" >"$work/users/creature.layout"
printf 'u32 Extra\n' >>"$work/users/creature.layout"
# No layout fits a record of one word more: one is derived, written beside the CSV, and named
# in its first row.
derived=$'Signature matches creaturecache.wdb\nNo layout fits every record; a layout is derived from the layout of client build 53262, with 1 change:\n'
derived+=$'  Added "u32 Derived 1" after "end", at the record\'s end.\n12 records loaded.\nThe derived layout is written beside the CSV, as creaturecache.wdb.layout.\n'
fault="Layout file layouts${sep}b.layout, line 5: unknown field kind \"u33\"; the file is left out."$'\n'
user_layouts() {
  rm -f "$home/layouts/"* && for file in $1; do cp "$work/users/$file" "$home/layouts/"; done
  rm -rf "$work/users/back" && mkdir "$work/users/back"
  local out
  out=$(in_folder "$work/users" "$own" creaturecache.wdb; echo "exit $?")
  cp "$work/users/creaturecache.wdb.csv" "$work/users/back/x.csv"
  out+=$'\n'$(in_folder "$work/users/back" "$own" x.csv; echo "exit $?")
  if [ "$out" = "$(console "$2"; echo "exit 0"; console "${2%%Signature*}${3}"; echo "exit 0")" ] &&
    cmp -s "$work/users/creaturecache.wdb" "$work/users/back/creaturecache.wdb"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1)) && printf 'FAILED: layout files %s\n%s\n' "$1" "$out"
  fi
}
printf 'builds 1\ncache a.wdb ABCD\nu32 Key\nu32 Size\nu33 x\n' >"$work/users/b.layout"
back=$'Signature matches creaturecache.wdb\nLayout of client build 60000.\n14 records loaded.\n'
fromMark=${back/Layout of client build 60000./Layout derived from that of client build 53262 by the changes that the first row names.}
user_layouts "" "$derived" "$fromMark" && cp "$work/users/creaturecache.wdb.csv" "$work/derived.csv"
user_layouts "creature.layout" $'Signature matches creaturecache.wdb\nLayout of client build 60000.\n12 records loaded.\n' "$back"
user_layouts "creature.layout b.layout" "$fault"$'Signature matches creaturecache.wdb\nLayout of client build 60000.\n12 records loaded.\n' "$back"
user_layouts "b.layout" "$fault$derived" "$fromMark"
# A file too large to be a layout is named and left out.
head -c 1048577 /dev/zero | tr '\0' '#' >"$work/users/big.layout"
user_layouts "creature.layout big.layout" "Layout file layouts${sep}big.layout is larger than 1 MiB; it is left out."$'\nSignature matches creaturecache.wdb\nLayout of client build 60000.\n12 records loaded.\n' "$back"
# The layout file written, put into the layouts folder, reads the records as the build's own
# with the same columns and cells.
cp "$work/users/creaturecache.wdb.layout" "$work/users/kept.layout"
user_layouts "kept.layout" $'Signature matches creaturecache.wdb\nLayout of client build 60000.\n12 records loaded.\n' "$back"
if ! cmp -s <(tail -n +2 "$work/derived.csv") <(tail -n +2 "$work/users/creaturecache.wdb.csv"); then
  failed=$((failed + 1)) && echo "FAILED: the derived layout's file gives other rows"
fi

# A layout file whose cache name is a path is left out: nothing is written beside the run's folder.
rm -f "$home/layouts/"* && mkdir -p "$work/evil/d" && cd "$work/evil/d" &&
  { head -c4 "$samples/build-27404/pagetextcache.wdb" && printf '\x60\xea\0\0' &&
    tail -c+9 "$samples/build-27404/pagetextcache.wdb"; } >p.wdb && cd - >/dev/null
sed -e 's/^builds 27404 to 53262/builds 60000/' -e 's|^cache pagetextcache.wdb|cache ../evil.wdb|' \
  "$layouts/pagetext-27404.layout" >"$home/layouts/evil.layout"
fault="Layout file layouts${sep}evil.layout, line 13: \"cache\" takes a plain file name ending in .wdb, \
without a folder, a drive, a control character or a name that Windows reserves; the file is left out."
fit=$'\nSignature matches pagetextcache.wdb\nLayout of client builds 27404 to 53262, the one that fits these records best.\n'
out=$(in_folder "$work/evil/d" "$own" p.wdb; in_folder "$work/evil/d" "$own" p.wdb.csv; echo "exit $?")
if [ "$out" = "$(console "$fault${fit}12 records loaded."$'\n'; console "$fault${fit}14 records loaded."$'\n'; echo "exit 0")" ] &&
  [ "$(ls "$work/evil")" = d ] && cmp -s "$work/evil/d/p.wdb" "$work/evil/d/pagetextcache.wdb"; then
  passed=$((passed + 1))
else
  failed=$((failed + 1)) && printf 'FAILED: a layout whose cache name is a path\n%s\n' "$out"
fi

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
