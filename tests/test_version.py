#!/usr/bin/env python3
"""Every text that ships tells the project's version, and no other: the package names, VELMO.exe's
version record, About box and manifest, README.txt, VELMO.HLP, VELMO.chm, the installer's and the
uninstaller's version records, and the installer's texts and Add/Remove DisplayVersion. The newest entry of the
changelog, CHANGELOG.md and the CHANGES.TXT made from it, is the version. The files are read from the
zip; the installer must hold the same ones.

usage: test_version.py VERSION WINDRES ZIP SETUP [CHANGELOG.md]
"""
import lzma
import os
import re
import struct
import subprocess
import sys
import tempfile
import zipfile

if len(sys.argv) not in (5, 6):
    sys.exit(__doc__)
VERSION, WINDRES, ZIP, SETUP = sys.argv[1:5]
CHANGELOG = sys.argv[5] if len(sys.argv) == 6 else None
RECORD = ", ".join(VERSION.split(".") + ["0"])  # 2.0.1 -> "2, 0, 1, 0"
# The version record's values that never change with the version
FIXED = {"FileDescription": "RPN Calculator", "InternalName": "VELMO", "OriginalFilename": "VELMO.exe",
         "ProductName": "VELMO"}
failures = []


def check(ok, what):
    print(("ok      " if ok else "WRONG   ") + what)
    if not ok:
        failures.append(what)


def prose_versions(where, text):
    """A "version N" in running text must be the version."""
    others = sorted(set(re.findall(r"\bversion (\d+(?:\.\d+)+)", text)) - {VERSION})
    check(not others, f"{where}: no other version in its text {others or ''}")


def resources(path):
    """The resources of a Windows program as windres writes them in a resource script."""
    return subprocess.run([WINDRES, "-i", path, "-O", "rc"], check=True, capture_output=True,
                          text=True, encoding="latin-1").stdout


def changelog_entries(text):
    """The versions of a changelog's entries, newest first ("## [2.0.1] - 2026-12-07"), Unreleased passed over."""
    return [v for v in re.findall(r"^## \[([^\]]+)\] - \d{4}-\d{2}-\d{2}\s*$", text, re.M) if v.lower() != "unreleased"]


def changelog(where, text):
    entries = changelog_entries(text)
    check(entries[:1] == [VERSION], f"{where}: the newest entry is version {VERSION} (found: {entries[0] if entries else 'no entry'})")


def record(where, rc, strings):
    check(re.search(rf"^ FILEVERSION {RECORD}\n PRODUCTVERSION {RECORD}$", rc, re.M) is not None,
          f"{where}: version record's numbers {RECORD}")
    for name, value in strings.items():
        check(f'VALUE "{name}", "{value}"' in rc, f'{where}: version record\'s {name} "{value}"')


