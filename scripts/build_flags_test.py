#!/usr/bin/env python3
"""What the build and CI's test run promise, checked on a configured build.

Usage: build_flags_test.py <build folder> <check>

Checks:
  pattern-init  In a sanitizer build every sanitized compile fills its locals with a
                pattern (-ftrivial-auto-var-init=pattern), so a read before a
                write gives the same wrong value in every run.
  gamethread    The tests that start the game thread (a headless screen run,
                a run of the program) carry the CTest label gamethread, the
                others not; and the TSan step of scripts/test.sh runs them.
  werror        CI's builds fail on a warning (QOE_WERROR from .ci/run,
                passed to every configure of scripts/test.sh); the start
                command's build never does.
"""
import json
import os
import re
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def cache(build, name):
    with open(os.path.join(build, 'CMakeCache.txt')) as fh:
        for line in fh:
            key, _, value = line.strip().partition('=')
            if key.split(':')[0] == name:
                return value
    return ''


def read(path):
    with open(os.path.join(ROOT, path)) as fh:
        return fh.read()


def pattern_init(build):
    if not cache(build, 'QOE_SANITIZE'):
        print('not a sanitizer build: nothing to check')
        return []
    with open(os.path.join(build, 'compile_commands.json')) as fh:
        commands = json.load(fh)
    # Host tools (the data kit, the font generator) are built without the
    # sanitizers; every sanitized compile must have the pattern too.
    lines = [(c['file'], c.get('command', ' '.join(c.get('arguments', [])))) for c in commands]
    sanitized = [(f, l) for f, l in lines if '-fsanitize=' in l]
    if not sanitized:
        return ['no compile of the sanitizer build uses a sanitizer']
    missing = [f for f, l in sanitized if '-ftrivial-auto-var-init=pattern' not in l]
    return ['compiled without -ftrivial-auto-var-init=pattern: ' + f for f in missing[:20]]


def labelled(build, args):
    run = subprocess.run(['ctest', '-N'] + args, cwd=build, capture_output=True, text=True, timeout=300)
    return set(re.findall(r'Test +#\d+: (\S+)', run.stdout))


def gamethread(build):
    failures = []
    marked = labelled(build, ['-L', 'gamethread'])
    every = labelled(build, [])
    # Suites that start the game thread, one per way of starting it.
    for suite in ('HeadlessThread.', 'InputThread.', 'Modes/GuiScreen.', 'Modes/MapScreenVisit.',
                  'Modes/TitelRun.', 'QuillProgram.', 'Headless/CloseTable.', 'LetterWindow.'):
        if any(t.startswith(suite) for t in every) and not any(t.startswith(suite) for t in marked):
            failures.append('no test of %s carries the label gamethread' % suite)
    # Suites of files that never start it.
    for suite in ('Ilbm.', 'FilesDir.', 'FilesWhole.'):
        wrong = sorted(t for t in marked if t.startswith(suite))
        if wrong:
            failures.append('labelled gamethread without starting the game thread: ' + wrong[0])
    if not marked:
        failures.append('no test carries the label gamethread')
    script = read('scripts/test.sh')
    tsan = script[script.index('== TSan'):script.index('== libFuzzer')]
    if '-L gamethread' not in tsan:
        failures.append("scripts/test.sh's TSan step does not run ctest -L gamethread")
    return failures


def werror(build):
    failures = []
    if 'QOE_WERROR=1' not in read('.ci/run'):
        failures.append('.ci/run does not set QOE_WERROR=1')
    script = read('scripts/test.sh')
    configures = [l for l in script.splitlines() if re.match(r'\s*(CC=\S+ CXX=\S+ )?cmake -S', l)]
    if not configures:
        failures.append('scripts/test.sh configures no build')
    for line in configures:
        if '-DQOE_WERROR=$WERROR' not in line:
            failures.append('a configure of scripts/test.sh without QOE_WERROR: ' + line.strip())
    if '-DQOE_WERROR=OFF' not in read('scripts/start.sh'):
        failures.append("the start command's configure does not turn QOE_WERROR off")
    if 'QOE_WERROR' not in read('cmake/QoeModule.cmake') or '-Werror' not in read('cmake/QoeModule.cmake'):
        failures.append('no QOE_WERROR option adds -Werror')
    return failures


def main():
    build, check = os.path.abspath(sys.argv[1]), sys.argv[2]
    failures = {'pattern-init': pattern_init, 'gamethread': gamethread, 'werror': werror}[check](build)
    for f in failures:
        print(f)
    print('%s: %s' % (check, 'failed' if failures else 'ok'))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
