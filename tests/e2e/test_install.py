#!/usr/bin/env python3
"""An installer under wine, in a fresh prefix of the build's architecture or the one given: install,
use, upgrade, uninstall, and nothing left behind; for everyone, just for the user, and for everyone
into a folder given with /D=. usage: test_install.py BUILD_DIR SETUP_EXE ZIP [ARCH]
"""
import os
import re
import struct
import subprocess
import sys
import zipfile

from test_program import back_to_main, expect, run as run_tests, sound_dialog, wait_viewer  # noqa: E402
from winenv import ROOT, pe_arch, poll  # noqa: E402

UNINSTALLS = r"Software\Microsoft\Windows\CurrentVersion\Uninstall"
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


def pe_manifest(path):
    """The text of a Windows program's manifest resource (type 24), or None."""
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 60)[0]
    sections, opt_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
    opt = pe + 24
    dirs = opt + (96 if struct.unpack_from("<H", data, opt)[0] == 0x10B else 112)
    rva = struct.unpack_from("<I", data, dirs + 2 * 8)[0]  # the resource directory
    for i in range(sections):
        size, va, raw_size, raw = struct.unpack_from("<IIII", data, opt + opt_size + 40 * i + 8)
        if va <= rva < va + max(size, raw_size):
            base = raw + rva - va
            break
    else:
        return None

    def entries(at):
        named, ids = struct.unpack_from("<HH", data, base + at + 12)
        return [struct.unpack_from("<II", data, base + at + 16 + 8 * k) for k in range(named + ids)]
    for name, sub in entries(0):
        if name == 24:
            while sub & 0x80000000:  # name, then language: the first of each
                sub = entries(sub & 0x7FFFFFFF)[0][1]
            data_rva, size = struct.unpack_from("<II", data, base + sub)
            return data[base + data_rva - rva:base + data_rva - rva + size].decode("utf-8")
    return None


def execution_level(path):
    """What the program's manifest asks Windows for: asInvoker, highestAvailable or requireAdministrator."""
    found = re.findall(r'<requestedExecutionLevel\s+level="(\w+)"', pe_manifest(path) or "")
    return found[0] if len(found) == 1 else found


def files(top):
    """Every file and folder under top, as paths from top."""
    return {os.path.relpath(os.path.join(root, name), top) for root, dirs, names in os.walk(top)
            for name in dirs + names}


def unix_path(s, path):
    return os.path.join(s.prefix, "drive_c", *path[3:].split("\\"))


def run(s, *cmd, timeout=120):
    return subprocess.run(s.wine(*cmd), env=s.env, stdin=subprocess.DEVNULL, capture_output=True,
                          timeout=timeout)


def reg_query(s, key, view=None):
    """reg query in the registry view the installer and the program use, or the one given."""
    return run(s, "reg", "query", key, *(s.view if view is None else view))


def key_exists(s, key, view=None):
    return reg_query(s, key, view).returncode == 0


def entries_anywhere(s):
    """Where an Add/Remove entry of VELMO 2 is: the roots and registry views that have one."""
    views = [[]] if s.arch == "win32" else [["/reg:64"], ["/reg:32"]]
    return sorted(f"{root} {' '.join(view)}".strip() for root in ("HKLM", "HKCU") for view in views
                  if key_exists(s, root + "\\" + UNINSTALL_KEY, view))


