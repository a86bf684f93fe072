#!/usr/bin/env python3
"""The processor an idle screen takes: the whole program under a virtual X
server, started at a screen in a display mode, left alone; after a settling
time its CPU time (user + system, all threads) is measured over a window and
printed as a ratio to one core.

    scripts/idle_cpu_bench.py BUILD_DIR [--screens 2,3,39,152] [--modes 0,8,2,10]
                              [--settle 10] [--measure 10] [--folder DIR]
                              [--desktop 1280x1024] [--program PATH]

BUILD_DIR holds quill, datakit/ and the turn builder (target quill_demo).
Modes are rows of the screen-mode table: 0 640x480x8, 4 800x600x32, 8
1024x768x32 (2D windows), 2, 6 and 10 the same in OpenGL, one more each for
full screen (5 and 9: 2D full screen, scaled to the virtual desktop of
--desktop). --program measures another build of quill on the same data
(the program as it was, for a comparison in the same conditions). The demo
realm is installed in a temporary
folder (or --folder, kept). A ratio, never a timed pass or fail: the figures
go into docs/idle-cpu.md by hand.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

SIZES = {0: "640x480x8", 1: "800x600x32", 2: "1024x768x32"}
MODE_NAMES = {m: f"{SIZES[m // 4]} {'OpenGL' if m & 2 else '2D'}{' full' if m & 1 else ''}" for m in range(12)}
# Where the game area stands in the display of each mode (display coordinates).
GAME_AREA = {m: [(0, 0), (80, 30), (192, 114)][m // 4] for m in range(12)}
SCREEN_NAMES = {2: "main screen", 3: "map", 39: "town view", 152: "barracks"}


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    ticks = os.sysconf("SC_CLK_TCK")
    return (int(fields[11]) + int(fields[12])) / ticks  # utime, stime


def install(build, folder):
    shutil.copytree(os.path.join(build, "datakit"), folder, dirs_exist_ok=True)
    source = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    realm = os.path.join(source, "tools/turnbuilder/realms/grown.realm")
    subprocess.run([os.path.join(build, "tools/turnbuilder/turnbuilder"), "install", realm, "--dir", folder],
                   check=True, stdout=subprocess.DEVNULL)


def start_xvfb(folder, desktop):
    rfd, wfd = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(wfd), "-screen", "0", desktop + "x24", "-nolisten", "tcp"],
                            pass_fds=(wfd,), stderr=subprocess.DEVNULL, cwd=folder)
    os.close(wfd)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(rfd, 16)
        if not chunk:
            break
        number += chunk
    os.close(rfd)
    return xvfb, ":" + number.decode().strip()


def measure(program, folder, screen, mode, settle, window, desktop):
    script = os.path.join(folder, "idle.txt")
    with open(script, "w") as f:
        # The pointer rests in the middle of the game area, as a player leaves it.
        f.write(f"wait 3000\nmove {320 + GAME_AREA.get(mode, (0, 0))[0]} {240 + GAME_AREA.get(mode, (0, 0))[1]}\n"
                f"wait {int((settle + window + 30) * 1000)}\nquit\n")
    xvfb, display = start_xvfb(folder, desktop)
    env = dict(os.environ, DISPLAY=display, SDL_AUDIODRIVER="dummy", QOE_SDL_SCRIPT=script, QOE_PIN_SCREEN="1",
               QOE_HEADLESS_MODE=str(mode), QOE_START_SCREEN=str(screen))
    for name in ("SDL_VIDEODRIVER", "SDL_RENDER_DRIVER", "QOE_HEADLESS_SCRIPT"):
        env.pop(name, None)
    quill = subprocess.Popen([program], cwd=folder, env=env, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
    try:
        time.sleep(settle)
        t0, c0 = time.monotonic(), cpu_seconds(quill.pid)
        time.sleep(window)
        t1, c1 = time.monotonic(), cpu_seconds(quill.pid)
        return (c1 - c0) / (t1 - t0)
    finally:
        quill.kill()
        quill.wait()
        xvfb.kill()
        xvfb.wait()


def main():
    p = argparse.ArgumentParser()
    p.add_argument("build")
    p.add_argument("--screens", default="2,3,39,152")
    p.add_argument("--modes", default="0,8,2,10")
    p.add_argument("--settle", type=float, default=10)
    p.add_argument("--measure", type=float, default=10)
    p.add_argument("--folder")
    p.add_argument("--desktop", default="1280x1024")
    p.add_argument("--program")
    a = p.parse_args()
    build = os.path.abspath(a.build)
    folder = a.folder or tempfile.mkdtemp(prefix="idlecpu-")
    install(build, folder)
    program = os.path.abspath(a.program) if a.program else os.path.join(build, "quill")
    print(f"{'screen':<12} {'mode':<25} cores")
    for screen in [int(s) for s in a.screens.split(",")]:
        for mode in [int(m) for m in a.modes.split(",")]:
            ratio = measure(program, folder, screen, mode, a.settle, a.measure, a.desktop)
            print(f"{SCREEN_NAMES.get(screen, str(screen)):<12} {MODE_NAMES.get(mode, str(mode)):<25} {ratio:.3f}",
                  flush=True)
    if not a.folder:
        shutil.rmtree(folder, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
