#!/usr/bin/env python3
"""The processor an idle screen takes: the whole program under a virtual X
server, started at a screen in a display mode, left alone; after a settling
time its CPU time (user + system, all threads) is measured over a window and
printed as a ratio to one core.

    scripts/idle_cpu_bench.py BUILD_DIR [--screens 2,3,39,152] [--modes 0,8,2,10]
                              [--settle 10] [--measure 10] [--folder DIR]
                              [--repeat N] [--priority] [--pngs DIR] [--desktop 1280x1024]
                              [--quill PROGRAM]

BUILD_DIR holds quill, datakit/ and the turn builder (target quill_demo).
Modes are rows of the screen-mode table: 0 640x480x8, 4 800x600x32, 8
1024x768x32 (2D windows), 2, 6 and 10 the same in OpenGL, one more each for
full screen (5 and 9: 2D full screen, 7 and 11 OpenGL, scaled to the virtual
desktop of --desktop). The demo realm is installed in a temporary folder (or
--folder, kept). The pointer first moves three seconds after the start, to
the middle of the game area; the map does not scroll before a move, so the
map's view stays at the capital, where it opens. Each run ends with the
window's close; for the OpenGL modes the frames of the whole run follow from
the program's log: frames drawn, frames with the landscape and their rate
from the first to the last.

--repeat runs each row N times (the figures of a shared machine vary);
--priority runs the program and its X server in a session of their own at a
scheduling priority above the machine's other work (autogroup nice -15, as
root), so that a machine busy with other builds measures about what a quiet
one would; --pngs grabs the window at the end of each measurement, to see
what was measured; --quill (or --program) measures another build of the
program (an earlier one, to compare) on the same data. A ratio, never a
timed pass or fail: the figures go into docs/idle-cpu.md by hand.
"""
import argparse
import os
import re
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


def raise_priority(pid):
    """The process's session (its autogroup) ahead of the other sessions."""
    try:
        with open(f"/proc/{pid}/autogroup", "w") as f:
            f.write("-15")
    except OSError as e:
        print(f"no priority for {pid}: {e}", file=sys.stderr)


def start_xvfb(folder, desktop, priority=False):
    rfd, wfd = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(wfd), "-screen", "0", desktop + "x24", "-nolisten", "tcp"],
                            pass_fds=(wfd,), stderr=subprocess.DEVNULL, cwd=folder, start_new_session=priority)
    if priority:
        raise_priority(xvfb.pid)
    os.close(wfd)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(rfd, 16)
        if not chunk:
            break
        number += chunk
    os.close(rfd)
    return xvfb, ":" + number.decode().strip()


def grab(display, png):
    """The X screen as a PNG (xwd, netpbm)."""
    shot = subprocess.run(f"xwd -root -silent -display {display} | xwdtopnm 2>/dev/null | pnmtopng > '{png}'",
                          shell=True)
    return shot.returncode == 0


def frames(log):
    """Frames asked, drawn, drawn with the landscape and the milliseconds
    from the first landscape to the last, from the frame's last log line."""
    at = log.rfind("GLProcessObjektList: ")
    m = re.match(r"GLProcessObjektList: (\d+) Bilder, (\d+) gezeichnet, (\d+) mit Landschaft in (\d+) ms",
                 log[at:]) if at >= 0 else None
    return tuple(int(g) for g in m.groups()) if m else None


def measure(quill_path, folder, screen, mode, settle, window, desktop, priority=False, png=None):
    script = os.path.join(folder, "idle.txt")
    with open(script, "w") as f:
        # The pointer rests in the middle of the game area, as a player leaves it.
        f.write(f"wait 3000\nmove {320 + GAME_AREA.get(mode, (0, 0))[0]} {240 + GAME_AREA.get(mode, (0, 0))[1]}\n"
                f"wait {int((settle + window + 30) * 1000)}\nquit\n")
    log_path = os.path.join(folder, "Quill.dbg")
    log_start = os.path.getsize(log_path) if os.path.exists(log_path) else 0
    xvfb, display = start_xvfb(folder, desktop, priority)
    env = dict(os.environ, DISPLAY=display, SDL_AUDIODRIVER="dummy", QOE_SDL_SCRIPT=script, QOE_PIN_SCREEN="1",
               QOE_HEADLESS_MODE=str(mode), QOE_START_SCREEN=str(screen))
    for name in ("SDL_VIDEODRIVER", "SDL_RENDER_DRIVER", "QOE_HEADLESS_SCRIPT"):
        env.pop(name, None)
    quill = subprocess.Popen([quill_path], cwd=folder, env=env, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL, start_new_session=priority)
    if priority:
        raise_priority(quill.pid)
    try:
        time.sleep(settle)
        t0, c0 = time.monotonic(), cpu_seconds(quill.pid)
        time.sleep(window)
        t1, c1 = time.monotonic(), cpu_seconds(quill.pid)
        if png:
            grab(display, png)
        ratio = (c1 - c0) / (t1 - t0)
        # The window's close: the program logs its frames on the way out.
        quill.terminate()
        try:
            quill.wait(30)
        except subprocess.TimeoutExpired:
            pass
        with open(log_path, "rb") as f:
            f.seek(log_start)
            log = f.read().decode("latin-1")
        return ratio, frames(log)
    finally:
        if quill.poll() is None:
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
    p.add_argument("--repeat", type=int, default=1)
    p.add_argument("--priority", action="store_true")
    p.add_argument("--pngs")
    p.add_argument("--quill", "--program", dest="quill")
    p.add_argument("--desktop", default="1280x1024")
    a = p.parse_args()
    build = os.path.abspath(a.build)
    folder = a.folder or tempfile.mkdtemp(prefix="idlecpu-")
    install(build, folder)
    if a.pngs:
        os.makedirs(a.pngs, exist_ok=True)
    print(f"{'screen':<12} {'mode':<25} {'cores':>6}  frames of the whole run (OpenGL)")
    for screen in [int(s) for s in a.screens.split(",")]:
        for mode in [int(m) for m in a.modes.split(",")]:
            for run in range(a.repeat):
                png = os.path.join(a.pngs, f"idle_{screen}_{mode}_{run}.png") if a.pngs else None
                ratio, f = measure(os.path.abspath(a.quill) if a.quill else os.path.join(build, "quill"), folder, screen,
                                   mode, a.settle, a.measure, a.desktop, a.priority, png)
                line = f"{SCREEN_NAMES.get(screen, str(screen)):<12} {MODE_NAMES.get(mode, str(mode)):<25} {ratio:6.3f}"
                if f:
                    line += f"  {f[1]} drawn, {f[2]} with the landscape"
                    if f[2] > 1 and f[3] > 0:
                        line += f" ({(f[2] - 1) * 1000 / f[3]:.1f} a second)"
                print(line, flush=True)
    if not a.folder:
        shutil.rmtree(folder, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
