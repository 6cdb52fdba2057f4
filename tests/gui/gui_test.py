#!/usr/bin/env python3
"""Smoke test of Tandemix's window under a private X server: the progress
window appears with its labels filled and closes by itself when the run is
over; Cancel saves the window keys and ends the run with status 2; and (on
Linux) a start without a display, or without the GTK module, says so in one
line and runs without a window.

  gui_test.py --platform native --program build/native/tandemix
  gui_test.py --platform windows --program build/windows/Tandemix.exe \
      --probe build/windows/tandemix_window_probe.exe --wine scripts/wine-run

The native program is held mid-run by a named pipe as its run log: its
worker blocks while this script does not read, so the labels hold still.
Wine cannot open a pipe without stalling its server, so the Windows program
is kept busy copying large files, and its labels are read by the probe.
Every wait is for a condition.  Standard library only, plus Xvfb, xdotool
and ImageMagick's import.
"""
import argparse
import ctypes
import json
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

BIG_FILE_MB = 300
WINDOW_KEYS = ("ウィンドウ位置X", "ウィンドウ位置Y", "ウィンドウサイズX", "ウィンドウサイズY")
# The five labels the worker fills, in client pixels: id, left, top, width.
LABELS = [(1003, 105, 11, 26), (1004, 149, 11, 298), (1005, 149, 41, 298), (1001, 116, 77, 331),
          (1006, 116, 95, 331)]

failures = []


def check(condition, message):
    print(f"  {'ok' if condition else 'FAILED'}: {message}")
    if not condition:
        failures.append(message)
    return condition


def wait_for(what, predicate, timeout=60.0):
    """Polls until predicate() gives something true; returns it, or None."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            print(f"  (gave up waiting for {what})")
            return None
        time.sleep(0.05)


class XServer:
    def __init__(self):
        read_end, write_end = os.pipe()
        # -noreset: the server would start over whenever its last client
        # (often a short xdotool call) goes away.
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            preexec_fn=lambda: ctypes.CDLL(None).prctl(1, signal.SIGTERM))   # ends with a killed test
        os.close(write_end)
        # Xvfb writes the number and then a line end in a second write, and
        # dies if that one fails: read until it closes its end, never close
        # ours first.
        number = b""
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            if select.select([read_end], [], [], 1)[0]:
                chunk = os.read(read_end, 64)
                if not chunk:
                    break
                number += chunk
        os.close(read_end)
        if not number.strip():
            self.process.kill()
            sys.exit("gui_test: Xvfb did not start")
        self.env = dict(os.environ, DISPLAY=":" + number.decode().strip())

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=30)

    def xdotool(self, *args):
        result = subprocess.run(["xdotool", *map(str, args)], env=self.env, capture_output=True, text=True,
                                timeout=60)
        if result.returncode != 0 and args[0] != "search":
            print(f"  (xdotool {' '.join(map(str, args))}: status {result.returncode} {result.stderr.strip()})")
        return result.stdout

    def find(self, name):
        out = self.xdotool("search", "--onlyvisible", "--name", f"^{name}$")
        return int(out.split()[0]) if out.split() else None

    def geometry(self, window):
        """(x, y, width, height) of an X window."""
        out = self.xdotool("getwindowgeometry", "--shell", window)
        values = dict(line.split("=", 1) for line in out.split() if "=" in line)
        return tuple(int(values.get(k, 0)) for k in ("X", "Y", "WIDTH", "HEIGHT"))

    def click(self, x, y):
        self.xdotool("mousemove", "--sync", x, y)
        self.xdotool("click", 1)

    def screenshot(self, window, path):
        path.parent.mkdir(parents=True, exist_ok=True)
        subprocess.run(["import", "-window", str(window), str(path)], env=self.env, check=True, timeout=20)

    def screen(self):
        """The screen's pixels, RGB, 1024 to a row."""
        return subprocess.run(["import", "-window", "root", "-depth", "8", "rgb:-"], env=self.env,
                              capture_output=True, timeout=60).stdout