def nsis_script(path):
    """The installer's script data: the start of its solid LZMA stream, after its first header."""
    data = open(path, "rb").read()
    at = data.find(b"\xef\xbe\xad\xdeNullsoftInst")
    props = data[at + 24:at + 29]
    filters = [{"id": lzma.FILTER_LZMA1, "dict_size": struct.unpack_from("<I", props, 1)[0],
                "lc": props[0] % 9, "lp": props[0] // 9 % 5, "pb": props[0] // 45}]
    stream = lzma.LZMADecompressor(lzma.FORMAT_RAW, filters=filters).decompress(data[at + 29:], 1 << 20)
    return stream[4:4 + struct.unpack_from("<I", stream)[0]]


arch = (re.search(r"-(win32|win64)\.zip$", ZIP) or ["", "win??"])[1]
name = f"VELMO-{VERSION}-{arch}"
check(os.path.basename(ZIP) == name + ".zip", f"zip named {name}.zip: {os.path.basename(ZIP)}")
check(os.path.basename(SETUP) == name + "-setup.exe", f"installer named {name}-setup.exe: {os.path.basename(SETUP)}")
with zipfile.ZipFile(ZIP) as z:
    # The folder has an 8.3 name (tests/test_zip.py)
    folder = z.namelist()[0].split("/")[0]
    check(folder in ("VELMO" + VERSION.replace(".", ""), "VELMO") and all(n.startswith(folder + "/") for n in z.namelist()),
          f"zip's files in the folder {folder}/, which tells the version where it fits")
    shipped = {os.path.basename(n): z.read(n) for n in z.namelist() if not n.endswith("/")}

with tempfile.TemporaryDirectory() as tmp:
    subprocess.run(["7z", "x", "-y", "-o" + tmp, SETUP], check=True, capture_output=True)
    installed = {n: open(os.path.join(tmp, n), "rb").read() for n in os.listdir(tmp) if os.path.isfile(os.path.join(tmp, n))}
    unlike = sorted(n for n, data in shipped.items() if installed.get(n) != data)
    check(not unlike, f"installer holds the zip's {len(shipped)} files {unlike or ''}")
    uninstaller = resources(os.path.join(tmp, "uninstall.exe"))
    exe = os.path.join(tmp, "VELMO.exe")
    program = resources(exe)
    chm = os.path.join(tmp, "VELMO.chm")
    pages = os.path.join(tmp, "chm")
    subprocess.run(["7z", "x", "-y", "-o" + pages, chm], check=True, capture_output=True)
    chm_text = "".join(open(os.path.join(pages, n), encoding="latin-1").read() for n in sorted(os.listdir(pages))
                       if n.endswith(".html"))
setup = resources(SETUP)

record("VELMO.exe", program, dict(FIXED, FileVersion=RECORD, ProductVersion=RECORD))
about = re.search(r'CONTROL "([^"]*)", 114,', program)
check(about is not None and about[1].startswith(f"VELMO 2, version {VERSION}\\n"),
      f"About box: \"VELMO 2, version {VERSION}\" ({about[1] if about else 'no notice'})")
check(re.search(rf'name=""Mondrel\.VELMO2"" version=""{re.escape(VERSION)}\.0""', program) is not None,
      f"manifest: assembly version {VERSION}.0")
prose_versions("VELMO.exe", program)

readme = shipped.get("README.txt", b"").decode("cp1252")
check(readme.startswith(f"VELMO 2, version {VERSION} ({arch})\r\n"), f"README.txt: first line \"VELMO 2, version {VERSION} ({arch})\"")
check(f"{name}-setup.exe" in readme, f"README.txt: names {name}-setup.exe")
check(not set(re.findall(r"VELMO-([^-\s]+)-win", readme)) - {VERSION}, "README.txt: no other package version")
prose_versions("README.txt", readme)

changes = shipped.get("CHANGES.TXT", b"").decode("cp1252")
check(changes.isascii(), "CHANGES.TXT: plain ASCII, as every Windows shows it")
check("\r\n" in changes and "\n" not in changes.replace("\r\n", ""), "CHANGES.TXT: CRLF line ends")
changelog("CHANGES.TXT", changes.replace("\r\n", "\n"))
if CHANGELOG:
    changelog(os.path.basename(CHANGELOG), open(CHANGELOG, encoding="utf-8").read())
    check(open(CHANGELOG, encoding="utf-8").read() == changes.replace("\r\n", "\n"), "CHANGES.TXT: the changelog as it is")

hlp = shipped.get("VELMO.HLP", b"").decode("latin-1")
check(f"VELMO 2, version {VERSION}," in hlp, f"VELMO.HLP: \"VELMO 2, version {VERSION}\"")
prose_versions("VELMO.HLP", hlp)
check(f"VELMO 2, version {VERSION}," in chm_text, f"VELMO.chm: \"VELMO 2, version {VERSION}\"")
prose_versions("VELMO.chm", chm_text)

installer_strings = {"ProductVersion": VERSION, "FileVersion": VERSION}
record("installer", setup, installer_strings)
record("uninstaller", uninstaller, installer_strings)
script = nsis_script(SETUP).decode("utf-16-le", "replace")
check(f"\0{VERSION}\0" in script, f"installer: the string \"{VERSION}\" of its own (Add/Remove DisplayVersion)")
check(f"install version {VERSION} of" in script, f"installer: Welcome page \"install version {VERSION}\"")
prose_versions("installer", script)

print(f"{len(failures)} wrong" if failures else f"Every text says version {VERSION}")
sys.exit(1 if failures else 0)
