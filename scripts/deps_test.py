#!/usr/bin/env python3
"""scripts/deps.sh against stand-ins of dpkg-query, apt-get and sudo: the
player's set has no test servers, compilers or test libraries; the tests'
set has them, and while apt-get installs them a policy-rc.d answering 101
holds every service start, removed afterwards (or the one there before put
back), also when apt-get fails.
"""
import os
import stat
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TEST_ONLY = ['dovecot-pop3d', 'exim4-daemon-light', 'nginx', 'ngircd', 'clang', 'googletest', 'libgtest-dev',
             'libbenchmark-dev', 'python3-pyftpdlib', 'xvfb']
PLAYER = ['cmake', 'ninja-build', 'g++', 'libsdl2-dev', 'libpng-dev', 'libssl-dev', 'python3']
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
    return ok


def tool(folder, name, text):
    path = os.path.join(folder, name)
    with open(path, 'w') as fh:
        fh.write('#!/bin/sh\n' + text)
    os.chmod(path, stat.S_IRWXU | stat.S_IRGRP | stat.S_IXGRP | stat.S_IROTH | stat.S_IXOTH)


def run(work, args, apt_fails=False):
    """Runs deps.sh; returns (exit code, packages installed, what the
    policy said during the install: None when there was none)."""
    bin_dir = os.path.join(work, 'bin')
    os.makedirs(bin_dir, exist_ok=True)
    log = os.path.join(work, 'apt.log')
    policy = os.path.join(work, 'policy-rc.d')
    if os.path.exists(log):
        os.remove(log)
    tool(bin_dir, 'dpkg-query', 'exit 1\n')
    tool(bin_dir, 'sudo', 'exec "$@"\n')
    tool(bin_dir, 'apt-get', """
case "$1" in update) exit 0 ;; esac
shift
echo "packages $*" >>"%(log)s"
if [ -e "%(policy)s" ]; then
  "%(policy)s" nginx start; echo "policy $?" >>"%(log)s"
else
  echo "policy none" >>"%(log)s"
fi
exit %(rc)d
""" % {'log': log, 'policy': policy, 'rc': 1 if apt_fails else 0})
    env = dict(os.environ, PATH=bin_dir + os.pathsep + os.environ.get('PATH', ''), QOE_POLICY_RC_D=policy)
    p = subprocess.run([os.path.join(ROOT, 'scripts', 'deps.sh')] + args, env=env, capture_output=True, text=True)
    packages, said = [], None
    if os.path.exists(log):
        for line in open(log):
            w = line.split()
            if w[0] == 'packages':
                packages = [x for x in w[1:] if not x.startswith('-')]
            elif w[0] == 'policy':
                said = None if w[1] == 'none' else int(w[1])
    return p.returncode, packages, said


def main():
    work = tempfile.mkdtemp(prefix='qoe-deps-')
    policy = os.path.join(work, 'policy-rc.d')

    rc, packages, said = run(work, [])
    check(rc == 0, 'the player set failed: %d' % rc)
    for p in PLAYER:
        check(p in packages, 'the player set lacks %s' % p)
    for p in TEST_ONLY:
        check(p not in packages, 'the player set installs %s' % p)
    check(said is None, 'the player set held the services (%r)' % said)

    rc, packages, said = run(work, ['--tests'])
    check(rc == 0, 'the tests set failed: %d' % rc)
    for p in PLAYER + TEST_ONLY:
        check(p in packages, 'the tests set lacks %s' % p)
    check(said == 101, 'no policy-rc.d held the services during the install (%r)' % said)
    check(not os.path.exists(policy), 'the policy-rc.d stayed after the install')

    with open(policy, 'w') as fh:
        fh.write('#!/bin/sh\n# the machine\'s own\nexit 0\n')
    os.chmod(policy, 0o755)
    rc, packages, said = run(work, ['--tests'])
    check(said == 101, 'the hold did not replace the policy there before (%r)' % said)
    check(open(policy).read() == '#!/bin/sh\n# the machine\'s own\nexit 0\n', 'the earlier policy-rc.d was not put back')
    check(not os.path.exists(policy + '.qoe-saved'), 'the saved policy stayed')
    os.remove(policy)

    rc, packages, said = run(work, ['--tests'], apt_fails=True)
    check(rc != 0, 'a failed install counted as done')
    check(said == 101, 'no hold during the failed install (%r)' % said)
    check(not os.path.exists(policy), 'the policy-rc.d stayed after a failed install')

    if failures:
        print('\n'.join(failures))
        print('(kept for a look: %s)' % work)
        return 1
    subprocess.run(['rm', '-rf', work])
    return 0


if __name__ == '__main__':
    sys.exit(main())
