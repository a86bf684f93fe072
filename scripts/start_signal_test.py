#!/usr/bin/env python3
"""The start command's game and servers end together.

Usage: start_signal_test.py <build folder>

With the build done (QOE_START_PREBUILT=1), the client runs without a
display in real time (SDL's offscreen driver, a script that only waits):
- a SIGTERM to the start command ends the game (it closes as on its window's
  close) and then every demo server;
- a start command killed outright leaves its game and servers running; the
  next start ends them before it starts its own.
"""
import os
import signal
import subprocess
import sys
import tempfile
import time

failures = []
NAMES = ('gameserver', 'pop3', 'smtp', 'irc')
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def check(ok, what):
    if not ok:
        failures.append(what)
    return ok


def alive(pid):
    try:
        with open('/proc/%d/status' % pid) as fh:
            return 'State:\tZ' not in fh.read()
    except OSError:
        return False


def read_pid(path):
    try:
        with open(path) as fh:
            return int(fh.read().strip())
    except (OSError, ValueError):
        return 0


# Each wait is for what the processes report, bounded by minutes: a busy
# machine only makes it slower.
MINUTES = 240


def shown(demo):
    """The game's window showed its first screen (its log says so)."""
    try:
        with open(os.path.join(demo, 'Quill.dbg'), encoding='latin-1') as fh:
            return 'SDL-Skript: Das Fenster zeigt das Bild (1.)' in fh.read()
    except OSError:
        return False


def wait_until(cond, seconds):
    end = time.time() + seconds
    while time.time() < end:
        if cond():
            return True
        time.sleep(0.1)
    return cond()


def start(build, work, env, script):
    with open(os.path.join(work, 'wait.txt'), 'w') as fh:
        fh.write(script)
    log = open(os.path.join(work, 'start.txt'), 'a')
    return subprocess.Popen([os.path.join(ROOT, 'scripts', 'start.sh')], cwd=work, env=env, stdout=log,
                            stderr=subprocess.STDOUT, start_new_session=True)


def running_pids(server):
    """The game's and the servers' PIDs once all are up (else None)."""
    pids = {n: read_pid(os.path.join(server, 'pids', n + '.pid')) for n in ('quill',) + NAMES}
    if all(p and alive(p) for p in pids.values()):
        return pids
    return None


def main():
    build = os.path.abspath(sys.argv[1])
    for prog in ('quill', 'tools/turnbuilder/turnbuilder', 'datakit/Data/Path'):
        if not os.path.exists(os.path.join(build, prog)):
            sys.exit(prog + ' is not built')
    work = tempfile.mkdtemp(prefix='qoe-start-signal-')
    demo = os.path.join(work, 'demo')
    server = demo + '-server'
    env = dict(os.environ, QOE_START_PREBUILT='1', QOE_BUILD_DIR=build, QOE_DEMO_DIR=demo,
               QOE_SDL_SCRIPT=os.path.join(work, 'wait.txt'), QOE_HEADLESS_MODE='4', SDL_VIDEODRIVER='offscreen',
               SDL_AUDIODRIVER='dummy')
    for k in ('QOE_HEADLESS_SCRIPT', 'DISPLAY', 'WAYLAND_DISPLAY'):
        env.pop(k, None)
    # The game's own blocks are counted in its log; a leak check would only
    # slow its end down.
    env['ASAN_OPTIONS'] = 'detect_leaks=0'
    procs = []
    try:
        # 1. SIGTERM to the start command.
        # The game says when its window shows its first screen (the
        # script's "shown"): its close handler is in place by then.
        p = start(build, work, env, 'shown\nwait 600000\n')
        procs.append(p)
        pids = None
        if check(wait_until(lambda: running_pids(server) is not None and shown(demo), MINUTES),
                 'the game and its servers did not come up'):
            pids = running_pids(server)
            os.kill(p.pid, signal.SIGTERM)
            try:
                p.wait(MINUTES)
            except subprocess.TimeoutExpired:
                check(False, 'the start command did not end within four minutes of the SIGTERM')
            check(p.returncode == 143, 'the start command ended with %r, not 143' % p.returncode)
            for name, pid in pids.items():
                check(not alive(pid), '%s (pid %d) still runs after the SIGTERM' % (name, pid))
            with open(os.path.join(demo, 'Quill.dbg'), encoding='latin-1') as fh:
                check('ShutdownSystem: Programm wird beendet' in fh.read(), 'the game did not close in order')

        # 2. A start command killed outright: its game and servers run on
        # until the next start ends them.
        p = start(build, work, env, 'wait 600000\n')
        procs.append(p)
        if check(wait_until(lambda: running_pids(server) is not None and running_pids(server) != pids, MINUTES),
                 'the second start did not come up'):
            left = running_pids(server)
            os.kill(p.pid, signal.SIGKILL)
            p.wait(10)
            time.sleep(0.5)
            check(all(alive(pid) for pid in left.values()), 'a killed start took its game or servers along')
            p = start(build, work, env, 'wait 600000\n')
            procs.append(p)
            check(wait_until(lambda: not any(alive(pid) for pid in left.values()), MINUTES),
                  'the next start did not end what the killed one left: %s' %
                  ' '.join(n for n, pid in left.items() if alive(pid)))
            if check(wait_until(lambda: running_pids(server) is not None, MINUTES), 'the third start did not come up'):
                last = running_pids(server)
                os.kill(p.pid, signal.SIGTERM)
                p.wait(MINUTES)
                check(not any(alive(pid) for pid in last.values()), 'the third start left processes running')
    finally:
        for p in procs:
            if p.poll() is None:
                p.kill()
                p.wait()
        # Whatever a failed run left: by its pid files only.
        subprocess.run([os.path.join(ROOT, 'scripts', 'demo-servers.sh'), 'stop', server],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    if failures:
        print('\n'.join(failures))
        with open(os.path.join(work, 'start.txt'), errors='replace') as fh:
            print(fh.read()[-4000:])
        print('(kept for a look: %s)' % work)
        return 1
    subprocess.run(['rm', '-rf', work])
    return 0


if __name__ == '__main__':
    sys.exit(main())
