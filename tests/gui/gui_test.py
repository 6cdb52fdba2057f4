#!/usr/bin/env python3
"""GUI scenarios for Tandemix: runs the real program under a private X server
and checks what a user sees and does: the progress window, its labels, its
size rules, the version box, Escape and the close box, the Cancel button and
the saved window rectangle.

  gui_test.py --platform native --program build/native/tandemix
  gui_test.py --platform windows --program build/windows/Tandemix.exe \
      --probe build/windows/tandemix_window_probe.exe --wine scripts/wine-run

The native program is slowed down by a named pipe as its run log: the worker
writes to it as the program always does, and blocks while this script does
not read, so the window can be looked at mid-run for as long as needed.  Wine
cannot open a pipe without stalling its server, so the Windows program is
kept busy by copying large files instead.

No window manager runs: on X the native window is its client area, and Wine
manages its windows and draws their frames itself (the prefix is set up so).  Standard
library only, plus Xvfb, xdotool, xprop and ImageMagick's import.
"""
import argparse
import ctypes
import json
import os
import select
import signal
import shutil
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

MIN_CLIENT_WIDTH = 459
CLIENT_HEIGHT = 149
MIN_WINDOW_WIDTH = 467
WINDOW_HEIGHT = 183
BIG_FILE_MB = 300

failures = []


def check(condition, message):
    if condition:
        print(f"  ok: {message}")
    else:
        print(f"  FAILED: {message}")
        failures.append(message)
    return condition


