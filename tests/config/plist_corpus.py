#!/usr/bin/env python3
"""Property lists written by plistlib, and the tree the boot loader's parser must read from each.

usage: plist_corpus.py OUTDIR
           writes case_NNN.plist (plistlib's XML) and case_NNN.expected (one line per node,
           children two spaces deeper, as DumpPlist in plist_test_support.h prints them)
       plist_corpus.py --check-json DIR
           compares every case_NNN.json in DIR (hearthtool plist --json output) with its
           case_NNN.expected; exit status 1 on any difference

The expected trees follow the boot loader's own reading: integers wrap at 64 bits, reals keep
only what the integer rule gets from the text plistlib writes (so "1.5" reads as 0), dates
carry no value. Only the standard library is used.
"""
import datetime
import json
import os
import plistlib
import random
import sys

MASK64 = (1 << 64) - 1


def wrap64(value):
    value &= MASK64
    return value - (1 << 64) if value >> 63 else value


def integer_rule(text):
    """Tabs and spaces, an optional '-', then decimal digits up to the end or a space."""
    i = 0
    while i < len(text) and text[i] in ' \t':
        i += 1
    negative = i < len(text) and text[i] == '-'
    if negative:
        i += 1
    value = 0
    while i < len(text) and text[i] != ' ':
        if text[i] not in '0123456789':
            return 0
        value = value * 10 + int(text[i])
        i += 1
    return wrap64(-value if negative else value)


def quote(raw):
    out = '"'
    for byte in raw:
        if 0x20 <= byte < 0x7F and byte not in b'"\\':
            out += chr(byte)
        else:
            out += '\\x%02x' % byte
    return out + '"'


def expected_lines(value, depth, out):
    pad = '  ' * depth
    if isinstance(value, dict):
        out.append(pad + 'dict')
        for key, member in value.items():
            out.append(pad + '  key ' + quote(key.encode('utf-8')))
            expected_lines(member, depth + 2, out)
    elif isinstance(value, list):
        out.append(pad + 'array')
        for item in value:
            expected_lines(item, depth + 1, out)
    elif isinstance(value, bool):
        out.append(pad + ('true' if value else 'false'))
    elif isinstance(value, int):
        out.append(pad + 'integer %d' % wrap64(value))
    elif isinstance(value, float):
        out.append(pad + 'real %d' % integer_rule(repr(value)))  # plistlib writes repr()
    elif isinstance(value, str):
        out.append(pad + 'string ' + quote(value.encode('utf-8')))
    elif isinstance(value, bytes):
        out.append(pad + 'data ' + value.hex())
    elif isinstance(value, datetime.datetime):
        out.append(pad + 'date')
    else:
        raise TypeError(type(value))


def json_lines(node, depth, out):
    pad = '  ' * depth
    kind = node['type']
    if kind == 'dict':
        out.append(pad + 'dict')
        for member in node['members']:
            json_lines(member, depth + 1, out)
    elif kind == 'array':
        out.append(pad + 'array')
        for item in node['items']:
            json_lines(item, depth + 1, out)
    elif kind == 'key':
        out.append(pad + 'key ' + quote(node['name'].encode('utf-8')))
        if node['value'] is not None:
            json_lines(node['value'], depth + 1, out)
    elif kind == 'string':
        out.append(pad + 'string ' + quote(node['value'].encode('utf-8')))
    elif kind in ('integer', 'real'):
        out.append(pad + '%s %d' % (kind, node['value']))
    elif kind == 'data':
        assert node['length'] * 2 == len(node['hex'])
        out.append(pad + 'data ' + node['hex'])
    else:
        out.append(pad + kind)


TEXT_PIECES = ['a', 'Z', '0', ' ', '  ', '\t', '\n', '&', '<', '>', '"', "'", '&amp;', '&#65;', ';', '#',
               'Kernel Flags', '-v', '=', '\\', '/', 'é', 'ß', '日本', '🔥', 'Ω', '\u00a0', '\r\n']
INTEGERS = [0, 1, -1, 42, -42, 10, -10, 2**31, -2**31 - 1, 2**63 - 1, -2**63, 2**63, 2**64 - 1]
REALS = [0.0, -0.0, 1.0, 3.0, -2.0, 1.5, -2.25, 1e20, 1e-7, 123456.0, float('inf'), float('-inf')]


