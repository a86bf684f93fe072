#!/usr/bin/env python3
"""Feeds the include check small trees: a bare include of another module's
header must fail it, same-folder and root-relative includes must pass."""
import os
import subprocess
import sys
import tempfile

CHECK = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'check_includes.py')


def tree(files):
    root = tempfile.mkdtemp()
    for rel, text in files.items():
        p = os.path.join(root, rel)
        os.makedirs(os.path.dirname(p), exist_ok=True)
        with open(p, 'w') as fh:
            fh.write(text)
    return root


def run(root):
    return subprocess.run([sys.executable, CHECK, root], capture_output=True, text=True)


base = {'routinen/system/memory.h': '#pragma once\n', 'routinen/system/memory.cpp': '#include "memory.h"\n'}
good = dict(base, **{'routinen/gui/pictures.cpp': '#include "routinen/system/memory.h"\n#include <memory.h>\n'})
bad = dict(base, **{'routinen/gui/pictures.cpp': '#include "memory.h"\n'})
dotdot = dict(base, **{'routinen/gui/pictures.cpp': '#include "../system/memory.h"\n'})
test_bare = dict(base, **{'routinen/system/tests/memory_test.cpp': '#include "memory.h"\n'})

failures = []
r = run(tree(good))
if r.returncode != 0:
    failures.append('root-relative and same-folder includes were refused:\n' + r.stdout)
for name, files in (('bare cross-module', bad), ('parent-relative', dotdot), ('bare from tests/', test_bare)):
    r = run(tree(files))
    if r.returncode == 0 or 'memory.h' not in r.stdout:
        failures.append(f'{name} include passed the check')
for f in failures:
    print(f)
sys.exit(1 if failures else 0)
