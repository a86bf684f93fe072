#!/usr/bin/env python3
"""The fuzz runner (scripts/fuzz.sh) on stand-in targets.

Two stand-ins wait for each other, so they pass only when they run at the
same time; a third fails with a long output whose end must reach the log.
The counts line must name both, and the jobs follow processors and memory.
"""
import os
import stat
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
failures = []

WAITER = '''#!/bin/sh
# the arguments, then this target's start, then the other's (hang guard: four minutes)
printf '%%s\\n' "$@" >"$SYNC/%(me)s.args"
corpus=""
for a in "$@"; do corpus="$a"; done
[ -f "$corpus/seed-%(me)s" ] || { echo "no corpus copy in $corpus"; exit 1; }
touch "$SYNC/%(me)s.started"
n=0
while [ ! -f "$SYNC/%(other)s.started" ]; do
  n=$((n + 1)); [ "$n" -gt 2400 ] && { echo "%(me)s ran alone"; exit 1; }
  sleep 0.1
done
exit 0
'''
FAILER = '''#!/bin/sh
i=0
while [ "$i" -lt 300 ]; do echo "fuzzing line $i"; i=$((i + 1)); done
echo "==1==ERROR: AddressSanitizer: the stand-in crash" >&2
exit 1
'''


def check(ok, what):
    if not ok:
        failures.append(what)
    return ok


def make_build(work):
    build = os.path.join(work, 'build-fuzz')
    os.makedirs(os.path.join(build, 'routinen', 'x'))
    lines = []
    for name, text in (('fuzz_a', WAITER % {'me': 'a', 'other': 'b'}), ('fuzz_b', WAITER % {'me': 'b', 'other': 'a'}),
                       ('fuzz_c', FAILER)):
        path = os.path.join(build, 'routinen', 'x', name)
        with open(path, 'w') as fh:
            fh.write(text)
        os.chmod(path, stat.S_IRWXU)
        corpus = os.path.join(work, 'corpus', name)
        os.makedirs(corpus)
        with open(os.path.join(corpus, 'seed-' + name[-1]), 'w') as fh:
            fh.write('x')
        lines.append('%s=%s' % (name, corpus))
    with open(os.path.join(build, 'fuzz_targets.txt'), 'w') as fh:
        fh.write('\n'.join(lines) + '\n')
    return build


def run(work, cpus, mem_mb):
    sync = tempfile.mkdtemp(dir=work)
    env = dict(os.environ, SYNC=sync, QOE_FUZZ_CPUS=str(cpus), QOE_FUZZ_MEM_MB=str(mem_mb))
    out = subprocess.run([os.path.join(ROOT, 'scripts', 'fuzz.sh'), make_build(tempfile.mkdtemp(dir=work)), '3'],
                         env=env, capture_output=True, text=True, timeout=600)
    return out, sync


def main():
    work = tempfile.mkdtemp(prefix='qoe-fuzzrun-')
    for cpus, mem_mb, jobs in ((2, 24576, 2), (8, 8192, 3)):
        out, sync = run(work, cpus, mem_mb)
        text = out.stdout + out.stderr
        where = '(%d processors, %d MB) ' % (cpus, mem_mb)
        check('%d at once' % jobs in text, where + 'not %d jobs:\n%s' % (jobs, text))
        check(out.returncode != 0, where + 'a failing target was reported as success')
        check(text.rstrip().endswith('fuzz: 2 passed, 1 failed'), where + 'wrong counts:\n' + text)
        check('the stand-in crash' in text and 'fuzzing line 299' in text,
              where + "the failing target's output is not in the log:\n" + text)
        check('fuzz target fuzz_c failed' in text, where + 'the failing target is not named')
        check('ran alone' not in text and 'no corpus copy' not in text, where + text)
        args = open(os.path.join(sync, 'a.args')).read().split() if os.path.exists(os.path.join(sync, 'a.args')) else []
        check('-max_total_time=3' in args and '-rss_limit_mb=2048' in args, where + 'arguments: %r' % args)
    if failures:
        print('\n'.join(failures))
        print('(kept for a look: %s)' % work)
        return 1
    subprocess.run(['rm', '-rf', work])
    return 0


if __name__ == '__main__':
    sys.exit(main())
