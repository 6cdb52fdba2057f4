#!/usr/bin/env python3
"""Smoke test of Tandemix's window under a private X server (Xvfb, xdotool,
ImageMagick's import); each scenario prints what it checks.  Both programs
are kept busy copying large files (a run log is never a named pipe, which
could hold a run for good), or the native one is held mid-copy by a
preloaded library (HoldCopy.cpp) under a window manager (openbox); a probe
beside the Windows program reads its labels.
"""
import argparse
import ctypes
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import zipfile
from pathlib import Path

WINDOW_KEYS = ("ウィンドウ位置X", "ウィンドウ位置Y", "ウィンドウサイズX", "ウィンドウサイズY")
# The native window's five labels in client pixels: left, top, width.
LABELS = [(105, 11, 26), (149, 11, 298), (149, 41, 298), (116, 77, 331), (116, 95, 331)]
failures = []


def check(ok, message):
    print(f"  {'ok' if ok else 'FAILED'}: {message}")
    if not ok:
        failures.append(message)
    return ok


def wait_for(predicate, timeout=150):
    """Polls until predicate() gives something true; returns it, or the last false value."""
    deadline = time.monotonic() + timeout
    while not (value := predicate()) and time.monotonic() < deadline:
        time.sleep(0.05)
    return value


def start_xvfb():
    """A private X server, and the environment that reaches it."""
    read_end, write_end = os.pipe()
    # -noreset: the server would start over whenever its last client (often a
    # short xdotool call) goes away.  The death signal ends it with the test.
    xvfb = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"],
        pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
        preexec_fn=lambda: ctypes.CDLL(None).prctl(1, signal.SIGTERM))
    os.close(write_end)
    # Xvfb writes the number and then a line end in a second write, and dies
    # if that one fails: read until it closes its end, never close ours first.
    with os.fdopen(read_end, "rb") as pipe:
        number = pipe.read()
    if not number.strip():
        sys.exit("gui_test: Xvfb did not start")
    return xvfb, dict(os.environ, DISPLAY=":" + number.decode().strip())


def xdotool(env, *args):
    return subprocess.run(["xdotool", *map(str, args)], env=env, capture_output=True, text=True, timeout=60).stdout


def find_window(env):
    found = xdotool(env, "search", "--onlyvisible", "--name", "^Tandemix$").split()
    return int(found[0]) if found else None


def xprop(env, window, name):
    return subprocess.run(["xprop", *(["-root"] if window is None else ["-id", str(window)]), name], env=env,
                          capture_output=True, text=True, timeout=60).stdout


def find_copy_window(env):
    """The native copy window, told by its role (xdotool cannot match its Japanese title)."""
    found = xdotool(env, "search", "--onlyvisible", "--classname", ".").split()
    return next((int(w) for w in found if '"tandemix-copy"' in xprop(env, w, "WM_WINDOW_ROLE")), None)


def window_rect(env, window):
    """The window's client rectangle and its rectangle with the window manager's frame; None until it is framed."""
    info, extents = subprocess.run(["xwininfo", "-id", str(window)], env=env, capture_output=True, text=True,
                                   timeout=60).stdout, xprop(env, window, "_NET_FRAME_EXTENTS")
    keys = ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height")
    values = [re.search(rf"{key}:\s+(-?\d+)", info) for key in keys]
    if "=" not in extents or not all(values):
        return None
    (x, y, w, h), (left, right, top, bottom) = (int(v[1]) for v in values), map(int, extents.split("=")[1].split(","))
    return (x, y, x + w, y + h), (x - left, y - top, x + w + right, y + h + bottom)


def dark_share(screen, x, y, width, height):
    """Share of clearly dark pixels in a rectangle of the 1024-pixel-wide RGB screen."""
    starts = [((y + row) * 1024 + x + col) * 3 for row in range(height) for col in range(width)]
    return sum(sum(screen[i:i + 3]) < 3 * 96 for i in starts) / len(starts)


