#!/usr/bin/env python3
"""Include discipline check.

Only the project root is on the include path. A quoted #include must name
either a header in the including file's own folder (bare name) or a path from
the project root. A bare name that is not in the file's own folder reaches into
another module without saying so, and fails the check.

Usage: check_includes.py [ROOT] [--fix]
       check_includes.py --file F ROOT   (check one file as if it lay in ROOT)
"""
import os
import re
import sys

INC = re.compile(r'^(\s*#\s*include\s+)"([^"]+)"')
SKIP_DIRS = {'.git'}
EXTS = ('.cpp', '.h', '.c', '.inc', '.hpp')


def source_files(root):
    for d, dirs, files in os.walk(root):
        rel = os.path.relpath(d, root)
        dirs[:] = [x for x in dirs if x not in SKIP_DIRS and not x.startswith('build')]
        for f in files:
            if f.endswith(EXTS):
                yield os.path.join(d, f)


def header_index(root):
    idx = {}
    for p in source_files(root):
        idx.setdefault(os.path.basename(p), []).append(os.path.relpath(p, root))
    return idx


def check_file(path, root, idx=None, fix=False):
    errors = []
    out = []
    here = os.path.dirname(path)
    changed = False
    with open(path, encoding='latin-1') as fh:
        lines = fh.readlines()
    for n, line in enumerate(lines, 1):
        m = INC.match(line)
        if m:
            name = m.group(2)
            same = '/' not in name and os.path.exists(os.path.join(here, name))
            rooted = '/' in name and not name.startswith('..') and os.path.exists(os.path.join(root, name))
            if not same and not rooted:
                fixed = None
                if fix and idx is not None:
                    cands = idx.get(os.path.basename(name), [])
                    if len(cands) == 1:
                        fixed = cands[0]
                if fixed:
                    line = m.group(1) + '"' + fixed + '"' + line[m.end():]
                    changed = True
                else:
                    errors.append(f'{os.path.relpath(path, root)}:{n}: "{name}" is neither in this folder nor a path from the project root')
        out.append(line)
    if changed:
        with open(path, 'w', encoding='latin-1') as fh:
            fh.writelines(out)
    return errors


def main(argv):
    fix = '--fix' in argv
    argv = [a for a in argv if a != '--fix']
    if len(argv) >= 3 and argv[1] == '--file':
        errs = check_file(os.path.abspath(argv[2]), os.path.abspath(argv[3]))
    else:
        root = os.path.abspath(argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(__file__), '..'))
        idx = header_index(root) if fix else None
        errs = []
        for p in sorted(source_files(root)):
            errs += check_file(p, root, idx, fix)
    for e in errs:
        print(e)
    if errs:
        print(f'include check: {len(errs)} include(s) reach another folder by bare name')
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
