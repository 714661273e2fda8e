"""An installer under wine, in a fresh prefix of the build's architecture or the one given: install,
use, upgrade, uninstall, and nothing left behind; for everyone, just for the user, and for everyone
into a folder given with /D=; and the wizard clicked through.

    pytest tests/e2e/test_install.py --build=BUILD --setup=SETUP_EXE --zip=ZIP [--prefix-arch=win64]
"""
import os
import re
import struct
import subprocess
import zipfile

import pefile
import pytest

import program
import soundlist
from program import REG_SZ, back_to_main, expect_exit, sound_dialog, wait_viewer
from winenv import pe_arch, poll

UNINSTALLS = r"Software\Microsoft\Windows\CurrentVersion\Uninstall"
UNINSTALL_KEY = UNINSTALLS + r"\VELMO 2"
SESSION_KEY = r"HKLM\System\CurrentControlSet\Control\Session Manager"
SETTINGS_KEY = r"HKCU\Software\Mondrel\VELMO 2"
NEIGHBOUR_KEY = r"HKCU\Software\Mondrel\Other Product"
# The Sound setting with sound on: REG_SZ "1"
SOUND_ON = (REG_SZ, b"1\0")


@pytest.fixture
def s(option):
    """A fresh prefix of the build's architecture, or of --prefix-arch, with the driver ready."""
    for name in ("build", "setup", "zip"):
        if not getattr(option, name):
            pytest.fail(f"--{name} is needed")
    arch = option.prefix_arch or pe_arch(os.path.join(option.build, "VELMO.exe"))
    with program.session(option.build, option.setup, arch) as session:
        yield session


def shortcut_has(path, target, folder):
    """Whether a shell link holds target as its local path (ANSI, in its link info) and folder as its
    working directory (a UTF-16 string counted with its terminator, exactly the folder)."""
    with open(path, "rb") as f:
        data = f.read()
    counted = struct.pack("<H", len(folder) + 1) + (folder + "\0").encode("utf-16-le")
    return target.encode("cp1252") + b"\0" in data, counted in data


def execution_level(path):
    """What the program's manifest asks Windows for: asInvoker, highestAvailable or requireAdministrator."""
    with pefile.PE(path, fast_load=True) as pe:
        pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
        manifest = ""
        for kind in getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None) and pe.DIRECTORY_ENTRY_RESOURCE.entries or []:
            if kind.id == pefile.RESOURCE_TYPE["RT_MANIFEST"]:
                # The first name, in its first language
                data = kind.directory.entries[0].directory.entries[0].data.struct
                manifest = pe.get_data(data.OffsetToData, data.Size).decode("utf-8")
                break
    found = re.findall(r'<requestedExecutionLevel\s+level="(\w+)"', manifest)
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


def expect_ran(s, what, *cmd):
    done = run(s, *cmd)
    assert done.returncode == 0, f"{what}: exit code {done.returncode}, expected 0\n{done.stderr.decode('cp1252')}"


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


def uninstall_entry(s, key):
    return dict(re.findall(r"^ +(\S+) +REG_\w+ +(.*?)\r?$", reg_query(s, key).stdout.decode("cp1252"), re.M))


@pytest.mark.parametrize("scope, folder, use", [("all", None, True), ("user", None, True),
                                                ("all", r"C:\Tools\Velmo", False)],
                         ids=["all_users", "current_user", "all_users_folder"])