class Native:
    encoding, newline = "utf-8", "\n"

    def __init__(self, args, env):
        self.program = Path(args.program).resolve()
        # GTK keeps some allocations until the process ends.
        self.env = dict(env, NO_AT_BRIDGE="1", GDK_BACKEND="x11", ASAN_OPTIONS="detect_leaks=0")

    path = staticmethod(str)

    def fill(self, source, area):
        fill_large(source, area)

    def start(self, folder):
        return subprocess.Popen([str(self.program)], cwd=folder, env=self.env, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT)

    def labels(self, window):
        """Once the labels show text: the window's rectangle and its Cancel button's centre."""
        def filled():
            shell = xdotool(self.env, "getwindowgeometry", "--shell", window).split()
            values = dict(line.split("=", 1) for line in shell if "=" in line)
            x, y, w, h = (int(values.get(k, 0)) for k in ("X", "Y", "WIDTH", "HEIGHT"))
            # No window manager: the X window is the whole window, never
            # narrower than 459 and always 149 high, once it has its size.
            if w < 459 or h != 149:
                return None
            screen = subprocess.run(["import", "-window", "root", "-depth", "8", "rgb:-"], env=self.env,
                                    capture_output=True, timeout=60).stdout
            # Sunken labels are light inside; text puts some dark pixels in.
            if all(0 < dark_share(screen, x + left + 3, y + top + 3, width - 6, 11) < 0.5
                   for left, top, width in LABELS):
                return (x, y, x + w, y + h), (x + w - 56, y + 127)
        return wait_for(filled)

    def let_go(self):
        pass

    def stop(self):
        pass


class Windows:
    encoding, newline = "cp932", "\r\n"

    def __init__(self, args, env):
        self.program, self.probe_exe, self.wine = (Path(a).resolve() for a in (args.program, args.probe, args.wine))
        prefix = self.program.parent / "wineprefix-gui"
        self.env, self.server_env = dict(env, TANDEMIX_WINEPREFIX=str(prefix)), dict(env, WINEPREFIX=str(prefix))
        if not (prefix / "tandemix-gui-ready").exists():
            # No window manager runs: Wine draws the frames itself, and uses
            # the IPA font where the templates ask for the Japanese UI font.
            for key, name, value in [(r"HKCU\Software\Wine\X11 Driver", "Managed", "N"),
                                     (r"HKCU\Software\Wine\X11 Driver", "Decorated", "N"),
                                     (r"HKCU\Software\Wine\Fonts\Replacements", "ＭＳ Ｐゴシック", "IPAPGothic")]:
                subprocess.run([str(self.wine), "reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", value, "/f"],
                               env=self.env, capture_output=True, timeout=300, check=True)
            subprocess.run(["wineserver", "-w"], env=self.server_env, timeout=120)
            (prefix / "tandemix-gui-ready").write_text("")

    def path(self, p):
        return "Z:" + str(p).replace("/", "\\")

    def fill(self, source, area):
        fill_large(source, area)

    def start(self, folder, program=None):
        # The probe watches from before the program starts (see WindowProbe.cpp).
        self.probe = subprocess.Popen([str(self.wine), str(self.probe_exe)], env=self.env, stdout=subprocess.PIPE,
                                      stderr=subprocess.DEVNULL)
        check(self.probe.stdout.readline().startswith(b"ready"), "the probe starts")
        return subprocess.Popen([str(self.wine), str(program or self.program)], cwd=folder, env=self.env,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT)

    def labels(self, window):
        numbers = [int(n) for n in self.probe.communicate()[0].split()]
        return (tuple(numbers[:4]), numbers[4:]) if len(numbers) == 6 else None

    def let_go(self):
        pass

    def stop(self):
        subprocess.run(["wineserver", "-k"], env=self.server_env, timeout=60)


def fill_large(source, area):
    """Three links to one file of 300 MB: a run that lasts while the test looks."""
    big = area / "big.bin"
    if not big.exists():
        big.write_bytes(os.urandom(1 << 20) * 300)
    for i in range(3):
        os.link(big, source / f"大きなファイル{i:02d}.bin")


def make_folder(program, folder, fill, level=2):
    """A source filled by fill(source), and settings that back it up and log to run.log; returns the source."""
    source = folder / "データ"
    source.mkdir(parents=True)
    fill(source)
    p = program.path
    text = (f"[全般]\nバックアップセット数=1\n画面表示レベル={level}\nログファイル名={p(folder / 'run.log')}\n"
            f"[バックアップセット1]\nバックアップ元={p(source)}\nバックアップ先={p(folder / 'バックアップ先')}\n")
    (folder / "Tandemix.ini").write_bytes(text.replace("\n", program.newline).encode(program.encoding))
    return source


def window_keys(program, folder):
    text = (folder / "Tandemix.ini").read_bytes().decode(program.encoding, "replace")
    keys = dict(line.split("=", 1) for line in text.splitlines() if "=" in line)
    return tuple(keys.get(k) for k in WINDOW_KEYS)


