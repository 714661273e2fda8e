#!/usr/bin/env python3
"""An installer under wine: a silent install, the installed program, a silent uninstall.

usage: test_install.py BUILD_DIR SETUP_EXE ZIP [win32|win64]

In a fresh prefix of the build's architecture or the one given (the 32-bit installer
on 64-bit Windows goes to "Program Files (x86)" and the 32-bit registry view): installs
with /S, checks the files against ZIP, the Add/Remove entry and the shortcut, starts the
program through the shortcut, calculates, turns sound on, opens the help, exits,
uninstalls with /S and checks that the files, folder, shortcut, entry and settings are
gone, a neighbouring key of the same maker stays, and no file is left after a restart.
"""
import os
import re
import struct
import subprocess
import sys
import time
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from winenv import ROOT, Session, Skip, pe_arch  # noqa: E402
from test_program import back_to_main, expect, sound_dialog, wait_viewer  # noqa: E402

SHORTCUT = "ProgramData/Microsoft/Windows/Start Menu/Programs/VELMO 2.lnk"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VELMO 2"
SETTINGS_KEY = r"HKCU\Software\Mondrel\VELMO 2"
NEIGHBOUR_KEY = r"HKCU\Software\Mondrel\Other Product"
# The files the program plays, as the build makes them
SOUNDS = re.findall(r"^(\S+\.wav)", open(os.path.join(ROOT, "resources", "sounds.txt")).read(), re.M)


def shortcut_fields(path):
    """The target path and the working directory stored in a shell link file."""
    data = open(path, "rb").read()
    flags, = struct.unpack_from("<I", data, 20)
    pos, target, strings = 76, None, []
    if flags & 0x01:                                    # item id list
        pos += 2 + struct.unpack_from("<H", data, pos)[0]
    if flags & 0x02:                                    # link info: the local path
        size, _, info_flags, _, base = struct.unpack_from("<5I", data, pos)
        if info_flags & 1:
            target = data[pos + base:data.index(b"\0", pos + base)].decode("cp1252")
        pos += size
    for bit in (0x04, 0x08, 0x10, 0x20, 0x40):           # name, relative path, work dir, arguments, icon
        if flags & bit:
            count, = struct.unpack_from("<H", data, pos)
            width = 2 if flags & 0x80 else 1
            text = data[pos + 2:pos + 2 + count * width].decode("utf-16-le" if width == 2 else "cp1252")
            strings.append((bit, text.rstrip("\0")))
            pos += 2 + count * width
    return target, dict(strings).get(0x10)


def files(top):
    """Every file and folder under top, as paths from top."""
    return {os.path.relpath(os.path.join(root, name), top) for root, dirs, names in os.walk(top)
            for name in dirs + names}


def run(s, *cmd, timeout=120):
    return subprocess.run(s.wine(*cmd), env=s.env, stdin=subprocess.DEVNULL, capture_output=True,
                          timeout=timeout)


def reg_query(s, key):
    """reg query in the registry view the installer and the program use."""
    return run(s, "reg", "query", key, *s.view)


def key_exists(s, key):
    return reg_query(s, key).returncode == 0


