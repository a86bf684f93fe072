#!/usr/bin/env python3
"""The start command on a fresh folder, headless, quitting at once.

Usage: start_test.py <build folder>

This build has made every target already, so the test does not let the
start command build: a stand-in `cmake` records what it asks for. The
targets it names must between them depend on every data file this build
writes into datakit/ (and on the client and the turn builder), so a start
command that leaves a data target out fails here. What the build writes into
datakit/ and which target depends on which are read from the lists CMake
writes at configure time (kit_outputs.txt, target_dependencies.txt), so the
test holds under any generator. The demo folder must then hold the sound
index, every sample it names and the music modules, and the client must have
found them.
"""
import os
import stat
import struct
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
    return ok


def read(path):
    with open(path, 'rb') as fh:
        return fh.read()


def kit_outputs(build):
    """What the build writes into datakit/ (paths under the build folder),
    each with the target that writes it."""
    outputs = {}
    with open(os.path.join(build, 'kit_outputs.txt')) as fh:
        for line in fh:
            path, _, target = line.rstrip('\n').partition('\t')
            if path:
                outputs[path] = target
    return outputs


def dependency_closure(build, targets):
    """The targets the given ones depend on, directly or not (themselves too),
    and the names of every target of the project."""
    edges = {}
    with open(os.path.join(build, 'target_dependencies.txt')) as fh:
        for line in fh:
            target, _, deps = line.rstrip('\n').partition('\t')
            if target:
                edges[target] = deps.split()
    seen, todo = set(), list(targets)
    while todo:
        t = todo.pop()
        if t not in seen:
            seen.add(t)
            todo += edges.get(t, [])
    return seen, set(edges)


def unlisted_kit_files(build, outputs):
    """Generator stamps (datakit/.datakit-*) and fonts on disk that the list
    does not name: a data target that forgot to register its outputs."""
    kit = os.path.join(build, 'datakit')
    found = ['datakit/' + f for f in os.listdir(kit) if f.startswith('.datakit')]
    fonts = os.path.join(kit, 'fonts')
    if os.path.isdir(fonts):
        found += ['datakit/fonts/' + f for f in os.listdir(fonts) if f.endswith('.fnt')]
    return sorted(f for f in found if f not in outputs)


def sample_paths(index):
    """The sample files a sound index names, with their sizes (docs/sounds.md)."""
    count = struct.unpack_from('>I', index, 32)[0]
    samples = []
    for n in range(count):
        size, _, offset = struct.unpack_from('>III', index, 36 + 20 * n + 4)
        start = 32 + offset
        path = index[start:index.index(b'\0', start)].decode('latin-1')
        if size:
            samples.append((path.split(':', 1)[-1], size))
    return samples