def finish(process):
    try:
        output = process.communicate(timeout=300)[0]
    except subprocess.TimeoutExpired:
        process.kill()
        output = process.communicate()[0]
    if output.strip():
        print("  program output: " + output.decode("utf-8", "replace").strip().replace("\n", "\n    "))
    return process.returncode


def scenario_window(program, env, area, cancel, screenshot):
    print("Cancel saves the window keys and ends the run with status 2" if cancel
          else "The window shows the run's labels and closes by itself at its end")
    folder = area / ("cancel" if cancel else "run")
    source = make_folder(program, folder, lambda s: program.fill(s, area))
    process = program.start(folder)
    try:
        window = wait_for(lambda: find_window(env))
        shown = check(window is not None, "the progress window appears") and program.labels(window)
        check(shown, "the set number, source, destination, checked and copied file are shown")
        if shown and screenshot:
            screenshot.parent.mkdir(parents=True, exist_ok=True)
            # A failure is no fault: the Windows run is not held and may just have ended.
            subprocess.run(["import", "-window", str(window), str(screenshot)], env=env, timeout=60)
        if shown and cancel:
            rect, button = shown
            xdotool(env, "mousemove", "--sync", *button, "click", 1)
            # The keys are saved as the click is handled: only then is the held
            # run let go, or a busy machine could let it finish first.
            check(wait_for(lambda: window_keys(program, folder) == tuple(map(str, rect))),
                  f"the window keys hold the window's rectangle {rect}")
    finally:
        program.let_go()
    check(wait_for(lambda: find_window(env) is None, 300), "the window closes by itself")
    status = finish(process)
    check(status == (2 if cancel else 0), f"the run ends with exit status {2 if cancel else 0} ({status})")
    copied = {p.name: p.stat().st_size for p in (folder / "バックアップ先" / source.name).glob("*")}
    expected = {p.name: p.stat().st_size for p in source.iterdir()}
    check(copied.items() <= expected.items() and (cancel or copied == expected),
          "every file at the destination is complete" + ("" if cancel else ", and all were copied"))