def random_text(rng):
    return ''.join(rng.choice(TEXT_PIECES) for _ in range(rng.randrange(0, 8)))


def random_value(rng, depth):
    kinds = ['text', 'int', 'real', 'bool', 'data', 'date']
    if depth < 6:
        kinds += ['dict', 'list'] * 2
    kind = rng.choice(kinds)
    if kind == 'text':
        return random_text(rng)
    if kind == 'int':
        return rng.choice(INTEGERS + [rng.randrange(-2**63, 2**64)])
    if kind == 'real':
        return rng.choice(REALS + [rng.uniform(-1e6, 1e6)])
    if kind == 'bool':
        return rng.random() < 0.5
    if kind == 'data':
        return bytes(rng.randrange(256) for _ in range(rng.choice([0, 1, 2, 3, 4, 5, 8, 57, 100, 5000])))
    if kind == 'date':
        return datetime.datetime(2000 + rng.randrange(40), 1 + rng.randrange(12), 1 + rng.randrange(28),
                                 rng.randrange(24), rng.randrange(60), rng.randrange(60))
    if kind == 'dict':
        return {random_text(rng): random_value(rng, depth + 1) for _ in range(rng.randrange(0, 6))}
    return [random_value(rng, depth + 1) for _ in range(rng.randrange(0, 6))]


def fixed_documents():
    """Hand-made documents; they come first in the corpus (the tests rely on nine of them)."""
    nested = {'leaf': 'bottom'}
    for level in range(12):
        nested = {'level %d' % level: nested, 'list': [nested] if level == 6 else []}
    return [
        {'integers': INTEGERS, 'reals': REALS},
        {'Kernel Flags': '-v debug=0x144 keepsyms=1', 'Root UUID': '6D3F1C2A-0000-4000-8000-00A0C9A0E0F0',
         '': 'empty key', 'empty': '', 'spaces': '  leading and trailing  '},
        {'entities': '&<>"\'&amp;&lt;&#65;&#x41;&unknown;', 'é': 'naïve café 日本語 🔥', 'lines': 'a\nb\r\nc\td'},
        {'data %d' % n: bytes(range(n % 256)) * (n // 256 + 1) for n in range(0, 70)},
        {'big data': bytes(i * 7 % 256 for i in range(9000)), 'date': datetime.datetime(2024, 2, 29, 23, 59, 59)},
        nested,
        [{'InstallPhase': 'first', 'InstallPhasePercentageKey': 40}, {'InstallPhase': 'second', 'InstallPhasePercentageKey': 60}],
        [],
        {},
    ]


def write_corpus(outdir):
    rng = random.Random(20240229)
    documents = fixed_documents()
    documents += [{random_text(rng): random_value(rng, 1) for _ in range(rng.randrange(1, 8))} for _ in range(30)]
    documents += [[random_value(rng, 1) for _ in range(rng.randrange(1, 6))] for _ in range(5)]
    for number, document in enumerate(documents):
        xml = plistlib.dumps(document, fmt=plistlib.FMT_XML)
        lines = []
        expected_lines(plistlib.loads(xml), 0, lines)  # plistlib's own reading ("\r\n" becomes "\n")
        stem = os.path.join(outdir, 'case_%03d' % number)
        with open(stem + '.plist', 'wb') as f:
            f.write(xml)
        with open(stem + '.expected', 'w', encoding='ascii') as f:
            f.write('\n'.join(lines) + '\n')


def check_json(directory):
    failures = 0
    names = sorted(name for name in os.listdir(directory) if name.endswith('.json'))
    for name in names:
        stem = os.path.join(directory, name[:-len('.json')])
        with open(stem + '.json', encoding='utf-8') as f:
            lines = []
            json_lines(json.load(f), 0, lines)
        with open(stem + '.expected', encoding='ascii') as f:
            expected = f.read()
        if '\n'.join(lines) + '\n' != expected:
            failures += 1
            print('%s: hearthtool --json differs from plistlib' % name, file=sys.stderr)
    print('%d JSON documents checked, %d differ' % (len(names), failures))
    return 1 if failures or not names else 0


def main(argv):
    if len(argv) == 3 and argv[1] == '--check-json':
        return check_json(argv[2])
    if len(argv) == 2 and not argv[1].startswith('-'):
        write_corpus(argv[1])
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == '__main__':
    sys.exit(main(sys.argv))