def install_and_uninstall(s, setup, package, scope, folder=None, use=True):
    """scope "all" (for everyone) or "user" (just me); folder: one given with /D=; use: start the
    installed program through its shortcut and work with it."""
    wow64 = s.arch == "win64" and pe_arch(setup) == "win32"
    s.view = [] if s.arch == "win32" else ["/reg:32" if wow64 else "/reg:64"]
    drive_c = os.path.join(s.prefix, "drive_c")
    expect(execution_level(setup), "asInvoker", "the installer's manifest: requestedExecutionLevel")
    # The driver keeps the wine server up. The installer starts once the driver answers: started
    # together in a new prefix, the installer was seen to hang
    s.open_driver()
    s.drv("windows")
    echo = run(s, "cmd", "/c", "echo %LOCALAPPDATA%^|%APPDATA%^|%ProgramData%")
    local, roaming, common = echo.stdout.decode().strip().split("|")
    if scope == "all":
        root, flag = "HKLM", "/ALLUSERS"
        install_dir = folder or "C:\\" + ("Program Files (x86)" if wow64 else "Program Files") + "\\VELMO 2"
        link = unix_path(s, common + r"\Microsoft\Windows\Start Menu\Programs\VELMO 2.lnk")
    else:
        root, flag = "HKCU", "/CURRENTUSER"
        install_dir = folder or local + r"\Programs\VELMO 2"
        link = unix_path(s, roaming + r"\Microsoft\Windows\Start Menu\Programs\VELMO 2.lnk")
    installed = unix_path(s, install_dir)
    uninstall_key = root + "\\" + UNINSTALL_KEY
    if folder:
        os.makedirs(os.path.dirname(installed), exist_ok=True)  # the folder it goes in is the user's

    before = files(drive_c)
    # Just me needs no option; the option for everyone, and /D= last. A /D= folder without
    # spaces: the command line wine is given quotes an argument with one, and /D= must not be quoted
    first = [setup, "/S"] + ([flag] if scope == "all" else []) + ([f"/D={folder}"] if folder else [])
    expect(run(s, *first).returncode, 0, f"silent install exit code ({' '.join(first[1:])})")
    # HKLM in the installer's view; HKCU\Software is one for both views, as on 64-bit Windows
    where = sorted(f"{root} {v}".strip() for v in (["/reg:32", "/reg:64"] if root == "HKCU" and s.arch == "win64"
                                                      else [" ".join(s.view)]))
    expect(entries_anywhere(s), where, "Add/Remove entries: root and view")
    with zipfile.ZipFile(package) as z:
        shipped = {os.path.basename(n): z.read(n) for n in z.namelist() if not n.endswith("/")}
    expect(set(["VELMO.exe", "VELMO.HLP", "README.txt", "LICENSE.txt"] + SOUNDS) - set(shipped), set(), "missing in the zip")
    expect(sorted(os.listdir(installed)), sorted(list(shipped) + ["uninstall.exe"]), "installed files")
    for name, data in shipped.items():
        expect(open(os.path.join(installed, name), "rb").read() == data, True, f"{name} installed as in the zip")
    expect(execution_level(os.path.join(installed, "uninstall.exe")), "asInvoker",
           "the uninstaller's manifest: requestedExecutionLevel")
    entry = dict(re.findall(r"^ +(\S+) +REG_\w+ +(.*?)\r?$", reg_query(s, uninstall_key).stdout.decode("cp1252"), re.M))
    uninstaller = f'"{install_dir}\\uninstall.exe"'
    want = {"DisplayName": "VELMO 2", "DisplayVersion": re.search(r"VELMO-(.+)-win", package)[1],
            "Publisher": "Mondrel Software", "DisplayIcon": install_dir + r"\VELMO.exe,0", "InstallLocation": install_dir,
            "UninstallString": f"{uninstaller} {flag} _?={install_dir}",
            "QuietUninstallString": f"{uninstaller} /S {flag} _?={install_dir}", "NoModify": "0x1", "NoRepair": "0x1"}
    expect({name: entry.get(name) for name in want}, want, "Add/Remove entry")
    size = sum(os.path.getsize(os.path.join(installed, name)) for name in os.listdir(installed)) // 1024
    expect(abs(int(entry.get("EstimatedSize", "0"), 0) - size) < 40, True, f"EstimatedSize {entry.get('EstimatedSize')}, {size} KB")

    # Started as the shortcut starts it: in the install folder
    expect(shortcut_has(link, install_dir + r"\VELMO.exe", install_dir), (True, True), "shortcut target and folder")
    if use:
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
    else:
        s.reg_set(1, b"1\0")
    expect(s.reg_get(), (1, b"1\0"), "Sound setting stored")
    # Installed again over it: the same folder and entry, the setting kept. For everyone without
    # the option, which the installed copy's scope stands for; just me with it
    again = [setup, "/S"] + ([flag] if scope == "user" else [])
    expect(run(s, *again).returncode, 0, f"upgrade exit code ({' '.join(again[1:])})")
    expect(sorted(os.listdir(installed)), sorted(list(shipped) + ["uninstall.exe"]), "installed files after the upgrade")
    entries = run(s, "reg", "query", root + "\\" + UNINSTALLS, "/s", *s.view).stdout.decode("cp1252")
    expect(len(re.findall(r"DisplayName +REG_SZ +VELMO 2\r?$", entries, re.M)), 1, "Add/Remove entries after the upgrade")
    expect(entries_anywhere(s), where, "Add/Remove entries after the upgrade: root and view")
    entry = dict(re.findall(r"^ +(\S+) +REG_\w+ +(.*?)\r?$", reg_query(s, uninstall_key).stdout.decode("cp1252"), re.M))
    expect({name: entry.get(name) for name in want}, want, "Add/Remove entry after the upgrade")
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
    expect(entries_anywhere(s), [], "Add/Remove entries left")
    expect(key_exists(s, SETTINGS_KEY), False, "settings key removed")
    expect(key_exists(s, NEIGHBOUR_KEY), True, "other keys of the maker kept")


