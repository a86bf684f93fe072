#!/usr/bin/env python3
"""The lists the start command's test reads do not depend on the generator.

Usage: build_lists_test.py <build folder> <generator of that build>

Configures the project once more, with the other generator (Unix Makefiles
for a Ninja build, Ninja otherwise), in a temporary folder (no build), and
compares its kit_outputs.txt and target_dependencies.txt with the build's.
"""
import os
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LISTS = ('kit_outputs.txt', 'target_dependencies.txt')


def options(build):
    """The build's own choices that decide which targets exist."""
    chosen = []
    with open(os.path.join(build, 'CMakeCache.txt')) as fh:
        for line in fh:
            name, _, value = line.strip().partition('=')
            if name.split(':')[0] in ('QOE_SANITIZE', 'QOE_BENCH', 'QOE_FUZZ', 'CMAKE_BUILD_TYPE'):
                chosen.append('-D%s=%s' % (name, value))
    return chosen


def main():
    build, generator = os.path.abspath(sys.argv[1]), sys.argv[2]
    other = 'Unix Makefiles' if generator == 'Ninja' else 'Ninja'
    work = tempfile.mkdtemp(prefix='qoe-lists-')
    try:
        run = subprocess.run(['cmake', '-S', ROOT, '-B', work, '-G', other] + options(build),
                             capture_output=True, text=True, timeout=600)
        if run.returncode != 0:
            print('configure with %s failed:\n%s%s' % (other, run.stdout, run.stderr))
            return 1
        failures = []
        for name in LISTS:
            mine = open(os.path.join(build, name)).read()
            theirs = open(os.path.join(work, name)).read()
            if not mine.strip():
                failures.append('%s is empty' % name)
            if mine != theirs:
                failures.append('%s differs between %s and %s' % (name, generator, other))
        print('\n'.join(failures))
        return 1 if failures else 0
    finally:
        subprocess.run(['rm', '-rf', work])


if __name__ == '__main__':
    sys.exit(main())