def dark_share(screen, x, y, width, height):
    """Share of clearly dark pixels in a rectangle of the screen."""
    pixels = [screen[((y + row) * 1024 + x + col) * 3:][:3] for row in range(height) for col in range(width)]
    return sum(1 for p in pixels if len(p) == 3 and sum(p) < 3 * 96) / (width * height)


class NativeProgram:
    encoding, newline, paced_by_pipe = "utf-8", "\n", True

    def __init__(self, args, x):
        self.program = Path(args.program).resolve()
        self.x = x
        # GTK keeps some allocations until the process ends.
        self.env = dict(x.env, NO_AT_BRIDGE="1", GDK_BACKEND="x11", ASAN_OPTIONS="detect_leaks=0")

    def path(self, p):
        return str(p)

    def start(self, folder):
        return subprocess.Popen([str(self.program)], cwd=folder, env=self.env, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT)

    def labels_filled(self, window):
        # Sunken labels are light inside; text puts some dark pixels in.
        ox, oy, _, _ = self.x.geometry(window)
        screen = self.x.screen()
        shares = [dark_share(screen, ox + left + 3, oy + top + 3, width - 6, 11) for _, left, top, width in LABELS]
        return all(0 < share < 0.5 for share in shares)

    def window_rect(self, window):
        # No window manager: the X window is the whole window, never
        # narrower than 459 and always 149 high.
        geometry = wait_for("the window's geometry",
                            lambda: (lambda g: g if g[2] >= 459 and g[3] == 149 else None)(self.x.geometry(window)))
        x, y, w, h = geometry or (0, 0, 0, 0)
        return (x, y, x + w, y + h)

    def cancel_button_centre(self, window):
        x, y, right, _ = self.window_rect(window)
        return right - 100 + 44, y + 117 + 10

    def stop_everything(self):
        pass


class WindowsProgram:
    encoding, newline, paced_by_pipe = "cp932", "\r\n", False

    def __init__(self, args, x):
        self.program = Path(args.program).resolve()
        self.probe_exe = Path(args.probe).resolve()
        self.wine = Path(args.wine).resolve()
        self.prefix = self.program.parent / "wineprefix-gui"
        self.env = dict(x.env, TANDEMIX_WINEPREFIX=str(self.prefix))
        marker = self.prefix / "tandemix-gui-ready"
        if not marker.exists():
            # No window manager runs: Wine draws the frames itself, and uses
            # the IPA font where the templates ask for the Japanese UI font.
            for key, name, value in [(r"HKCU\Software\Wine\X11 Driver", "Managed", "N"),
                                     (r"HKCU\Software\Wine\X11 Driver", "Decorated", "N"),
                                     (r"HKCU\Software\Wine\Fonts\Replacements", "ＭＳ Ｐゴシック", "IPAPGothic")]:
                subprocess.run([str(self.wine), "reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", value, "/f"],
                               env=self.env, capture_output=True, timeout=300, check=True)
            subprocess.run(["wineserver", "-w"], env=dict(self.env, WINEPREFIX=str(self.prefix)), timeout=120)
            marker.write_text("")

    def path(self, p):
        return "Z:" + str(p).replace("/", "\\")

    def start(self, folder):
        # The probe runs first and watches for the labels (see WindowProbe.cpp).
        self.seen = None
        self.prober = subprocess.Popen([str(self.wine), str(self.probe_exe)], env=self.env, stdout=subprocess.PIPE,
                                       stderr=subprocess.DEVNULL)
        line = self.prober.stdout.readline()
        if not line.startswith(b"ready"):
            print(f"  (the probe did not start: {line!r})")
        return subprocess.Popen([str(self.wine), str(self.program)], cwd=folder, env=self.env,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT)

    def labels_filled(self, window):
        """The window and its controls once the probe saw every label filled."""
        if self.seen is None and self.prober.poll() is not None:
            lines = [json.loads(line) for line in self.prober.stdout.read().decode("utf-8", "replace").splitlines()
                     if line.startswith("{")]
            self.seen = (lines[0], {c["control"]: c for c in lines[1:]}) if lines else (None, {})
        return self.seen is not None and self.seen[0] is not None

    def window_rect(self, window):
        return tuple(self.seen[0]["rect"]) if self.labels_filled(window) else None

    def cancel_button_centre(self, window):
        if not self.labels_filled(window):
            return 0, 0
        info, controls = self.seen
        l, t, r, b = controls[3]["rect"]
        return info["origin"][0] + (l + r) // 2, info["origin"][1] + (t + b) // 2

    def stop_everything(self):
        subprocess.run(["wineserver", "-k"], env=dict(self.env, WINEPREFIX=str(self.prefix)), timeout=60)