def install_and_uninstall(s, setup, package):
    wow64 = s.arch == "win64" and pe_arch(setup) == "win32"
    s.view = [] if s.arch == "win32" else ["/reg:32" if wow64 else "/reg:64"]
    folder = "Program Files (x86)" if wow64 else "Program Files"
    install_dir = "C:\\" + folder + "\\VELMO 2"
    drive_c = os.path.join(s.prefix, "drive_c")
    installed = os.path.join(drive_c, folder, "VELMO 2")
    link = os.path.join(drive_c, SHORTCUT)

    before = files(drive_c)
    # The driver keeps the wine server up. The installer starts once the driver answers: started
    # together in a new prefix, the installer was seen to hang
    s.open_driver()
    s.drv("windows")
    expect(run(s, setup, "/S").returncode, 0, "silent install exit code")
    with zipfile.ZipFile(package) as z:
        shipped = {os.path.basename(n): z.read(n) for n in z.namelist() if not n.endswith("/")}
    expect(set(["VELMO.exe", "VELMO.HLP", "README.txt", "LICENSE.txt"] + SOUNDS) - set(shipped), set(), "missing in the zip")
    expect(sorted(os.listdir(installed)), sorted(list(shipped) + ["uninstall.exe"]), "installed files")
    for name, data in shipped.items():
        expect(open(os.path.join(installed, name), "rb").read() == data, True, f"{name} installed as in the zip")
    entry = reg_query(s, UNINSTALL_KEY).stdout.decode("cp1252")
    for value in ("DisplayName    REG_SZ    VELMO 2",
                  f'UninstallString    REG_SZ    "{install_dir}\\uninstall.exe"',
                  "Publisher    REG_SZ    Mondrel Software"):
        expect(value in entry, True, f"Add/Remove entry has {value!r}")

    # Started as the shortcut starts it: in the install folder
    expect(shortcut_fields(link), (install_dir + r"\VELMO.exe", install_dir), "shortcut target and folder")
    s.start(command=s.wine("start", "/wait", "/unix", link))
    s.keys("2", "Return", "3", "plus")
    s.wait_lines(["5", "", "", ""])
    sound_dialog(s, "alt+e", "Return")
    s.keys("1", "5", "asterisk")
    s.wait_lines(["75", "", "", ""])
    s.keys("F1")                                        # the installed help
    viewer = wait_viewer(s)
    back_to_main(s)
    s.keys("alt+x")
    expect(s.wait_exit(), 0, "exit code")
    s.wait_gone(viewer)
    expect(s.reg_get(), (1, b"1\0"), "Sound setting stored")
    expect(run(s, "reg", "add", NEIGHBOUR_KEY, "/f", *s.view).returncode, 0, "neighbour key made")

    # The uninstaller runs a copy of itself and returns at once: with the driver gone too, the
    # wine server ends when that copy has done its work
    s.drv("quit")
    s.driver.wait(10)
    expect(run(s, os.path.join(installed, "uninstall.exe"), "/S").returncode, 0, "silent uninstall exit code")
    subprocess.run(["wineserver", "-w"], env=s.env, timeout=120)
    s.open_driver()
    s.drv("windows")
    expect(sorted(os.listdir(installed)) if os.path.exists(installed) else None, None, "install folder removed")
    expect(os.path.exists(link), False, "shortcut removed")
    # The copy and its folder are left for the next start of Windows to delete
    expect(run(s, "wineboot", "-r").returncode, 0, "restart")
    expect(sorted(files(drive_c) - before), [], "files left after uninstalling and a restart")
    expect(key_exists(s, UNINSTALL_KEY), False, "Add/Remove entry removed")
    expect(key_exists(s, SETTINGS_KEY), False, "settings key removed")
    expect(key_exists(s, NEIGHBOUR_KEY), True, "other keys of the maker kept")


def main():
    if len(sys.argv) not in (4, 5):
        sys.exit(__doc__)
    build, setup, package = (os.path.abspath(a) for a in sys.argv[1:4])
    arch = sys.argv[4] if len(sys.argv) == 5 else pe_arch(os.path.join(build, "VELMO.exe"))
    started = time.monotonic()
    try:
        with Session(setup, os.path.join(build, "tests", "velmodrv.exe"), os.path.join(build, "e2e"), arch) as s:
            install_and_uninstall(s, setup, package)
    except Skip as e:
        print(f"SKIP: {e}")
        sys.exit(77)
    except AssertionError as e:
        print(f"FAIL install_and_uninstall: {e}")
        sys.exit(1)
    print(f"PASS install_and_uninstall ({time.monotonic() - started:.1f} s)")


if __name__ == "__main__":
    main()