def test_install_and_uninstall(s, option, scope, folder, use):
    """scope "all" (for everyone) or "user" (just me); folder: one given with /D=; use: start the
    installed program through its shortcut and work with it."""
    setup, package = os.path.abspath(option.setup), os.path.abspath(option.zip)
    wow64 = s.arch == "win64" and pe_arch(setup) == "win32"
    s.view = [] if s.arch == "win32" else ["/reg:32" if wow64 else "/reg:64"]
    drive_c = os.path.join(s.prefix, "drive_c")
    level = execution_level(setup)
    assert level == "asInvoker", f"the installer's manifest: requestedExecutionLevel {level!r}, expected 'asInvoker'"
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
    expect_ran(s, f"silent install ({' '.join(first[1:])})", *first)
    # HKLM in the installer's view; HKCU\Software is one for both views, as on 64-bit Windows
    views = ["/reg:32", "/reg:64"] if root == "HKCU" and s.arch == "win64" else [" ".join(s.view)]
    where = sorted(f"{root} {v}".strip() for v in views)
    found = entries_anywhere(s)
    assert found == where, f"Add/Remove entries (root and view): {found}, expected {where}"
    with zipfile.ZipFile(package) as z:
        shipped = {os.path.basename(n): z.read(n) for n in z.namelist() if not n.endswith("/")}
    missing = {"VELMO.exe", "VELMO.HLP", "README.txt", "LICENSE.txt", *soundlist.NAMES} - set(shipped)
    assert not missing, f"missing in the zip: {sorted(missing)}"
    listed, wanted = sorted(os.listdir(installed)), sorted(list(shipped) + ["uninstall.exe"])
    assert listed == wanted, f"installed files: {listed}, expected {wanted}"
    for name, data in shipped.items():
        with open(os.path.join(installed, name), "rb") as f:
            assert f.read() == data, f"{name} not installed as in the zip"
    level = execution_level(os.path.join(installed, "uninstall.exe"))
    assert level == "asInvoker", f"the uninstaller's manifest: requestedExecutionLevel {level!r}, expected 'asInvoker'"
    entry = uninstall_entry(s, uninstall_key)
    uninstaller = f'"{install_dir}\\uninstall.exe"'
    want = {"DisplayName": "VELMO 2", "DisplayVersion": re.search(r"VELMO-(.+)-win", package)[1],
            "Publisher": "Mondrel Software", "DisplayIcon": install_dir + r"\VELMO.exe,0",
            "InstallLocation": install_dir,
            "UninstallString": f"{uninstaller} {flag} _?={install_dir}",
            "QuietUninstallString": f"{uninstaller} /S {flag} _?={install_dir}", "NoModify": "0x1", "NoRepair": "0x1"}
    values = {name: entry.get(name) for name in want}
    assert values == want, f"Add/Remove entry: {values}, expected {want}"
    size = sum(os.path.getsize(os.path.join(installed, name)) for name in os.listdir(installed)) // 1024
    assert abs(int(entry.get("EstimatedSize", "0"), 0) - size) < 40, \
        f"EstimatedSize {entry.get('EstimatedSize')}, expected within 40 KB of the files' {size} KB"

    # Started as the shortcut starts it: in the install folder
    target, in_folder = shortcut_has(link, install_dir + r"\VELMO.exe", install_dir)
    assert target and in_folder, \
        f"shortcut holds the target {install_dir}\\VELMO.exe: {target}, the folder {install_dir}: {in_folder}"
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
        expect_exit(s)
        s.wait_gone(viewer)
    else:
        s.reg_set(*SOUND_ON)
    stored = s.reg_get()
    assert stored == SOUND_ON, f"Sound setting stored: {stored!r}, expected {SOUND_ON!r}"
    # Installed again over it: the same folder and entry, the setting kept. For everyone without
    # the option, which the installed copy's scope stands for; just me with it
    again = [setup, "/S"] + ([flag] if scope == "user" else [])
    expect_ran(s, f"upgrade ({' '.join(again[1:])})", *again)
    listed = sorted(os.listdir(installed))
    assert listed == wanted, f"installed files after the upgrade: {listed}, expected {wanted}"
    entries = run(s, "reg", "query", root + "\\" + UNINSTALLS, "/s", *s.view).stdout.decode("cp1252")
    count = len(re.findall(r"DisplayName +REG_SZ +VELMO 2\r?$", entries, re.M))
    assert count == 1, f"{count} Add/Remove entries after the upgrade, expected 1"
    found = entries_anywhere(s)
    assert found == where, f"Add/Remove entries after the upgrade (root and view): {found}, expected {where}"
    entry = uninstall_entry(s, uninstall_key)
    values = {name: entry.get(name) for name in want}
    assert values == want, f"Add/Remove entry after the upgrade: {values}, expected {want}"
    stored = s.reg_get()
    assert stored == SOUND_ON, f"Sound setting after the upgrade: {stored!r}, expected {SOUND_ON!r}"
    expect_ran(s, "neighbour key made", "reg", "add", NEIGHBOUR_KEY, "/f", *s.view)

    # As Add/Remove runs it: in place, done when it returns but for its own file and the folder
    args = want["QuietUninstallString"][len(uninstaller) + 1:].split(" ")
    expect_ran(s, "silent uninstall", os.path.join(installed, "uninstall.exe"), *args)
    poll(lambda: None if os.path.exists(installed) else True, 10, lambda: f"install folder left: {files(installed)}")
    assert not os.path.exists(link), f"shortcut left: {link}"
    # Asked while the driver keeps the wine server up: wine forgets them when it ends
    pending = run(s, "reg", "query", SESSION_KEY, "/v", "PendingFileRenameOperations")
    assert pending.returncode != 0, f"files left for a restart to delete: {pending.stdout.decode('cp1252')}"
    expect_ran(s, "restart", "wineboot", "-r")
    left = sorted(files(drive_c) - before)
    assert left == [], f"files left after uninstalling and a restart: {left}"
    found = entries_anywhere(s)
    assert found == [], f"Add/Remove entries left: {found}"
    assert not key_exists(s, SETTINGS_KEY), f"settings key left: {SETTINGS_KEY}"
    assert key_exists(s, NEIGHBOUR_KEY), f"another key of the maker removed: {NEIGHBOUR_KEY}"


def test_wizard(s, option):
    """The wizard as a user clicks through it: its Choose Users page, for everyone chosen there (wine
    asks for no rights: the elevated restart is not seen); run again, it upgrades that copy and skips
    the page."""
    setup = os.path.abspath(option.setup)
    wow64 = s.arch == "win64" and pe_arch(setup) == "win32"
    s.view = [] if s.arch == "win32" else ["/reg:32" if wow64 else "/reg:64"]
    install_dir = "C:\\" + ("Program Files (x86)" if wow64 else "Program Files") + "\\VELMO 2"
    s.open_driver()
    s.drv("windows")

    def page(*texts):
        return s.wait_window(lambda w: w["caption"].strip() == "VELMO 2 Setup" and all(t in w["text"] for t in texts),
                             30)

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
        code = setup_proc.wait(30)
        assert code == 0, f"setup exit code {code}, expected 0"
        found, where = entries_anywhere(s), ["HKLM " + " ".join(s.view)] if s.view else ["HKLM"]
        assert found == where, f"Add/Remove entries (root and view): {found}, expected {where}"
        entry = reg_query(s, "HKLM\\" + UNINSTALL_KEY).stdout.decode("cp1252")
        location = re.search(r"InstallLocation +REG_SZ +(.*?)\r?$", entry, re.M)
        location = location and location[1]
        assert location == install_dir, f"installed for everyone in {location!r}, expected {install_dir!r}"
        exe = unix_path(s, install_dir + r"\VELMO.exe")
        assert os.path.isfile(exe), f"VELMO.exe not installed: {exe}"