class Run:
    """One start of the program in a folder of its own: a source to copy, and
    a run log that paces a native run."""

    def __init__(self, program, area, name):
        self.program = program
        self.folder = area / name
        self.source = self.folder / "データ"
        self.dest = self.folder / "バックアップ先"
        self.source.mkdir(parents=True)
        if program.paced_by_pipe:
            for i in range(1500):
                (self.source / f"ファイル{i:04d}.txt").write_bytes(f"{i}\n".encode() * 64)
        else:
            big = area / "big.bin"
            if not big.exists():
                block = os.urandom(1 << 20)
                with open(big, "wb") as f:
                    for _ in range(BIG_FILE_MB):
                        f.write(block)
            for i in range(3):
                os.link(big, self.source / f"大きなファイル{i:02d}.bin")
        self.log_path = self.folder / "run.log"
        self.reader = None

    def start(self, x, ini_extra=""):
        if self.program.paced_by_pipe:
            os.mkfifo(self.log_path)
        p = self.program.path
        text = (f"[全般]\nバックアップセット数=1\n画面表示レベル=2\nログファイル名={p(self.log_path)}\n{ini_extra}"
                f"[バックアップセット1]\nバックアップ元={p(self.source)}\nバックアップ先={p(self.dest)}\n")
        (self.folder / "Tandemix.ini").write_bytes(text.replace("\n", self.program.newline)
                                                   .encode(self.program.encoding))
        self.process = self.program.start(self.folder)
        window = wait_for("the progress window", lambda: x.find("Tandemix"))
        if self.program.paced_by_pipe:
            # The worker waited for a reader; it now fills the pipe and stops.
            self.pipe = os.open(self.log_path, os.O_RDONLY | os.O_NONBLOCK)
        return window

    def let_go(self):
        """Native: reads the log to its end, so the worker runs on."""
        if self.program.paced_by_pipe and self.reader is None:
            def read_all():
                os.set_blocking(self.pipe, True)
                while os.read(self.pipe, 65536):
                    pass
                os.close(self.pipe)
            self.reader = threading.Thread(target=read_all)
            self.reader.start()

    def finish(self):
        self.let_go()
        try:
            self.process.wait(timeout=300)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        if self.reader is not None:
            self.reader.join(timeout=60)
        output = self.process.stdout.read().decode("utf-8", "replace").strip()
        if output:
            print("  program output: " + output.replace("\n", "\n    "))
        return self.process.returncode

    def copied(self):
        return {p.name: p.stat().st_size for p in (self.dest / self.source.name).glob("*")}

    def expected(self):
        return {p.name: p.stat().st_size for p in self.source.iterdir()}

    def window_keys(self):
        text = (self.folder / "Tandemix.ini").read_bytes().decode(self.program.encoding)
        keys = dict(line.split("=", 1) for line in text.splitlines() if "=" in line)
        return tuple(int(keys.get(k, "0")) for k in WINDOW_KEYS)