def main():
    build = os.path.abspath(sys.argv[1])
    for prog in ('quill', 'tools/turnbuilder/turnbuilder'):
        if not os.path.exists(os.path.join(build, prog)):
            sys.exit(prog + ' is not built')
    work = tempfile.mkdtemp(prefix='qoe-start-')
    shim = os.path.join(work, 'bin')
    os.makedirs(shim)
    with open(os.path.join(shim, 'cmake'), 'w') as fh:
        fh.write('#!/bin/sh\nprintf "%s\\n" "$*" >>"$QOE_CMAKE_LOG"\n')
    os.chmod(os.path.join(shim, 'cmake'), stat.S_IRWXU)
    with open(os.path.join(work, 'run.txt'), 'w') as fh:
        fh.write('wait 400\nkey esc\n')
    env = dict(os.environ, PATH=shim + os.pathsep + os.environ.get('PATH', ''),
               QOE_CMAKE_LOG=os.path.join(work, 'cmake.log'), QOE_BUILD_DIR=build,
               QOE_DEMO_DIR=os.path.join(work, 'demo'), QOE_HEADLESS_SCRIPT=os.path.join(work, 'run.txt'),
               QOE_HEADLESS_MODE='4')
    env.pop('QOE_START_PREBUILT', None)
    run = subprocess.run([os.path.join(ROOT, 'scripts', 'start.sh')], cwd=work, env=env,
                         capture_output=True, text=True, errors='replace', timeout=300)
    check(run.returncode == 0, 'the start command failed (%d):\n%s%s' % (run.returncode, run.stdout, run.stderr))

    # Without a display it says so before it builds anything.
    bare = {k: v for k, v in env.items() if k not in ('DISPLAY', 'WAYLAND_DISPLAY', 'QOE_HEADLESS_SCRIPT', 'SDL_VIDEODRIVER')}
    bare['QOE_CMAKE_LOG'] = os.path.join(work, 'cmake-nodisplay.log')
    blind = subprocess.run([os.path.join(ROOT, 'scripts', 'start.sh')], cwd=work, env=bare,
                           capture_output=True, text=True, errors='replace', timeout=300)
    check(blind.returncode == 1 and 'no display found' in blind.stdout,
          'without a display the start command did not say so (%d):\n%s%s' % (blind.returncode, blind.stdout, blind.stderr))
    check(not os.path.exists(bare['QOE_CMAKE_LOG']), 'without a display the start command still built first')

    # What it asked the build for.
    calls = read(os.path.join(work, 'cmake.log')).decode().splitlines() if os.path.exists(
        os.path.join(work, 'cmake.log')) else []
    builds = [c.split() for c in calls if c.startswith('--build')]
    targets = []
    for words in builds:
        if '--target' in words:
            targets += words[words.index('--target') + 1:]
    if check(targets, 'the start command builds no named target: %r' % calls):
        outputs = kit_outputs(build)
        check(any(p.endswith('.datakit-sound-stamp') for p in outputs), 'this build writes no sounds')
        check(not unlisted_kit_files(build, outputs),
              'files in datakit/ that kit_outputs.txt does not name: %s' % ' '.join(unlisted_kit_files(build, outputs)))
        built, known = dependency_closure(build, targets)
        check(set(targets) <= known, 'the start command builds unknown targets: %s' % ' '.join(set(targets) - known))
        missing = sorted('%s (%s)' % (p, t) for p, t in outputs.items() if t not in built)
        missing += sorted({'quill', 'turnbuilder'} - built)
        check(not missing, 'the start command (%s) does not build: %s' % (' '.join(targets), ' '.join(missing)))

    # What it installed.
    demo = os.path.join(work, 'demo')
    index_path = os.path.join(demo, 'Data', 'SfxPath')
    if check(os.path.isfile(index_path), 'no sound index in the demo folder'):
        samples = sample_paths(read(index_path))
        check(len(samples) > 50, 'the sound index names only %d samples' % len(samples))
        for path, size in samples:
            disk = os.path.join(demo, path)
            check(os.path.isfile(disk) and os.path.getsize(disk) >= size, 'sample %s missing or short' % path)
    scores = [f[:-4] for f in os.listdir(os.path.join(ROOT, 'tools', 'datakit', 'sound', 'music')) if f.endswith('.txt')]
    for name in scores + ['QoEMain.DBM', 'QoEMain2.DBM']:
        module = os.path.join(demo, 'Mods', name if '.' in name else name + '.XM')
        check(os.path.isfile(module) and os.path.getsize(module) > 1000, 'module %s missing' % module)
    log_path = os.path.join(demo, 'Quill.dbg')
    log = read(log_path).decode('latin-1') if os.path.exists(log_path) else ''
    check('ShutdownSystem: Programm wird beendet' in log, 'the client did not run to its end:\n' + log)
    check('nicht laden' not in log, 'the client missed a file:\n' + log)

    if failures:
        print('\n'.join(failures))
        print('(kept for a look: %s)' % work)
        return 1
    subprocess.run(['rm', '-rf', work])
    return 0


if __name__ == '__main__':
    sys.exit(main())
