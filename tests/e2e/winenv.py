"""Runs VELMO 2 under wine on an X server of its own and drives it with velmodrv.exe.

    with Session(exe, driver, workdir) as s:
        s.start()
        s.keys("2", "Return", "3", "plus")
        s.wait_lines(["5"])
"""
import ctypes
import fcntl
import functools
import os
import queue
import re
import select
import shutil
import signal
import struct
import subprocess
import tempfile
import threading
import time
import zlib

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
# One template prefix per architecture, shared by every build tree
TEMPLATES = os.path.join(ROOT, "build", "wine-templates")
# No menu entries on the Linux desktop for shortcuts made inside the prefix
WINE_ENV = {"WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d"}
# Debian's loaders by path: its "wine" runs the 32-bit one even for 64-bit programs
LOADERS = {"win32": "/usr/lib/wine/wine", "win64": "/usr/lib/wine/wine64"}
# Sessions share the prefix's binaries with the template by hard links. Everything
# else is copied: wine rewrites the registry files in place.
SHARED_EXT = {".dll", ".exe", ".drv", ".sys", ".nls", ".ocx", ".acm", ".cpl", ".tlb", ".ds", ".ax", ".com",
              ".msstyles"}
_ESCAPES = {"t": "\t", "n": "\n", "r": "\r"}
_prctl = ctypes.CDLL(None).prctl


def _die_with_parent():
    _prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG: nothing outlives a killed test run


def _link_or_copy(src, dst):
    if os.path.splitext(src)[1].lower() in SHARED_EXT:
        os.link(src, dst)
    else:
        shutil.copy2(src, dst)


class Skip(Exception):
    """What a test needs cannot run on this machine; the reason is the message."""


def loader(arch):
    path = LOADERS[arch]
    return path if os.access(path, os.X_OK) else "wine"


def pe_arch(path):
    """"win32" for an i386 program, "win64" for an x86-64 one."""
    with open(path, "rb") as f:
        head = f.read(4096)
    pe, = struct.unpack_from("<I", head, 60)
    return "win32" if struct.unpack_from("<H", head, pe + 4)[0] == 0x14C else "win64"


@functools.lru_cache(None)
def i386_reason():
    """None when this machine runs i386 code, as 32-bit wine needs; otherwise why not."""
    check = subprocess.run([os.path.join(ROOT, "tools", "i386-check")], stdout=subprocess.PIPE, text=True)
    return None if check.returncode == 0 else check.stdout.strip()


def need_arch(*archs):
    if "win32" in archs and i386_reason():
        raise Skip(i386_reason())


def unescape(field):
    return re.sub(r"\\(.)", lambda m: _ESCAPES.get(m[1], m[1]), field, flags=re.S)


def poll(check, timeout, failure):
    """Calls check() until it returns something other than None; failure() says what never came."""
    deadline = time.monotonic() + timeout
    while (result := check()) is None:
        if time.monotonic() > deadline:
            raise AssertionError(failure())
        time.sleep(0.05)
    return result


def bmp_to_png(bmp):
    """A 24-bit bottom-up BMP as PNG bytes."""
    offset, = struct.unpack_from("<I", bmp, 10)
    width, height, _, bits = struct.unpack_from("<iiHH", bmp, 18)
    assert bits == 24 and height > 0, "only 24-bit bottom-up bitmaps"
    stride, raw = (width * 3 + 3) & ~3, bytearray()
    for y in range(height - 1, -1, -1):
        row = bmp[offset + y * stride: offset + y * stride + width * 3]
        rgb = bytearray(len(row))
        rgb[0::3], rgb[1::3], rgb[2::3] = row[2::3], row[1::3], row[0::3]
        raw += b"\0" + rgb

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