def wait_for(what, predicate, timeout=20.0, interval=0.05):
    """Polls until predicate() gives something true; returns it, or None."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            print(f"  (gave up waiting for {what})")
            return None
        time.sleep(interval)


# --- The X server and what drives it ---------------------------------------

class XServer:
    def __init__(self):
        # Two test runs side by side can race for the same display number;
        # a server whose display cannot be opened is replaced by a new one.
        for attempt in range(3):
            self.start()
            try:
                self.xlib = XLib(self.display)
                return
            except SystemExit:
                self.process.kill()
                self.process.wait(timeout=10)
                if attempt == 2:
                    raise

    def start(self):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        ready, _, _ = select.select([read_end], [], [], 30)
        number = os.read(read_end, 64).decode().strip() if ready else ""
        os.close(read_end)
        if not number:
            self.process.kill()
            sys.exit("gui_test: Xvfb did not start")
        self.display = ":" + number
        self.env = dict(os.environ, DISPLAY=self.display)

    def stop(self):
        self.xlib.close()
        self.process.terminate()
        self.process.wait(timeout=10)

    def xdotool(self, *args):
        result = subprocess.run(["xdotool", *map(str, args)], env=self.env, capture_output=True, text=True,
                                timeout=30)
        return result.stdout

    def windows(self):
        """Every visible window: on this display only the program's."""
        out = self.xdotool("search", "--onlyvisible", "--name", ".*")
        return [int(w) for w in out.split()]

    def name(self, window):
        return self.xdotool("getwindowname", window).rstrip("\n")

    def geometry(self, window):
        """(x, y, width, height) of an X window, or None once it is gone."""
        out = self.xdotool("getwindowgeometry", "--shell", window)
        values = dict(line.split("=", 1) for line in out.split() if "=" in line)
        if "WIDTH" not in values:
            return None
        return tuple(int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))

    def exists(self, window):
        return window in self.windows()

    def click(self, x, y, button=1):
        self.xdotool("mousemove", "--sync", x, y)
        self.xdotool("click", button)

    def drag(self, x0, y0, x1, y1):
        self.xdotool("mousemove", "--sync", x0, y0)
        self.xdotool("mousedown", 1)
        steps = 4
        for i in range(1, steps + 1):
            time.sleep(0.05)
            self.xdotool("mousemove", "--sync", x0 + (x1 - x0) * i // steps, y0 + (y1 - y0) * i // steps)
        time.sleep(0.05)
        self.xdotool("mouseup", 1)

    def key(self, window, *keys):
        self.xdotool("windowfocus", window)
        time.sleep(0.1)
        self.xdotool("key", *keys)

    def icon_sizes(self, window):
        """The sizes of the images in a window's _NET_WM_ICON."""
        out = subprocess.run(["xprop", "-id", str(window), "-notype", "32c", "_NET_WM_ICON"], env=self.env,
                             capture_output=True, text=True, timeout=30).stdout
        if "=" not in out:
            return []
        values = [int(v) for v in out.split("=", 1)[1].replace(",", " ").split()]
        sizes = []
        while len(values) >= 2:
            width, height = values[0], values[1]
            sizes.append((width, height))
            values = values[2 + width * height:]
        return sorted(sizes)

    def screen_pixels(self):
        """The whole screen as (width, height, RGB bytes)."""
        raw = subprocess.run(["import", "-window", "root", "-depth", "8", "rgb:-"], env=self.env,
                             capture_output=True, timeout=60).stdout
        return 1024, 768, raw

    def screenshot(self, window, path):
        path.parent.mkdir(parents=True, exist_ok=True)
        subprocess.run(["import", "-window", str(window), str(path)], env=self.env, check=True, timeout=60)


class XClientMessageEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class XEvent(ctypes.Union):
    _fields_ = [("xclient", XClientMessageEvent), ("pad", ctypes.c_long * 24)]


class XLib:
    """The one thing xdotool cannot do: ask a window to close, as a window
    manager does when its close box is clicked."""

    def __init__(self, display):
        self.x11 = ctypes.CDLL("libX11.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XInternAtom.restype = ctypes.c_ulong
        self.x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        self.x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                                        ctypes.c_void_p]
        self.x11.XFlush.argtypes = [ctypes.c_void_p]
        self.x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.display = None
        for _ in range(50):
            self.display = self.x11.XOpenDisplay(display.encode())
            if self.display:
                break
            time.sleep(0.1)
        if not self.display:
            sys.exit("gui_test: cannot open the X display")

    def close_box(self, window):
        message = XClientMessageEvent()
        message.type = 33   # ClientMessage
        message.window = window
        message.message_type = self.x11.XInternAtom(self.display, b"WM_PROTOCOLS", 0)
        message.format = 32
        message.data[0] = self.x11.XInternAtom(self.display, b"WM_DELETE_WINDOW", 0)
        message.data[1] = 0   # CurrentTime
        event = XEvent()
        event.xclient = message
        self.x11.XSendEvent(self.display, window, 0, 0, ctypes.byref(event))
        self.x11.XFlush(self.display)

    def close(self):
        self.x11.XCloseDisplay(self.display)


# --- The two programs -------------------------------------------------------

class Program:
    """What differs between the Linux and the Windows program."""

    def ini_text(self, folder, source, dest, log, extra=""):
        return ("[全般]\n"
                "バックアップセット数=1\n"
                "画面表示レベル=2\n"
                f"ログファイル名={self.path(log)}\n"
                f"{extra}"
                "[バックアップセット1]\n"
                f"バックアップ元={self.path(source)}\n"
                f"バックアップ先={self.path(dest)}\n")

    def write_ini(self, folder, text):
        (folder / "Tandemix.ini").write_bytes(text.replace("\n", self.newline).encode(self.encoding))

    def read_ini_keys(self, folder):
        text = (folder / "Tandemix.ini").read_bytes().decode(self.encoding)
        keys = {}
        for line in text.splitlines():
            if "=" in line:
                key, value = line.split("=", 1)
                keys.setdefault(key.strip(), value.strip())
        return keys


class NativeProgram(Program):
    encoding = "utf-8"
    newline = "\n"
    paced_by_pipe = True

    def __init__(self, args, x):
        self.program = Path(args.program).resolve()
        self.x = x

    def path(self, p):
        return str(p)

    def start(self, folder):
        env = dict(self.x.env, NO_AT_BRIDGE="1", GDK_BACKEND="x11")
        # GTK keeps some allocations until the process ends.
        env.setdefault("ASAN_OPTIONS", "detect_leaks=0")
        return subprocess.Popen([str(self.program)], cwd=folder, env=env, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT)

    def check_icon(self, window):
        check(self.x.icon_sizes(window) == [(16, 16), (32, 32)], "it carries the program icon, 32 x 32 and 16 x 16")

    def outer_rect(self, window):
        # No window manager: the X window is the whole window.
        x, y, w, h = self.x.geometry(window)
        return (x, y, x + w, y + h)

    def client_size(self, window):
        _, _, w, h = self.x.geometry(window)
        return w, h

    def client_origin(self, window):
        x, y, _, _ = self.x.geometry(window)
        return x, y

    def cancel_button_centre(self, window):
        x, y = self.client_origin(window)
        cx, _ = self.client_size(window)
        return x + cx - 100 + 44, y + 117 + 10

    def resize_client(self, window, cx, cy):
        self.x.xdotool("windowsize", window, cx, cy)

    def open_version_box(self, window):
        x, y = self.client_origin(window)
        self.x.click(x + 40, y + 130, button=3)
        time.sleep(0.3)
        self.x.xdotool("key", "a")

    def close_version_box(self, box):
        x, y, _, _ = self.x.geometry(box)
        # The OK button: 178, 7, 32 x 14 dialog units.
        self.x.click(x + 312 + 28, y + 11 + 10)

    def stop_everything(self):
        pass


class WindowsProgram(Program):
    encoding = "cp932"
    newline = "\r\n"
    paced_by_pipe = False

    def __init__(self, args, x):
        self.program = Path(args.program).resolve()
        self.probe_exe = Path(args.probe).resolve()
        self.wine = Path(args.wine).resolve()
        self.x = x
        self.prefix = self.program.parent / "wineprefix-gui"
        self.env = dict(x.env, TANDEMIX_WINEPREFIX=str(self.prefix))
        self.set_up_prefix()

    def set_up_prefix(self):
        marker = self.prefix / "tandemix-gui-ready"
        if marker.exists():
            return
        # No window manager runs, so Wine manages its windows itself and
        # draws their frames and captions, as Windows does (a managed window
        # would wait two seconds for a window manager whenever it is hidden);
        # and it uses the IPA font where the templates ask for the Japanese
        # UI font.
        for key, name, value in [
            (r"HKCU\Software\Wine\X11 Driver", "Managed", "N"),
            (r"HKCU\Software\Wine\X11 Driver", "Decorated", "N"),
            (r"HKCU\Software\Wine\Fonts\Replacements", "ＭＳ Ｐゴシック", "IPAPGothic"),
        ]:
            subprocess.run([str(self.wine), "reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", value, "/f"],
                           env=self.env, capture_output=True, timeout=300, check=True)
        subprocess.run(["wineserver", "-w"], env=dict(self.env, WINEPREFIX=str(self.prefix)), timeout=120)
        marker.write_text("")

    def path(self, p):
        return "Z:" + str(p).replace("/", "\\")

    def start(self, folder):
        return subprocess.Popen([str(self.wine), str(self.program)], cwd=folder, env=self.env,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT)

    def probe(self, *args):
        out = subprocess.run([str(self.wine), str(self.probe_exe), *args], env=self.env, capture_output=True,
                             timeout=60).stdout.decode("utf-8", "replace")
        return [json.loads(line) for line in out.splitlines() if line.startswith("{")]

    def window_info(self, which="show"):
        lines = self.probe(which)
        if not lines or "error" in lines[0]:
            return None
        return {"window": lines[0], "controls": {c["control"]: c for c in lines[1:] if c["control"] != -1},
                "statics": [c for c in lines[1:] if c["control"] == -1]}

    def check_icon(self, window):
        # Wine hands the window's icon (the 32 x 32 image) on to X.
        check((32, 32) in self.x.icon_sizes(window), "it carries the program icon")

    def outer_rect(self, window):
        info = self.window_info()
        return tuple(info["window"]["rect"]) if info else (0, 0, 0, 0)

    def client_size(self, window):
        info = self.window_info()
        return (info["window"]["client"][2], info["window"]["client"][3]) if info else (0, 0)

    def cancel_button_centre(self, window):
        info = self.window_info()
        if info is None:
            return 0, 0
        ox, oy = info["window"]["origin"]
        l, t, r, b = info["controls"][3]["rect"]
        return ox + (l + r) // 2, oy + (t + b) // 2

    def resize_client(self, window, cx, cy):
        # As a user does it: drag the right and the bottom edge of the frame.
        l, t, r, b = self.outer_rect(window)
        w, h = self.client_size(window)
        self.x.drag(r - 2, (t + b) // 2, r - 2 + cx - w, (t + b) // 2)
        l, t, r, b = self.outer_rect(window)
        self.x.drag((l + r) // 2, b - 2, (l + r) // 2, b - 2 + cy - h)

    def open_version_box(self, window):
        # Alt+Space opens the system menu; ours is its last item.
        self.x.key(window, "alt+space")
        time.sleep(0.3)
        self.x.xdotool("key", "Up", "Return")

    def close_version_box(self, box):
        info = self.window_info("owned")
        ox, oy = info["window"]["origin"]
        l, t, r, b = info["controls"][1]["rect"]
        self.x.click(ox + (l + r) // 2, oy + (t + b) // 2)

    def stop_everything(self):
        subprocess.run(["wineserver", "-k"], env=dict(self.env, WINEPREFIX=str(self.prefix)), timeout=60)


class CloseWatch:
    """Notes when a window goes away, watching from the moment it is made."""

    def __init__(self, x, window):
        self.closed_at = None
        self.thread = threading.Thread(target=self.watch, args=(x, window), daemon=True)
        self.thread.start()

    def watch(self, x, window):
        deadline = time.monotonic() + 300
        while time.monotonic() < deadline:
            if not x.exists(window):
                self.closed_at = time.monotonic()
                return
            time.sleep(0.02)

    def wait(self, timeout):
        self.thread.join(timeout)
        return self.closed_at


# --- A run of the program --------------------------------------------------

class Run:
    """One start of the program in a folder of its own, with its log."""

    def __init__(self, program, x, folder):
        self.program = program
        self.x = x
        self.folder = folder
        self.log_path = folder / "run.log"
        self.log = bytearray()
        self.log_eof = None
        self.reader = None

    def start(self, source, dest, extra_ini=""):
        if self.program.paced_by_pipe:
            os.mkfifo(self.log_path)
        self.program.write_ini(self.folder, self.program.ini_text(self.folder, source, dest, self.log_path,
                                                                  extra_ini))
        self.process = self.program.start(self.folder)
        self.window = wait_for("the progress window", self.find_window, timeout=60)
        return self.window

    def find_window(self):
        for window in self.x.windows():
            if self.x.name(window) == "Tandemix":
                return window
        return None

    def other_window(self):
        for window in self.x.windows():
            if window != self.window and self.x.name(window).endswith(" Tandemix"):
                return window
        return None

    def open_log(self):
        """Native: starts reading the log pipe (the worker waited for it)."""
        self.pipe = os.open(self.log_path, os.O_RDONLY | os.O_NONBLOCK)

    def drain_log(self):
        """Native: reads the log to its end on a thread of its own."""
        def read_all():
            os.set_blocking(self.pipe, True)
            while True:
                chunk = os.read(self.pipe, 65536)
                if not chunk:
                    break
                self.log += chunk
            self.log_eof = time.monotonic()
            os.close(self.pipe)
        self.reader = threading.Thread(target=read_all)
        self.reader.start()

    def finish(self, timeout=120):
        try:
            self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        if self.reader is not None:
            self.reader.join(timeout=30)
        output = self.process.stdout.read().decode("utf-8", "replace")
        if output.strip():
            print("  program output: " + output.strip().replace("\n", "\n    "))
        if not self.program.paced_by_pipe and self.log_path.exists():
            self.log = bytearray(self.log_path.read_bytes())
        return self.process.returncode

    def log_lines(self):
        return self.log.decode(self.program.encoding, "replace").splitlines()


def make_small_files(folder, count):
    folder.mkdir(parents=True)
    for i in range(count):
        (folder / f"ファイル{i:04d}.txt").write_bytes(f"{i}\n".encode() * 64)


def make_big_files(folder, count, store):
    """count names for one large file of real data (hard links: the data is
    written once, and each name is still copied in full)."""
    folder.mkdir(parents=True)
    big = store / "big.bin"
    if not big.exists():
        block = os.urandom(1 << 20)
        with open(big, "wb") as f:
            for _ in range(BIG_FILE_MB):
                f.write(block)
    for i in range(count):
        os.link(big, folder / f"大きなファイル{i:02d}.bin")


def copied_files(dest):
    return {p.name: p.stat().st_size for p in dest.rglob("*") if p.is_file()}


# --- Pixels of the native window --------------------------------------------

class Screen:
    def __init__(self, x):
        self.width, self.height, self.raw = x.screen_pixels()

    def pixel(self, px, py):
        i = (py * self.width + px) * 3
        return tuple(self.raw[i:i + 3])

    def dark(self, px, py):
        return sum(self.pixel(px, py)) < 3 * 96

    def light(self, px, py):
        return sum(self.pixel(px, py)) > 3 * 200


def label_has_text(screen, origin, left, top, width, height=17):
    """Text inside a sunken label (its two-pixel edge left out): some dark
    pixels on a light ground (an empty label is all ground; where the window
    is not, the screen is black)."""
    ox, oy = origin
    inside = [(ox + px, oy + py) for px in range(left + 3, left + width - 3) for py in range(top + 3, top + height - 3)]
    dark = sum(1 for p in inside if screen.dark(*p))
    light = sum(1 for p in inside if screen.light(*p))
    return dark > 0 and light > len(inside) // 2


def right_border_at(screen, origin, client_width, left, top, height=17):
    """x (client) of a label's black right border: the rightmost column of
    the client area that is dark from the label's top to its bottom."""
    ox, oy = origin
    for px in range(client_width - 1, left, -1):
        if all(screen.dark(ox + px, oy + py) for py in range(top + 2, top + height - 2)):
            return px
    return None


def button_right_edge(screen, origin, client_width, row):
    """x (client) just right of the button's border on a row: the last pixel
    clearly darker than the window's background (its soft shadow is not)."""
    ox, oy = origin
    background = sum(screen.pixel(ox + client_width - 3, oy + row))
    for px in range(client_width - 4, 0, -1):
        if background - sum(screen.pixel(ox + px, oy + row)) > 60:
            return px + 1
    return None


def make_scenario_folder(program, area, name, small_files, big_files):
    """A folder for one run: a source folder filled for this program (many
    small files where the run is paced by its log pipe, a few big ones where
    only the copy's size keeps it busy) and the destination's path."""
    folder = area / name
    folder.mkdir()
    source = folder / "データ"
    dest = folder / "バックアップ先"
    if program.paced_by_pipe:
        make_small_files(source, small_files)
    else:
        make_big_files(source, big_files, area)
    return folder, source, dest


# --- Scenarios --------------------------------------------------------------

def scenario_run_to_the_end(program, x, area, screenshot):
    print("A run shows its set, source, destination and files, and the window closes by itself")
    folder, source, dest = make_scenario_folder(program, area, "run", 1500, 3)
    run = Run(program, x, folder)
    window = run.start(source, dest)
    if not check(window is not None, "the progress window appears"):
        run.finish(10)
        return
    check(x.name(window) == "Tandemix", "its caption is Tandemix")
    program.check_icon(window)
    watch = CloseWatch(x, window)

    if program.paced_by_pipe:
        run.open_log()
        origin = program.client_origin(window)
        # The worker fills the pipe and waits: the labels then hold still.
        screen = wait_for("the labels to be filled",
                          lambda: (lambda s: s if label_has_text(s, origin, 116, 95, 331) else None)(Screen(x)))
        check(screen is not None, "the file being copied is shown")
        if screen:
            check(label_has_text(screen, origin, 105, 11, 26), "the set number is shown")
            check(label_has_text(screen, origin, 149, 11, 298), "the source is shown")
            check(label_has_text(screen, origin, 149, 41, 298), "the destination is shown")
            check(label_has_text(screen, origin, 116, 77, 331), "the file being checked is shown")
        if screenshot:
            x.screenshot(window, screenshot)
        run.drain_log()
    else:
        info = wait_for("the labels to be filled",
                        lambda: (lambda i: i if i and i["controls"][1006]["text"] else None)(program.window_info()))
        if check(info is not None, "the file being copied is shown"):
            texts = {k: c["text"] for k, c in info["controls"].items()}
            check(texts[1003] == "1", f"the set number is 1 ({texts[1003]!r})")
            check(texts[1004] == program.path(source), f"the source is shown ({texts[1004]!r})")
            check(texts[1005] == program.path(dest) + "\\", f"the destination is shown ({texts[1005]!r})")
            check(texts[1001].startswith(program.path(source) + "\\"),
                  f"the file being checked is shown ({texts[1001]!r})")
            check(texts[1006].startswith(program.path(dest) + "\\"),
                  f"the file being copied is shown ({texts[1006]!r})")
        if screenshot:
            x.screenshot(window, screenshot)

    closed_at = watch.wait(timeout=120)
    status = run.finish()
    check(closed_at is not None, "the window closes by itself when the run is over")
    closed_at = closed_at or time.monotonic()
    if program.paced_by_pipe and run.log_eof is not None:
        delay = closed_at - run.log_eof
        # The timer looks every 500 ms; the bound only catches a window that
        # does not close on its own.
        check(delay < 3.0, f"it closed {delay:.2f} s after the worker closed its log")
    else:
        ended = run.log_path.stat().st_mtime
        delay = time.time() - (time.monotonic() - closed_at) - ended
        check(delay < 3.0, f"it closed {delay:.2f} s after the worker's last log line")
    check(status == 0, f"the run ends with exit status 0 ({status})")
    expected = {p.name: p.stat().st_size for p in source.iterdir()}
    check(copied_files(dest / source.name) == expected, "every file was copied in full")


def scenario_window_rules_and_cancel(program, x, area):
    print("Escape and the close box do nothing, the size rules hold, the version box opens, Cancel saves the rectangle")
    folder, source, dest = make_scenario_folder(program, area, "cancel", 1500, 40)
    run = Run(program, x, folder)
    window = run.start(source, dest)
    if not check(window is not None, "the progress window appears"):
        run.finish(10)
        return None
    if program.paced_by_pipe:
        run.open_log()

    x.key(window, "Escape")
    x.xlib.close_box(window)
    x.key(window, "alt+F4")

    # Narrower than the minimum: back to it.  Another height: back to 149.
    if program.paced_by_pipe:
        # No window manager keeps the size hints, so X gives the window any
        # size asked for; the dialog itself must put it right.
        def client_size_if(test):
            size = program.client_size(window)
            return size if test(*size) else None

        program.resize_client(window, 300, 100)
        size = wait_for("the width to snap back",
                        lambda: client_size_if(lambda w, h: w >= MIN_CLIENT_WIDTH and h == CLIENT_HEIGHT), timeout=5)
        check(size is not None, f"narrowing snaps back to at least {MIN_CLIENT_WIDTH} x {CLIENT_HEIGHT} "
                                f"({program.client_size(window)})")
        check(x.exists(window), "Escape, the close box and Alt+F4 left the window open")
        program.resize_client(window, 520, 200)
        size = wait_for("the height to snap back",
                        lambda: client_size_if(lambda w, h: w >= 520 and h == CLIENT_HEIGHT), timeout=5)
        check(size is not None, f"another height snaps back to {CLIENT_HEIGHT} ({program.client_size(window)})")
    else:
        def outer_size_if(test):
            l, t, r, b = program.outer_rect(window)
            return (r - l, b - t) if test(r - l, b - t) else None

        program.resize_client(window, 300, 100)
        size = wait_for("the width to snap back",
                        lambda: outer_size_if(lambda w, h: (w, h) == (MIN_WINDOW_WIDTH, WINDOW_HEIGHT)), timeout=5)
        check(size is not None, f"narrowing snaps back to {MIN_WINDOW_WIDTH} x {WINDOW_HEIGHT} "
                                f"({outer_size_if(lambda w, h: True)})")
        check(x.exists(window), "Escape, the close box and Alt+F4 left the window open")
        program.resize_client(window, 520, 200)
        size = wait_for("the height to snap back",
                        lambda: outer_size_if(lambda w, h: h == WINDOW_HEIGHT and w >= 520), timeout=5)
        check(size is not None, f"another height snaps back to {WINDOW_HEIGHT} ({outer_size_if(lambda w, h: True)})")

    # At a client width of 600 the path labels and the button keep their
    # right edges 12 pixels from the client area's right edge.
    program.resize_client(window, 600, CLIENT_HEIGHT)
    wait_for("a client width of 600", lambda: program.client_size(window)[0] == 600, timeout=5)
    check(program.client_size(window)[0] == 600, f"the client area is 600 wide ({program.client_size(window)})")
    if program.paced_by_pipe:
        time.sleep(0.3)   # let GTK draw the new layout
        screen = Screen(x)
        origin = program.client_origin(window)
        for name, left, top in [("source", 149, 11), ("destination", 149, 41), ("checking", 116, 77),
                                ("copying", 116, 95)]:
            edge = right_border_at(screen, origin, 600, left, top)
            check(edge == 587, f"the {name} label ends at x = 588 ({None if edge is None else edge + 1})")
        edge = button_right_edge(screen, origin, 600, 117 + 10)
        check(edge is not None and abs(edge - 588) <= 1, f"the Cancel button ends at x = 588 ({edge})")
    else:
        info = program.window_info()
        for control, width in [(1004, 439), (1005, 439), (1001, 472), (1006, 472)]:
            l, t, r, b = info["controls"][control]["rect"]
            check((r - l, b - t) == (width, 17), f"label {control} is {width} x 17 ({r - l} x {b - t})")
        l, t, r, b = info["controls"][3]["rect"]
        check((l, t) == (500, 117), f"the Cancel button is at 500, 117 ({l}, {t})")

    # The version box, from the system menu or the right-click menu.
    program.open_version_box(window)
    box = wait_for("the version box", run.other_window, timeout=10)
    if check(box is not None, "the version box opens"):
        check(x.name(box) == "ﾊﾞｰｼﾞｮﾝ情報 Tandemix", f"its caption is the version caption ({x.name(box)!r})")
        if not program.paced_by_pipe:
            info = program.window_info("owned")
            texts = [c["text"] for c in info["statics"]]
            check("Tandemix Version 1.6" in texts, "it shows the version line")
            check(info["controls"][1]["text"] == "OK", "it has the OK button")
            check(any((c["style"] & 0x1F) == 3 for c in info["statics"]), "it shows the icon")
            check(not program.window_info()["window"]["enabled"], "the progress window is disabled meanwhile")
        program.close_version_box(box)
        check(wait_for("the version box to close", lambda: not x.exists(box), timeout=10),
              "OK closes the version box")

    # Cancel: the rectangle is saved, the file in hand is finished, and
    # nothing after it is copied.
    rect = program.outer_rect(window)
    bx, by = program.cancel_button_centre(window)
    x.click(bx, by)
    if program.paced_by_pipe:
        run.drain_log()
    gone = wait_for("the window to close after Cancel", lambda: not x.exists(window), timeout=120)
    status = run.finish()
    check(gone, "the window closes after Cancel")
    check(status == 2, f"a cancelled run ends with exit status 2 ({status})")
    keys = program.read_ini_keys(folder)
    saved = tuple(int(keys.get(k, "0")) for k in ("ウィンドウ位置X", "ウィンドウ位置Y", "ウィンドウサイズX", "ウィンドウサイズY"))
    check(saved == rect, f"the window's outer rectangle is saved ({saved}, window was {rect})")

    sources = {p.name: p.stat().st_size for p in source.iterdir()}
    copied = copied_files(dest / source.name)
    announced = [line for line in run.log_lines() if "コピーします" in line]
    check(0 < len(copied) < len(sources), f"the run stopped part way ({len(copied)} of {len(sources)} files)")
    check(all(sources.get(name) == size for name, size in copied.items()),
          "every file at the destination is complete")
    check(len(copied) == len(announced), f"the file in hand was finished and no other started "
                                         f"({len(copied)} copied, {len(announced)} announced)")
    return rect


def scenario_saved_rectangle(program, x, area, rect):
    print("The next start opens at the saved rectangle")
    folder, source, dest = make_scenario_folder(program, area, "restore", 10, 2)
    l, t, r, b = rect
    extra = f"ウィンドウ位置X={l}\nウィンドウ位置Y={t}\nウィンドウサイズX={r}\nウィンドウサイズY={b}\n"
    run = Run(program, x, folder)
    window = run.start(source, dest, extra)
    if check(window is not None, "the progress window appears"):
        check(program.outer_rect(window) == rect, f"it opens at {rect} ({program.outer_rect(window)})")
    if program.paced_by_pipe:
        # A signal clicks the Cancel button: the rectangle is saved again and
        # the run ends as a cancelled one once the worker has stopped.
        (folder / "Tandemix.ini").write_bytes(b"")
        run.process.send_signal(signal.SIGTERM)
        run.open_log()
        run.drain_log()
        status = run.finish()
        check(status == 2, f"SIGTERM cancels the run like the Cancel button: exit status 2 ({status})")
        keys = program.read_ini_keys(folder)
        saved = tuple(int(keys.get(k, "0")) for k in ("ウィンドウ位置X", "ウィンドウ位置Y", "ウィンドウサイズX", "ウィンドウサイズY"))
        check(saved == rect, f"and the rectangle is saved ({saved})")
    else:
        status = run.finish()
        check(status == 0, f"the run ends with exit status 0 ({status})")


def scenario_no_display(program, x, area):
    print("Without a display the run says so in one line and goes on without a window")
    folder = area / "headless"
    folder.mkdir()
    source = folder / "データ"
    dest = folder / "バックアップ先"
    make_small_files(source, 10)
    program.write_ini(folder, program.ini_text(folder, source, dest, folder / "run.log"))
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env.setdefault("ASAN_OPTIONS", "detect_leaks=0")
    result = subprocess.run([str(program.program)], cwd=folder, env=env, capture_output=True, timeout=120)
    lines = result.stderr.decode("utf-8", "replace").splitlines()
    check(len(lines) == 1 and "ディスプレイ" in lines[0], f"one line on standard error ({lines})")
    check(result.returncode == 0, f"the run ends with exit status 0 ({result.returncode})")
    expected = {p.name: p.stat().st_size for p in source.iterdir()}
    check(copied_files(dest / source.name) == expected, "every file was copied")


def scenario(function, *args):
    try:
        return function(*args)
    except Exception as error:   # a scenario that breaks is a failure, not the end
        import traceback
        traceback.print_exc()
        check(False, f"{function.__name__} ran to its end ({error!r})")
        return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--platform", choices=["native", "windows"], required=True)
    parser.add_argument("--program", required=True)
    parser.add_argument("--probe")
    parser.add_argument("--wine")
    parser.add_argument("--screenshot")
    args = parser.parse_args()

    for tool in ["Xvfb", "xdotool", "xprop", "import"]:
        if shutil.which(tool) is None:
            sys.exit(f"gui_test: {tool} is missing")

    x = XServer()
    area = Path(tempfile.mkdtemp(prefix="tandemix-gui-"))
    program = None
    try:
        program = NativeProgram(args, x) if args.platform == "native" else WindowsProgram(args, x)
        if args.platform == "windows":
            print("The resources agree with the template table of the GTK program")
            lines = program.probe("templates", program.path(program.program))
            for line in lines:
                if "differs" in line:
                    print(f"    {line}")
            check(lines and lines[-1].get("differences") == 0, "no difference")
        screenshot = Path(args.screenshot) if args.screenshot else None
        scenario(scenario_run_to_the_end, program, x, area, screenshot)
        rect = scenario(scenario_window_rules_and_cancel, program, x, area)
        if rect is not None:
            scenario(scenario_saved_rectangle, program, x, area, rect)
        if args.platform == "native":
            scenario(scenario_no_display, program, x, area)
    finally:
        if program is not None:
            program.stop_everything()
        x.stop()
        shutil.rmtree(area, ignore_errors=True)

    passed = "FAILED" if failures else "passed"
    print(f"gui_test {args.platform}: {passed}, {len(failures)} failed check(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
