"""Runs VELMO 2 under wine on an X server of its own and drives it with velmodrv.exe; the run
command's screenshot, the benchmarks and the end-to-end tests use it (the tests add their own
helpers in tests/e2e/test_program.py).

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
import shutil
import signal
import subprocess
import tempfile
import threading
import time

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
# One template prefix per architecture, shared by every build tree
TEMPLATES = os.path.join(ROOT, "build", "wine-templates")
# No menu entries on the Linux desktop for shortcuts made inside the prefix
WINE_ENV = {"WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d"}
# Debian's loaders by path: its "wine" runs the 32-bit one even for 64-bit programs
LOADERS = {"win32": "/usr/lib/wine/wine", "win64": "/usr/lib/wine/wine64"}
# Sessions share the template's binaries by hard links; the rest is copied, as wine rewrites it
SHARED_EXT = (".dll", ".exe", ".drv", ".sys", ".nls", ".ocx", ".acm", ".cpl", ".tlb", ".ds", ".ax", ".com")


class Skip(Exception):
    """What a test needs cannot run on this machine; the reason is the message."""


def loader(arch):
    return LOADERS[arch] if os.access(LOADERS[arch], os.X_OK) else "wine"


def pe_arch(path):
    """"win32" for an i386 program, "win64" for an x86-64 one."""
    import pefile  # here, not above: importing winenv alone needs no pefile
    machine = pefile.PE(path, fast_load=True).FILE_HEADER.Machine
    return "win32" if machine == pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"] else "win64"


@functools.lru_cache(None)
def i386_reason():
    """None when this machine runs i386 code, as 32-bit wine needs; otherwise why not."""
    check = subprocess.run([os.path.join(ROOT, "tests", "support", "i386-check")], stdout=subprocess.PIPE, text=True)
    return None if check.returncode == 0 else check.stdout.strip()


def unescape(field):
    return re.sub(r"\\(.)", lambda m: {"t": "\t", "n": "\n", "r": "\r"}.get(m[1], m[1]), field, flags=re.S)


def poll(check, timeout, failure):
    """Calls check() until it returns something other than None; failure() says what never came."""
    deadline = time.monotonic() + timeout
    while (result := check()) is None:
        if time.monotonic() > deadline:
            raise AssertionError(failure())
        time.sleep(0.05)
    return result


class Session:
    """A fresh prefix of the program's architecture, or of prefix_arch ("win64" runs an i686
    program as 64-bit Windows does)."""

    def __init__(self, exe_path, driver_path, workdir, prefix_arch=None):
        self.exe, self.driver_path = os.path.abspath(exe_path), os.path.abspath(driver_path)
        self.workdir, self.arch = os.path.abspath(workdir), prefix_arch or pe_arch(exe_path)
        self.procs, self.app, self.driver, self.xvfb, self.log = [], None, None, None, None
        self.dir = self.tmp = self.env = self.hwnd = self.pid = self.wid = None

    def __enter__(self):
        if "win32" in (self.arch, pe_arch(self.exe), pe_arch(self.driver_path)) and i386_reason():
            raise Skip(i386_reason())
        try:
            os.makedirs(self.workdir, exist_ok=True)
            self.dir = tempfile.mkdtemp(prefix="session-", dir=self.workdir)
            # Wine puts its server socket under TMPDIR: a short path, and nothing left behind
            self.tmp = tempfile.mkdtemp(prefix="velmo-wine-")
            self.prefix = os.path.join(self.dir, "prefix")
            self.env = dict(os.environ, WINEPREFIX=self.prefix, TMPDIR=self.tmp, **WINE_ENV)
            # No sound server: none of the desktop's, and none started for the session (libpulse starts
            # one for a user who has none, unless a server is named); the speech test names its own
            self.env["PULSE_SERVER"] = "unix:" + os.path.join(self.tmp, "no-sound-server")
            r, w = os.pipe()
            self.xvfb = self._spawn(["Xvfb", "-displayfd", str(w), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                    pass_fds=(w,))
            os.close(w)
            with os.fdopen(r) as display:
                self.env["DISPLAY"] = ":" + display.readline().strip()

            def copy(src, dst):
                return (os.link if src.lower().endswith(SHARED_EXT) else shutil.copy2)(src, dst)
            shutil.copytree(self._template(), self.prefix, symlinks=True, copy_function=copy)
        except BaseException:
            self.__exit__()
            raise
        return self

    def __exit__(self, *exc):
        try:
            self.driver.stdin.write(b"quit\n")
            self.driver.stdin.close()
        except (AttributeError, OSError):
            pass
        for proc in self.procs:
            if proc is not self.xvfb and proc is not self.driver and proc.poll() is None:
                proc.kill()
        if self.env and os.path.isdir(self.prefix):
            subprocess.run(["wineserver", "-k"], env=self.env, timeout=30, stderr=subprocess.DEVNULL)
        for proc in self.procs:
            proc.terminate() if proc is self.xvfb else None
            try:
                proc.wait(10)
            except subprocess.TimeoutExpired:
                proc.kill()
        if self.log:
            self.log.close()
        for d in (self.dir, self.tmp):
            shutil.rmtree(d, ignore_errors=True) if d else None

    def _spawn(self, cmd, **kw):
        # PR_SET_PDEATHSIG: nothing outlives a killed test run
        kw = dict(dict(env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL), **kw)
        self.procs.append(subprocess.Popen(cmd, preexec_fn=lambda: ctypes.CDLL(None).prctl(1, signal.SIGKILL), **kw))
        return self.procs[-1]

    def wine(self, program, *args):
        """The command that runs program (a path, or one of wine's own) in this prefix."""
        return [loader(pe_arch(program) if os.path.isfile(program) else self.arch), program, *args]

    def _run(self, cmd, env=None, timeout=20):
        return subprocess.run(cmd, env=env or self.env, timeout=timeout, check=True, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout.decode()

    def _template(self):
        """The prefix sessions are copied from, made once per architecture and wine version."""
        path = os.path.join(TEMPLATES, self.arch)
        os.makedirs(TEMPLATES, exist_ok=True)
        stamp, version = os.path.join(path, ".velmo-ready"), self._run(self.wine("--version")).strip() + " marlett"
        with open(path + ".lock", "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            if os.path.exists(stamp) and open(stamp).read() == version:
                return path
            shutil.rmtree(path, ignore_errors=True)
            env = dict(self.env, WINEPREFIX=path, WINEARCH=self.arch)
            try:
                self._run(self.wine("wineboot", "-i"), env, 300)
                # Without a window manager, wine would wait for one whenever a window closes
                self._run(self.wine("reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/d", "N", "/f"),
                          env, 60)
                self._run(["wineserver", "-w"], env, 60)
                # Debian's wine does not find its own Marlett, which draws the caption buttons
                shutil.copy("/usr/share/wine/fonts/marlett.ttf", os.path.join(path, "drive_c", "windows", "Fonts"))
            except BaseException:
                subprocess.run(["wineserver", "-k"], env=env, timeout=30, stderr=subprocess.DEVNULL)
                shutil.rmtree(path, ignore_errors=True)
                raise
            open(stamp, "w").write(version)
        return path

    # -- the program and the driver

    def open_driver(self):
        """Starts the driver if it is not running: the registry and the clipboard can be
        prepared before the program starts."""
        if self.driver and self.driver.poll() is None:
            return
        self.driver = self._spawn(self.wine(self.driver_path), stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.replies = queue.Queue()
        threading.Thread(target=lambda pipe=self.driver.stdout: [self.replies.put(line.decode("cp1252", "replace")
                         .rstrip("\r\n")) for line in pipe] + [self.replies.put(None)], daemon=True).start()

    def start(self, extra_env=None, exe=None, command=None):
        """Starts the program (or another copy, exe) in its folder, or runs command; waits for the
        main window to show."""
        exe = exe or self.exe
        self.open_driver()
        self.log = self.log or open(os.path.join(self.dir, "velmo.log"), "wb")
        self.app = self._spawn(command or self.wine(exe), cwd=os.path.dirname(exe),
                               env=dict(self.env, **(extra_env or {})), stdout=self.log, stderr=self.log)
        self.hwnd, self.pid = (int(v) for v in self.drv("wait-window 20000", timeout=40).split()[1:])
        # Mapped, not only created: input focus cannot go to an unmapped window
        self.wid = self._run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "^VELMO 2$"]).split()[0]

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
        if not reply or not reply.startswith("ok"):
            raise AssertionError(f"driver: {cmd[:60]!r}: {reply or 'no reply'}")
        return reply

    def wait_exit(self, timeout=10):
        """The program's exit code."""
        try:
            return self.app.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"VELMO still running after {timeout} s") from None

    # -- what the driver reads and does

    def wait_lines(self, expected, timeout=10):
        seen = []

        def check():
            seen[:] = [unescape(f) for f in self.drv("lines").split("\t")[1:]]
            return seen if seen[:len(expected)] == list(expected) else None
        return poll(check, timeout, lambda: f"display lines {seen}, expected {list(expected)}")

    def windows(self):
        f = [unescape(v) for v in self.drv("windows").split("\t")[1:]]
        return [dict(zip(("hwnd", "pid", "cls", "caption", "text"), (int(f[i]), int(f[i + 1]), *f[i + 2:i + 5])))
                for i in range(0, len(f), 5)]

    def wait_window(self, match, timeout=15):
        return poll(lambda: next((w for w in self.windows() if match(w)), None), timeout,
                    lambda: f"expected window did not appear; windows: {self.windows()}")

    def wait_box(self, timeout=10):
        """The program's visible message box or dialog; any process's before the main window is known."""
        return self.wait_window(lambda w: w["cls"] == "#32770" and self.pid in (None, w["pid"]), timeout)

    def wait_gone(self, window, timeout=10):
        poll(lambda: None if any(w["hwnd"] == window["hwnd"] for w in self.windows()) else True, timeout,
             lambda: f"{window['caption']!r} still open")

    # -- real input through the X server

    def keys(self, *names, target=None):
        """Real keystrokes to the main window, or to the open dialog target, which has the focus."""
        if target is None:
            self._run(["xdotool", "windowfocus", "--sync", self.wid])
        self._run(["xdotool", "key", "--delay", "30", *names], timeout=20 + len(names))
