#!/usr/bin/env python3
"""Every benchmark program removes the temporary folders it makes.

Usage: bench_cleanup_test.py <build folder> [program name ...]

Runs each benchmark program of the build (every *_bench, or the ones named)
once, briefly, in a mount namespace of its own whose /tmp, /var/tmp and
/dev/shm are empty memory filesystems, from a working folder outside them;
whatever is left in those three folders after the program ends is reported.
Needs unshare and mount (the tests run as root).
"""
import os
import shutil
import subprocess
import sys
import tempfile

TEMPS = ('/tmp', '/var/tmp', '/dev/shm')

# Run inside the namespace: fresh memory filesystems, the program, then the leftovers.
INNER = r'''
set -u
for d in /tmp /var/tmp /dev/shm; do mount -t tmpfs qoe-bench "$d" || exit 97; done
"$1" --benchmark_min_time=0.001 >"$2/out.txt" 2>&1
echo "exit $?" >>"$2/out.txt"
for d in /tmp /var/tmp /dev/shm; do for f in "$d"/* "$d"/.[!.]*; do [ -e "$f" ] && echo "$f"; done; done
exit 0
'''


def programs(build, names):
    found = []
    for top, dirs, files in os.walk(build):
        dirs[:] = [d for d in dirs if not d.startswith('.') and d not in ('CMakeFiles', 'datakit', 'demo')]
        for f in files:
            path = os.path.join(top, f)
            if f.endswith('_bench') and os.access(path, os.X_OK) and (not names or f in names):
                found.append(path)
    return sorted(found)


def main():
    build = os.path.abspath(sys.argv[1])
    if not shutil.which('unshare'):
        print('unshare is missing')
        return 1
    benches = programs(build, sys.argv[2:])
    if not benches:
        print('no benchmark program in ' + build)
        return 1
    failures = []
    for bench in benches:
        work = tempfile.mkdtemp(prefix='qoe-benchclean-', dir=build)
        try:
            run = subprocess.run(['unshare', '--mount', '--propagation', 'private', 'sh', '-c', INNER, 'inner',
                                  bench, work], cwd=work, capture_output=True, text=True, timeout=900)
            left = [l for l in run.stdout.splitlines() if l]
            out = open(os.path.join(work, 'out.txt'), errors='replace').read() if os.path.exists(
                os.path.join(work, 'out.txt')) else ''
            if run.returncode != 0:
                failures.append('%s: the namespace could not be set up (%d): %s' % (bench, run.returncode, run.stderr))
            elif left:
                failures.append('%s left behind: %s' % (os.path.basename(bench), ' '.join(left)))
            print('%s: %s, %d left' % (os.path.basename(bench), out.strip().splitlines()[-1] if out else '?', len(left)))
        finally:
            shutil.rmtree(work, ignore_errors=True)
    for f in failures:
        print(f)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
