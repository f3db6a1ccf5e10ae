#!/bin/bash
# Fails when a product file includes a file of a layer above its own, or
# when product modules (a header and its source, by stem) include each other
# in a circle. Layers, bottom first: Encoder, libAPI, src/platform,
# src/image, src/doc, src/ui; tools may use every layer but src/ui.
#   usage: tools/check-layers.sh [SOURCE_DIR]
set -euo pipefail
ROOT=${1:-$(cd "$(dirname "$0")/.." && pwd)}
exec python3 - "$ROOT" <<'EOF'
import os, re, sys

root = sys.argv[1]
layers = ['Encoder', 'libAPI', 'src/platform', 'src/image', 'src/doc', 'src/ui']
tools_rank = layers.index('src/doc')  # tools see everything below src/ui
# The mask finder's entry over the Image API's records reads djvuapi.h's
# declarations only (see maskfind.h).
allowed = {('Encoder/libMaskFind/ApiRecords.cpp', 'libAPI/djvuapi.h')}

def rank(rel):
    if rel.startswith('tools/'):
        return tools_rank + 0.5
    for i, l in enumerate(layers):
        if rel.startswith(l + '/'):
            return i
    return None

files = []
for top in layers + ['tools']:
    for d, _, names in os.walk(os.path.join(root, top)):
        for n in names:
            if n.endswith(('.h', '.cpp', '.h.in')):
                files.append(os.path.relpath(os.path.join(d, n), root))
by_name = {}
for f in files:
    by_name.setdefault(os.path.basename(f), []).append(f)

inc_re = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
def resolve(src, name):
    here = os.path.normpath(os.path.join(os.path.dirname(src), name))
    if here in files:
        return here
    cands = by_name.get(os.path.basename(name), [])
    return cands[0] if len(cands) == 1 else None

# A module's private header (FooInternal.h) is part of module Foo.
def module(f):
    stem = os.path.splitext(f)[0]
    return stem[:-len('Internal')] if stem.endswith('Internal') else stem

problems = []
edges = {}
for f in files:
    with open(os.path.join(root, f), encoding='utf-8', errors='replace') as fh:
        for lineno, line in enumerate(fh, 1):
            m = inc_re.match(line)
            if not m:
                continue
            to = resolve(f, m.group(1))
            if not to:
                continue  # a library's header or a generated one
            rf, rt = rank(f), rank(to)
            if rt == layers.index('src/ui') and f.startswith('tools/'):
                problems.append(f'{f}:{lineno}: tools include {to} (src/ui)')
            elif rt > rf and (f, to) not in allowed:
                problems.append(f'{f}:{lineno}: includes {to}, a layer above')
            a, b = module(f), module(to)
            if a != b:
                edges.setdefault(a, set()).add(b)

# Circles: strongly connected components of more than one module.
index, low, stack, on, comps, counter = {}, {}, [], set(), [], [0]
sys.setrecursionlimit(10000)
def visit(v):
    index[v] = low[v] = counter[0]; counter[0] += 1
    stack.append(v); on.add(v)
    for w in sorted(edges.get(v, ())):
        if w not in index:
            visit(w); low[v] = min(low[v], low[w])
        elif w in on:
            low[v] = min(low[v], index[w])
    if low[v] == index[v]:
        comp = []
        while True:
            w = stack.pop(); on.discard(w); comp.append(w)
            if w == v:
                break
        if len(comp) > 1:
            comps.append(sorted(comp))
for v in sorted(edges):
    if v not in index:
        visit(v)
for c in comps:
    problems.append('module circle: ' + ' <-> '.join(c))

for p in problems:
    print(p)
print(f'check-layers: {len(files)} files, {len(problems)} problems')
sys.exit(1 if problems else 0)
EOF
