#!/usr/bin/env python3
"""An installer under wine, in a fresh prefix of the build's architecture or the one given: install,
use, upgrade, uninstall, and nothing left behind. usage: test_install.py BUILD_DIR SETUP_EXE ZIP [ARCH]
"""
import os
import re
import struct
import subprocess
import sys
import zipfile

from test_program import back_to_main, expect, run as run_tests, sound_dialog, wait_viewer  # noqa: E402
from winenv import ROOT, pe_arch, poll  # noqa: E402

SHORTCUT = "ProgramData/Microsoft/Windows/Start Menu/Programs/VELMO 2.lnk"
UNINSTALLS = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
UNINSTALL_KEY = UNINSTALLS + r"\VELMO 2"
SESSION_KEY = r"HKLM\System\CurrentControlSet\Control\Session Manager"
SETTINGS_KEY = r"HKCU\Software\Mondrel\VELMO 2"
NEIGHBOUR_KEY = r"HKCU\Software\Mondrel\Other Product"
# The files the program plays, as the build makes them
SOUNDS = re.findall(r"^(\S+\.wav)", open(os.path.join(ROOT, "resources", "sounds.txt")).read(), re.M)


def shortcut_has(path, target, folder):
    """Whether a shell link holds target as its local path (ANSI, in its link info) and folder as its
    working directory (a UTF-16 string counted with its terminator, exactly the folder)."""
    data = open(path, "rb").read()
    return target.encode("cp1252") + b"\0" in data, struct.pack("<H", len(folder) + 1) + (folder + "\0").encode("utf-16-le") in data


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
    entry = dict(re.findall(r"^ +(\S+) +REG_\w+ +(.*?)\r?$", reg_query(s, UNINSTALL_KEY).stdout.decode("cp1252"), re.M))
    uninstaller = f'"{install_dir}\\uninstall.exe"'
    want = {"DisplayName": "VELMO 2", "DisplayVersion": re.search(r"VELMO-(.+)-win", package)[1],
            "Publisher": "Mondrel Software", "DisplayIcon": install_dir + r"\VELMO.exe,0", "InstallLocation": install_dir,
            "UninstallString": f"{uninstaller} _?={install_dir}", "QuietUninstallString": f"{uninstaller} /S _?={install_dir}",
            "NoModify": "0x1", "NoRepair": "0x1"}
    expect({name: entry.get(name) for name in want}, want, "Add/Remove entry")
    size = sum(os.path.getsize(os.path.join(installed, name)) for name in os.listdir(installed)) // 1024
    expect(abs(int(entry.get("EstimatedSize", "0"), 0) - size) < 40, True, f"EstimatedSize {entry.get('EstimatedSize')}, {size} KB")

    # Started as the shortcut starts it: in the install folder
    expect(shortcut_has(link, install_dir + r"\VELMO.exe", install_dir), (True, True), "shortcut target and folder")
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
    # Installed again over it: the same folder and entry, the setting kept
    expect(run(s, setup, "/S").returncode, 0, "upgrade exit code")
    expect(set(shipped) - set(os.listdir(installed)), set(), "files missing after the upgrade")
    entries = run(s, "reg", "query", UNINSTALLS, "/s", *s.view).stdout.decode("cp1252")
    expect(len(re.findall(r"DisplayName +REG_SZ +VELMO 2\r?$", entries, re.M)), 1, "Add/Remove entries after the upgrade")
    expect(s.reg_get(), (1, b"1\0"), "Sound setting kept by the upgrade")
    expect(run(s, "reg", "add", NEIGHBOUR_KEY, "/f", *s.view).returncode, 0, "neighbour key made")

    # As Add/Remove runs it: in place, done when it returns but for its own file and the folder
    args = want["QuietUninstallString"][len(uninstaller) + 1:].split(" ")
    expect(run(s, os.path.join(installed, "uninstall.exe"), *args).returncode, 0, "silent uninstall exit code")
    poll(lambda: None if os.path.exists(installed) else True, 10, lambda: f"install folder left: {files(installed)}")
    expect(os.path.exists(link), False, "shortcut removed")
    # Asked while the driver keeps the wine server up: wine forgets them when it ends
    pending = run(s, "reg", "query", SESSION_KEY, "/v", "PendingFileRenameOperations")
    expect(pending.stdout.decode("cp1252") if pending.returncode == 0 else None, None, "files left for a restart to delete")
    expect(run(s, "wineboot", "-r").returncode, 0, "restart")
    expect(sorted(files(drive_c) - before), [], "files left after uninstalling and a restart")
    expect(key_exists(s, UNINSTALL_KEY), False, "Add/Remove entry removed")
    expect(key_exists(s, SETTINGS_KEY), False, "settings key removed")
    expect(key_exists(s, NEIGHBOUR_KEY), True, "other keys of the maker kept")


if __name__ == "__main__":
    if len(sys.argv) not in (4, 5):
        sys.exit(__doc__)
    build, setup, package = (os.path.abspath(a) for a in sys.argv[1:4])
    arch = sys.argv[4] if len(sys.argv) == 5 else pe_arch(os.path.join(build, "VELMO.exe"))
    run_tests({"install_and_uninstall": lambda s: install_and_uninstall(s, setup, package)}, build, setup, arch)
