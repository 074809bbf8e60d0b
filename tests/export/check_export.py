"""Reads an exported file back with Python's standard readers and compares it with what the
database's own client printed. Usage:
  check_export.py csv  <exported.csv> <expected.csv> <real columns, comma separated>
  check_export.py json <exported.json> <expected.csv> <real columns> <base64 columns>
The expected file is the client's CSV output of the same select, NULL printed as \\N."""
import base64, csv, decimal, json, re, sys

def read_csv(path):
    with open(path, newline='', encoding='utf-8') as f:
        return list(csv.reader(f))

def columns(arg):
    return {int(c) for c in arg.split(',') if c}

def same(got, want, real):
    if got == want:
        return True
    try:
        return real and float(got) == float(want)
    except ValueError:
        return False

def main():
    kind, exported, expected = sys.argv[1:4]
    reals = columns(sys.argv[4])
    want = read_csv(expected)
    errors = []
    if kind == 'csv':
        got = read_csv(exported)
        if len(got) != len(want):
            errors.append(f'{len(got)} lines, expected {len(want)}')
        for r, (g, w) in enumerate(zip(got, want)):
            for c, (gv, wv) in enumerate(zip(g, w)):
                # The reader cannot tell NULL from the empty text; the byte check does.
                if not same(gv, '' if wv == '\\N' else wv, c in reals):
                    errors.append(f'line {r} column {c}: {gv!r} != {wv!r}')
            if len(g) != len(w):
                errors.append(f'line {r}: {len(g)} fields, expected {len(w)}')
    else:
        binary = columns(sys.argv[5])
        with open(exported, encoding='utf-8') as f:
            records = json.load(f, parse_float=decimal.Decimal, parse_int=decimal.Decimal)
        header, rows = want[0], want[1:]
        if len(records) != len(rows):
            errors.append(f'{len(records)} records, expected {len(rows)}')
        for r, (record, w) in enumerate(zip(records, rows)):
            if list(record.keys()) != header:
                errors.append(f'record {r}: keys {list(record.keys())}')
            for c, name in enumerate(header):
                v = record.get(name)
                if v is None:
                    text = '\\N'
                elif v is True or v is False:
                    text = 'true' if v else 'false'
                elif c in binary:
                    text = '\\x' + base64.b64decode(v).hex()
                elif isinstance(v, decimal.Decimal):
                    text = format(v, 'f')
                else:
                    # ISO 8601 in JSON, the database's client writes a blank between date and time.
                    text = re.sub(r'^(\d{4}-\d\d-\d\d)T', r'\1 ', str(v))
                if not same(text, w[c], c in reals):
                    errors.append(f'record {r} field {name}: {text!r} != {w[c]!r}')
    for e in errors:
        print(e)
    sys.exit(1 if errors else 0)

main()
