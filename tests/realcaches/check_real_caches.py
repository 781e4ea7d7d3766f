#!/usr/bin/env python3
# The client's own caches against the records their entry sizes frame: console, cells, texts, the
# way back. Usage: check_real_caches.py <built cachesift> <folders of caches>...
import csv, io, os, re, shutil, struct, subprocess, sys, tempfile

# A column that holds a text in nearly every record.
NAME_COLUMNS = {'creaturecache.wdb': 'Name 1', 'gameobjectcache.wdb': 'Name 1', 'itemnamecache.wdb': 'Item Name',
                'itemtextcache.wdb': 'Text', 'npccache.wdb': 'Text 1 Male', 'pagetextcache.wdb': 'Text',
                'questcache.wdb': 'Title', 'wowcache.wdb': None, 'petitioncache.wdb': 'Guild Name'}
TEXT_COLUMNS = {'creaturecache.wdb': r'(Alternate )?(Name \d|Title)|Cursor Name', 'pagetextcache.wdb': 'Text',
                'gameobjectcache.wdb': r'Name \d|Icon Name|Cast Bar Caption|Unknown',
                'questcache.wdb': r'Title|.* (Text|Name|Log)|.*Description( \d+)?'}


# Build and records; item text keys are 8 bytes from 9506, module keys 16, 32 from 15595 (+28).
def frame(data):
    signature, build = data[:4], struct.unpack_from('<I', data, 4)[0]
    at = 24 if build >= 9506 else 20
    width = {b'NDRW': 32 if build >= 15595 else 16, b'XTIW': 8 if build >= 9506 else 4}.get(signature, 4)
    bias = 28 if signature == b'NDRW' and build >= 15595 else 0
    records = []
    while at + width + 4 <= len(data) and any(data[at:at + width]):
        size = struct.unpack_from('<I', data, at + width)[0]
        records.append((data[at:at + width], size, data[at + width + 4:at + width + 4 + size - bias]))
        at += width + 4 + size - bias
    return build, records


def key_text(key): return str(struct.unpack('<I', key)[0]) if len(key) == 4 else key.hex().upper()


def run(tool, path):
    out = subprocess.run([tool, path], capture_output=True, check=True).stdout.decode('latin-1')
    return out[out.index('\n\n') + 2:]


def check(tool, original, work):
    name = os.path.basename(original)
    data = open(original, 'rb').read()
    build, records = frame(data)
    cache = os.path.join(work, name)
    shutil.copyfile(original, cache)
    console = run(tool, cache)
    layout = re.fullmatch(rf'Signature matches {name}\n(Layout of client builds? [0-9 to]+(, the one that fits these records best)?\.|No layout'
                          rf' of client build {build}; records are written as bytes\.)\n{len(records)} records loaded\.\n', console)
    problems = [] if layout else [f'console {console!r}, for {len(records)} records']
    kind = 'bytes' if console.count('No layout') else 'layout'
    raw = open(cache + '.csv', 'rb').read()
    rows = list(csv.reader(io.StringIO(raw.decode('latin-1'), newline='')))
    names = rows[1][:-1]
    if len(rows) - 2 != len(records):
        problems.append(f'{len(rows) - 2} record rows for {len(records)} records')
    for i, ((key, size, fields), row) in enumerate(zip(records, rows[2:])):
        cells = [key_text(key), f'{size} bytes', fields.hex().upper(), ''] if kind == 'bytes' else None
        if row != cells and (kind == 'bytes' or row[-1:] + row[:2] != ['', key_text(key), str(size)] or
                             len(row) - 1 != len(names)):
            problems.append(f'record {i}: {len(row) - 1} cells for {len(names)} columns, {row[:2]}')

    def back(csv_bytes):  # the cache that a CSV converts back to
        open(os.path.join(work, 'x.csv'), 'wb').write(csv_bytes)
        os.remove(cache)
        run(tool, os.path.join(work, 'x.csv'))
        return open(cache, 'rb').read()

    if back(raw) != data:
        problems.append('the CSV does not convert back to the same bytes')
    column = None if name == 'npccache.wdb' and build >= 27404 else NAME_COLUMNS[name]  # text IDs
    if column is None or kind == 'bytes' or not records:
        return build, kind, len(records), problems
    texts = [row[names.index(column)] for row in rows[2:]]
    named = sum(t != '' for t in texts)
    if named < 0.9 * len(texts):
        problems.append(f'column {column}: {named} of {len(texts)} texts')
    pattern = TEXT_COLUMNS.get(name) if build >= 27404 else None
    for c in [c for c, n in enumerate(names) if pattern and re.fullmatch(pattern, n)] + [names.index(column)]:
        for (_, _, fields), row in zip(records, rows[2:]):
            text = re.sub('\xe2\x90\x9b(\xe2\x90[\x8d\x9b])|\xe2\x90\x8d', lambda m: m[1] or '\r',
                          row[c].replace('\r\n', '\n')).encode('latin-1')
            if (re.search(r'Name|Title', names[c]) and b'\n' in text) or text not in fields or \
                    not re.fullmatch(rb"[^\x00-\x08\x0b\x0c\x0e-\x1f]*", text):
                problems.append(f'column {names[c]}: {row[c]!r} is no text of its record')
    # A text made longer grows its record alone.
    column, grow = ('Quest Description', 300) if name == 'questcache.wdb' and build >= 27404 else (column, 1)
    edited = next(i for i in range(len(rows) // 2 - 1, len(rows) - 2) if rows[i + 2][names.index(column)])
    cell = b',"' + rows[edited + 2][names.index(column)].encode('latin-1').replace(b'"', b'""') + b'",'
    at = raw.index(cell, raw.index(b'\r\n' + key_text(records[edited][0]).encode() + b',')) + len(cell) - 2
    _, again = frame(back(raw[:at] + b'x' * grow + raw[at:]))
    grown = [(key, size + grow * (i == edited), fields) for i, (key, size, fields) in enumerate(records)]
    if [record[:2] for record in again] != [record[:2] for record in grown] or \
            [r[2] for i, r in enumerate(again) if i != edited] != [r[2] for i, r in enumerate(records) if i != edited]:
        problems.append(f'the record {edited} made {grow} bytes longer: another record changed too')
    return build, kind, len(records), problems


def main():
    tool = os.path.abspath(sys.argv[1])
    paths = sorted(os.path.join(root, f) for folder in sys.argv[2:] for root, _, files in os.walk(folder)
                   for f in files if f.endswith('.wdb'))
    failed = 0
    print(f'{"build":>6}  {"file":<20} {"records":>7}  {"read by":<7}  result')
    for path in paths:
        with tempfile.TemporaryDirectory() as work:
            try:
                build, kind, count, problems = check(tool, path, work)
            except (ValueError, IndexError, OSError, subprocess.CalledProcessError) as error:
                build, kind, count, problems = '?', '?', 0, [f'{type(error).__name__}: {error}']
        failed += bool(problems)
        result = 'FAILED: ' + '; '.join(problems[:5]) if problems else 'ok'
        print(f'{build:>6}  {os.path.basename(path):<20} {count:>7}  {kind:<7}  {result}')
    print(f'{len(paths) - failed} passed, {failed} failed')
    return 1 if failed or not paths else 0


if __name__ == '__main__':
    sys.exit(main())