def scenario_no_window(program, area):
    print("Without a display or without the GTK module the run says so in one line and goes on")
    alone = area / "alone" / program.program.name
    alone.parent.mkdir()
    shutil.copy2(program.program, alone)
    no_display = {k: v for k, v in program.env.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    for case, executable, env in [("no display", program.program, no_display), ("no module", alone, program.env)]:
        folder = area / case.replace(" ", "-")
        make_folder(program, folder, lambda s: (s / "a.txt").write_bytes(b"a\n"))
        result = subprocess.run([str(executable)], cwd=folder, env=env, capture_output=True, timeout=120)
        lines = result.stderr.decode("utf-8", "replace").splitlines()
        check(len(lines) == 1 and "ディスプレイ" in lines[0], f"{case}: one line on standard error ({lines})")
        check(result.returncode == 0 and (folder / "バックアップ先/データ/a.txt").exists(),
              f"{case}: the run copies without a window (status {result.returncode})")


def scenario_window_manager(program, env, area, hold_copy):
    print("Under a window manager the copy window opens beside the progress window, and Cancel saves the rectangle"
          " that the next run's window opens at")
    wm = subprocess.Popen(["openbox", "--sm-disable"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                          preexec_fn=lambda: ctypes.CDLL(None).prctl(1, signal.SIGTERM))
    folder, saved = area / "managed", None
    make_folder(program, folder, lambda s: (s / "held.bin").write_bytes(os.urandom(3 << 16)), level=3)
    run_env = dict(program.env, LD_PRELOAD=str(Path(hold_copy).resolve()), TANDEMIX_TEST_RELEASE=str(folder / "go"),
                   ASAN_OPTIONS="detect_leaks=0:verify_asan_link_order=0")
    try:
        check(wait_for(lambda: "window id" in xprop(env, None, "_NET_SUPPORTING_WM_CHECK")), "openbox runs")
        # The second run opens where the first was cancelled, and is moved and cancelled there.
        for run in (1, 2):
            (folder / "go").unlink(missing_ok=True)
            shutil.rmtree(folder / "バックアップ先", ignore_errors=True)
            process = subprocess.Popen([str(program.program)], cwd=folder, env=run_env, stdout=subprocess.PIPE,
                                       stderr=subprocess.STDOUT)
            try:
                both = wait_for(lambda: all(w := (find_window(env), find_copy_window(env))) and
                                all(map(lambda x: window_rect(env, x), w)) and w)
                if not check(both, f"run {run}: the progress window and the copy window appear"):
                    continue
                frame = lambda: (window_rect(env, both[0]) or (None, None))[1]
                if saved:
                    check(wait_for(lambda: frame() == saved, 30),
                          f"run {run}: the window opens at the saved rectangle {saved} ({frame()})")
                (client, rect), copy = window_rect(env, both[0]), window_rect(env, both[1])[1]
                apart = copy[0] >= rect[2] or copy[2] <= rect[0] or copy[1] >= rect[3] or copy[3] <= rect[1]
                check(apart and min(copy) >= 0 and copy[2] <= 1024 and copy[3] <= 768,
                      f"run {run}: the copy window {copy} is on the screen, beside the progress window {rect}")
                if saved:   # so that the rectangle saved differs from the one it opened at
                    xdotool(env, "windowmove", "--sync", both[0], client[0] - 40, client[1] - 30)
                    wait_for(lambda: frame() not in (None, rect), 30)
                    client, rect = window_rect(env, both[0])
                xdotool(env, "mousemove", "--sync", client[2] - 56, client[1] + 127, "click", 1)
                # Saved as the click is handled: only then is the held copy let go.
                check(wait_for(lambda: window_keys(program, folder) == tuple(map(str, rect)), 60),
                      f"run {run}: Cancel saves the window's rectangle {rect} ({window_keys(program, folder)})")
                saved = rect
            finally:
                (folder / "go").touch()
                status = finish(process)
            check(status == 2, f"run {run}: the run ends with exit status 2 ({status})")
    finally:
        wm.terminate()
        wm.wait(timeout=30)


def scenario_zip(program, area):
    print("The Windows zip's example, started in its own folder as a double-click starts it, shows the progress"
          " window and makes its backup there")
    folder = area / "zip"
    subprocess.run([str(Path(__file__).resolve().parents[2] / "scripts/package"), "--zip-only", "--exe",
                    str(program.program), "--out", str(area)], check=True, capture_output=True, timeout=600)
    with zipfile.ZipFile(next(area.glob("Tandemix-*-win64.zip"))) as z:
        z.extractall(folder)
    process = program.start(folder, folder / "Tandemix.exe")
    try:
        check(program.labels(None), "the progress window shows the run's labels")
    finally:
        status = finish(process)
    check(status == 0, f"the run ends with exit status 0 ({status})")
    source, backup = folder / "source", folder / "backup"
    expected = {"documents/notes.txt", "documents/report.txt", "documents/photos/trip.txt", "single/settings.conf"}
    copied = {str(p.relative_to(backup)) for p in backup.rglob("*") if p.is_file()}
    check(copied == expected and all((backup / name).read_bytes() == (source / name.replace("single/", "")).read_bytes()
                                     for name in expected) and (folder / "backup.log").exists(),
          f"the backup and its log are beside the program, without the excluded files ({sorted(copied)})")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--platform", choices=["native", "windows"], required=True)
    for option in ("--program", "--probe", "--wine", "--screenshot", "--hold-copy"):
        parser.add_argument(option)
    args = parser.parse_args()
    xvfb, env = start_xvfb()
    program = (Native if args.platform == "native" else Windows)(args, env)
    # The native area is on tmpfs, which cannot clone a file: the copy holder sees the copy's data.
    area = Path(tempfile.mkdtemp(prefix="tandemix-gui-", dir="/dev/shm" if args.platform == "native" else None))
    try:
        shot = args.screenshot and Path(args.screenshot)
        scenarios = [lambda: scenario_window(program, env, area, False, shot),
                     lambda: scenario_window(program, env, area, True, None)]
        if args.platform == "windows":
            scenarios.append(lambda: scenario_zip(program, area))
        else:
            scenarios += [lambda: scenario_no_window(program, area),
                          lambda: scenario_window_manager(program, env, area, args.hold_copy)]
        for scenario in scenarios:
            try:
                scenario()
            except Exception as error:   # a scenario that breaks is a failure, not the end
                check(False, f"the scenario ran to its end ({error!r})")
    finally:
        program.stop()
        xvfb.terminate()
        xvfb.wait(timeout=30)
        shutil.rmtree(area, ignore_errors=True)
    print(f"gui_test {args.platform}: {'FAILED' if failures else 'passed'}, {len(failures)} failed check(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