def scenario_run_to_the_end(program, x, area, screenshot):
    print("The window shows the run's labels and closes by itself at its end")
    run = Run(program, area, "run")
    window = run.start(x)
    if check(window is not None, "the progress window appears"):
        check(wait_for("the labels to be filled", lambda: program.labels_filled(window), timeout=150),
              "the set number, source, destination, checked and copied file are shown")
        if screenshot and x.find("Tandemix") == window:
            try:
                x.screenshot(window, screenshot)
            except subprocess.SubprocessError:   # the Windows run is not held: it may just have ended
                print("  (no screenshot: the window went away)")
        run.let_go()
        check(wait_for("the window to close", lambda: x.find("Tandemix") is None, timeout=300),
              "the window closes by itself")
    status = run.finish()
    check(status == 0, f"the run ends with exit status 0 ({status})")
    check(run.copied() == run.expected(), "every file was copied in full")


def scenario_cancel(program, x, area):
    print("Cancel saves the window's rectangle and ends the run with status 2")
    run = Run(program, area, "cancel")
    window = run.start(x)
    if check(window is not None, "the progress window appears"):
        # Mid-run: the labels are filled once the worker is under way.
        wait_for("the run to be under way", lambda: program.labels_filled(window), timeout=150)
        rect = program.window_rect(window)
        x.click(*program.cancel_button_centre(window))
        run.let_go()
        check(wait_for("the window to close", lambda: x.find("Tandemix") is None, timeout=300),
              "the window closes after Cancel")
        status = run.finish()
        check(status == 2, f"a cancelled run ends with exit status 2 ({status})")
        check(run.window_keys() == rect, f"the window's rectangle is saved ({run.window_keys()}, window {rect})")
        expected = run.expected()
        check(all(expected.get(name) == size for name, size in run.copied().items()),
              "every file at the destination is complete")
    else:
        run.finish()


def scenario_no_window(program, area):
    print("Without a display or without the GTK module the run says so in one line and goes on")
    alone = area / "alone"
    alone.mkdir()
    shutil.copy2(program.program, alone / program.program.name)
    environment = {k: v for k, v in program.env.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    for case, executable, env in [("no display", program.program, environment),
                                  ("no module", alone / program.program.name, program.env)]:
        folder = area / case.replace(" ", "-")
        source = folder / "データ"
        source.mkdir(parents=True)
        (source / "a.txt").write_bytes(b"a\n")
        (folder / "Tandemix.ini").write_text(f"[全般]\nバックアップセット数=1\n画面表示レベル=2\n[バックアップセット1]\n"
                                             f"バックアップ元={source}\nバックアップ先={folder / 'dest'}\n")
        result = subprocess.run([str(executable)], cwd=folder, env=env, capture_output=True, timeout=120)
        lines = result.stderr.decode("utf-8", "replace").splitlines()
        check(len(lines) == 1 and "ディスプレイ" in lines[0], f"{case}: one line on standard error ({lines})")
        check(result.returncode == 0 and (folder / "dest/データ/a.txt").exists(),
              f"{case}: the run copies without a window (status {result.returncode})")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--platform", choices=["native", "windows"], required=True)
    parser.add_argument("--program", required=True)
    parser.add_argument("--probe")
    parser.add_argument("--wine")
    parser.add_argument("--screenshot")
    args = parser.parse_args()
    for tool in ["Xvfb", "xdotool", "import"]:
        if shutil.which(tool) is None:
            sys.exit(f"gui_test: {tool} is missing")

    x = XServer()
    area = Path(tempfile.mkdtemp(prefix="tandemix-gui-"))
    program = None
    try:
        program = NativeProgram(args, x) if args.platform == "native" else WindowsProgram(args, x)
        for scenario, scenario_args in [(scenario_run_to_the_end, (x, area, args.screenshot and Path(args.screenshot))),
                                        (scenario_cancel, (x, area))]:
            try:
                scenario(program, *scenario_args)
            except Exception as error:   # a scenario that breaks is a failure, not the end
                check(False, f"{scenario.__name__} ran to its end ({error!r})")
        if args.platform == "native":
            scenario_no_window(program, area)
    finally:
        if program is not None:
            program.stop_everything()
        x.stop()
        shutil.rmtree(area, ignore_errors=True)

    print(f"gui_test {args.platform}: {'FAILED' if failures else 'passed'}, {len(failures)} failed check(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