def wizard(s, setup):
    """The wizard as a user clicks through it: its Choose Users page, for everyone chosen there (wine
    asks for no rights: the elevated restart is not seen); run again, it upgrades that copy and skips
    the page."""
    wow64 = s.arch == "win64" and pe_arch(setup) == "win32"
    s.view = [] if s.arch == "win32" else ["/reg:32" if wow64 else "/reg:64"]
    install_dir = "C:\\" + ("Program Files (x86)" if wow64 else "Program Files") + "\\VELMO 2"
    s.open_driver()
    s.drv("windows")

    def page(*texts):
        return s.wait_window(lambda w: w["caption"].strip() == "VELMO 2 Setup" and all(t in w["text"] for t in texts), 30)

    def click(window, text):
        x, y = s.drv(f"child-center {window['hwnd']} {text}").split()[1:]
        s._run(["xdotool", "mousemove", x, y, "click", "1"])

    for upgrade in (False, True):
        setup_proc = s._spawn(s.wine(setup))
        w = page("Setup will upgrade VELMO 2 from version" if upgrade else "Setup will install version")
        s.drv(f"press {w['hwnd']} 1")                      # Next
        w = page("License Agreement")
        s.drv(f"press {w['hwnd']} 1")                      # I Agree
        if upgrade:
            w = page("Upgrade Location")                   # no Choose Users page: the copy's scope
        else:
            w = page("Choose Users", "just for you, or for everyone")
            click(w, "&Everyone who uses this computer")
            s.drv(f"press {w['hwnd']} 1")
            w = page("Choose Install Location")
        s.drv(f"press {w['hwnd']} 1")                      # Install
        w = page("Completing")
        click(w, "Run VELMO 2")                            # not run: the test is the wizard
        s.drv(f"press {w['hwnd']} 1")                      # Finish
        expect(setup_proc.wait(30), 0, "setup exit code")
        expect(entries_anywhere(s), ["HKLM " + " ".join(s.view)] if s.view else ["HKLM"], "Add/Remove entries")
        entry = reg_query(s, "HKLM\\" + UNINSTALL_KEY).stdout.decode("cp1252")
        location = re.search(r"InstallLocation +REG_SZ +(.*?)\r?$", entry, re.M)
        expect(location and location[1], install_dir, "installed for everyone in")
        expect(os.path.isfile(unix_path(s, install_dir + r"\VELMO.exe")), True, "VELMO.exe installed")


if __name__ == "__main__":
    if len(sys.argv) not in (4, 5):
        sys.exit(__doc__)
    build, setup, package = (os.path.abspath(a) for a in sys.argv[1:4])
    arch = sys.argv[4] if len(sys.argv) == 5 else pe_arch(os.path.join(build, "VELMO.exe"))
    run_tests({"all_users": lambda s: install_and_uninstall(s, setup, package, "all"),
               "current_user": lambda s: install_and_uninstall(s, setup, package, "user"),
               "all_users_folder": lambda s: install_and_uninstall(s, setup, package, "all", r"C:\Tools\Velmo", False),
               "wizard": lambda s: wizard(s, setup)},
              build, setup, arch)