class Session:
    """A fresh prefix of the program's architecture, or of prefix_arch ("win64" runs an i686
    program as 64-bit Windows does)."""

    def __init__(self, exe_path, driver_path, workdir, prefix_arch=None):
        self.exe, self.driver_path = os.path.abspath(exe_path), os.path.abspath(driver_path)
        self.workdir = os.path.abspath(workdir)
        self.arch = prefix_arch or pe_arch(self.exe)
        self.procs, self.app, self.driver, self.xvfb = [], None, None, None
        self.dir = self.tmp = self.env = self.log = self.hwnd = self.pid = self.wid = None

    def __enter__(self):
        need_arch(self.arch, pe_arch(self.exe), pe_arch(self.driver_path))
        try:
            os.makedirs(self.workdir, exist_ok=True)
            self.dir = tempfile.mkdtemp(prefix="session-", dir=self.workdir)
            # Wine puts its server socket under TMPDIR: a short path, and nothing left behind
            self.tmp = tempfile.mkdtemp(prefix="velmo-wine-")
            self.prefix = os.path.join(self.dir, "prefix")
            self.env = dict(os.environ, WINEPREFIX=self.prefix, TMPDIR=self.tmp, **WINE_ENV)
            self._start_xvfb()
            shutil.copytree(self._template(), self.prefix, symlinks=True, copy_function=_link_or_copy)
        except BaseException:
            self._cleanup()
            raise
        return self

    def __exit__(self, *exc):
        self._cleanup()

    def _spawn(self, cmd, **kw):
        kw = dict(dict(env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL), **kw)
        self.procs.append(subprocess.Popen(cmd, preexec_fn=_die_with_parent, **kw))
        return self.procs[-1]

    def wine(self, program, *args):
        """The command that runs program (a path, or one of wine's own) in this prefix."""
        arch = pe_arch(program) if os.path.isfile(program) else self.arch
        return [loader(arch), program, *args]

    def _run(self, cmd, env=None, timeout=20):
        return subprocess.run(cmd, env=env or self.env, timeout=timeout, check=True, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout.decode()

    def _start_xvfb(self):
        r, w = os.pipe()
        try:
            self.xvfb = self._spawn(["Xvfb", "-displayfd", str(w), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                    pass_fds=(w,))
            os.close(w)
            w, data, deadline = None, b"", time.monotonic() + 20
            while not data.endswith(b"\n"):
                ready = select.select([r], [], [], max(0, deadline - time.monotonic()))[0]
                chunk = os.read(r, 32) if ready else b""
                if not chunk:
                    raise AssertionError("Xvfb did not start")
                data += chunk
        finally:
            os.close(r)
            if w is not None:
                os.close(w)
        self.env["DISPLAY"] = ":" + data.decode().strip()

    def _template(self):
        """The prefix sessions are copied from, made once per architecture and wine version."""
        path = os.path.join(TEMPLATES, self.arch)
        os.makedirs(TEMPLATES, exist_ok=True)
        stamp, version = os.path.join(path, ".velmo-ready"), self._run(self.wine("--version")).strip()
        with open(path + ".lock", "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            if os.path.exists(stamp) and open(stamp).read() == version:
                return path
            shutil.rmtree(path, ignore_errors=True)
            env = dict(self.env, WINEPREFIX=path, WINEARCH=self.arch)
            try:
                self._run(self.wine("wineboot", "-i"), env, 300)
                self._run(["wineserver", "-w"], env, 60)
                # Without a window manager, wine would wait for one whenever a window closes
                self._run(self.wine("reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/t", "REG_SZ",
                                    "/d", "N", "/f"), env, 60)
                self._run(["wineserver", "-w"], env, 60)
            except BaseException:
                subprocess.run(["wineserver", "-k"], env=env, timeout=30, stderr=subprocess.DEVNULL)
                shutil.rmtree(path, ignore_errors=True)
                raise
            with open(stamp, "w") as f:
                f.write(version)
        return path

    def _cleanup(self):
        try:
            if self.driver and self.driver.poll() is None:
                self.driver.stdin.write(b"quit\n")
                self.driver.stdin.flush()
                self.driver.wait(5)
        except (OSError, subprocess.TimeoutExpired):
            pass
        for proc in self.procs:
            if proc is not self.xvfb and proc.poll() is None:
                proc.kill()
        try:
            if self.env and os.path.isdir(self.prefix):
                subprocess.run(["wineserver", "-k"], env=self.env, timeout=30, stderr=subprocess.DEVNULL)
        except subprocess.TimeoutExpired:
            pass
        if self.xvfb and self.xvfb.poll() is None:
            self.xvfb.terminate()
        for proc in self.procs:
            try:
                proc.wait(10)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
        if self.log:
            self.log.close()
        for d in (self.dir, self.tmp):
            if d:
                shutil.rmtree(d, ignore_errors=True)

    # -- the program and the driver

    def open_driver(self):
        """Starts the driver if it is not running; start() does this, but the registry and the
        clipboard can be prepared before the program runs."""
        if self.driver and self.driver.poll() is None:
            return
        self.driver = self._spawn(self.wine(self.driver_path), stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.replies = queue.Queue()
        threading.Thread(target=self._read_replies, args=(self.driver.stdout, self.replies), daemon=True).start()

    def start(self, extra_env=None, wait=True, exe=None):
        """Starts the program (or another copy, exe) in its folder; with wait, waits for its main
        window to show."""
        exe = exe or self.exe
        self.open_driver()
        self.hwnd = self.pid = self.wid = None
        self.log = self.log or open(os.path.join(self.dir, "velmo.log"), "wb")
        self.app = self._spawn(self.wine(exe), cwd=os.path.dirname(exe),
                               env=dict(self.env, **(extra_env or {})), stdout=self.log, stderr=self.log)
        if wait:
            self.hwnd, self.pid = (int(v) for v in self.drv("wait-window 20000", timeout=40).split()[1:])
            # Mapped, not only created: input focus cannot go to an unmapped window
            self.wid = self._run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "^VELMO 2$"]).split()[0]
        return self

    @staticmethod
    def _read_replies(pipe, replies):
        for line in pipe:
            replies.put(line.decode("cp1252", "surrogateescape").rstrip("\r\n"))
        replies.put(None)

    def drv(self, cmd, timeout=20):
        """Sends one driver command; returns its reply, which must start with "ok"."""
        try:
            self.driver.stdin.write(cmd.encode("cp1252") + b"\n")
            self.driver.stdin.flush()
            reply = self.replies.get(timeout=timeout)
        except (OSError, queue.Empty):
            reply = None
        if reply is None:
            self.driver.kill()  # a late reply would answer the next command
            raise AssertionError(f"driver gave no reply to {cmd[:60]!r}")
        if not reply.startswith("ok"):
            raise AssertionError(f"driver: {cmd[:60]!r}: {reply}")
        return reply

    def wait_exit(self, timeout=10):
        """The program's exit code."""
        try:
            return self.app.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"VELMO still running after {timeout} s") from None

    # -- what the driver reads and does

    def lines(self):
        return [unescape(f) for f in self.drv("lines").split("\t")[1:]]

    def wait_lines(self, expected, timeout=10):
        seen = []

        def check():
            seen[:] = self.lines()
            return seen if seen[:len(expected)] == list(expected) else None
        return poll(check, timeout, lambda: f"display lines {seen}, expected {list(expected)}")

    def windows(self):
        f = [unescape(v) for v in self.drv("windows").split("\t")[1:]]
        return [dict(hwnd=int(f[i]), pid=int(f[i + 1]), cls=f[i + 2], caption=f[i + 3], text=f[i + 4])
                for i in range(0, len(f), 5)]

    def wait_box(self, timeout=10):
        """The program's visible message box (or other dialog); any process's before the main window is known."""
        return poll(lambda: next((w for w in self.windows() if w["cls"] == "#32770" and self.pid in (None, w["pid"])),
                                 None), timeout, lambda: "no dialog box appeared")

    def close_box(self, box, button=1, timeout=10):
        self.drv(f"press {box['hwnd']} {button}")
        self.wait_gone(box, timeout)

    def wait_gone(self, window, timeout=10):
        poll(lambda: None if any(w["hwnd"] == window["hwnd"] for w in self.windows()) else True, timeout,
             lambda: f"{window['caption']!r} still open")

    def focus(self):
        """"main", a control ID (int), None, or "other <hwnd>"."""
        v = self.drv("focus")[3:]
        return None if v == "none" else int(v) if v.isdigit() else v

    def checked(self, window, control_id):
        return self.drv(f"checked {window['hwnd']} {control_id}") == "ok 1"

    def clip_get(self):
        v = self.drv("clip-get")[3:]
        return None if v == "none" else bytes.fromhex(v)

    def clip_set(self, data, terminated=True):
        """Wine writes a 0 over the last byte of the block: an unterminated text loses its last byte,
        and an empty unterminated one is refused."""
        self.drv(("clip-set " if terminated else "clip-set-raw ") + data.hex())

    def clip_clear(self):
        self.drv("clip-clear")

    def reg_get(self):
        v = self.drv("reg-get")[3:].split(" ")
        return None if v == ["missing"] else (int(v[0]), bytes.fromhex(v[1]))

    def reg_set(self, kind, data):
        self.drv(f"reg-set {kind} {data.hex()}")


    def screenshot(self, png_path):
        """The main window with its frame, as on the screen, as PNG; returns (width, height)."""
        bmp = os.path.join(self.dir, "shot.bmp")
        w, h = (int(v) for v in self.drv("shot Z:" + bmp.replace("/", "\\")).split()[1:])
        with open(bmp, "rb") as f, open(png_path, "wb") as out:
            out.write(bmp_to_png(f.read()))
        return w, h

    # -- real input through the X server

    def keys(self, *names, target=None):
        """Real keystrokes to the main window, or to the open dialog target, which has the focus."""
        if target is None:
            self._run(["xdotool", "windowfocus", "--sync", self.wid])
        self._run(["xdotool", "key", "--delay", "30", *names], timeout=20 + len(names))

    def click(self, control_id):
        x, y = self.drv(f"center {control_id}").split()[1:]
        # No --sync: it waits for a motion that never comes when the pointer is already there
        self._run(["xdotool", "mousemove", x, y, "click", "1"])
