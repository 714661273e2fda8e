"""Every text that ships tells the project's version, and no other: VELMO.exe's version record, About
box and manifest, README.txt, VELMO.HLP, VELMO.chm, the installer's and the uninstaller's version
records, and the installer's texts and Add/Remove DisplayVersion. The newest entry of the changelog,
CHANGELOG.md and the CHANGES.TXT made from it, is the version. The About box's copyright is the
version record's."""
import lzma
import os
import re
import struct
import subprocess
import zipfile

import pytest

CHANGELOG = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "CHANGELOG.md")
# The version record names the file it ships as
FIXED = {"OriginalFilename": "VELMO.exe"}


@pytest.fixture(scope="module")
def version(option):
    return option.project_version


@pytest.fixture(scope="module")
def name(option, version):
    """The packages' name without its ending: VELMO-2.0.1-win64."""
    arch = re.search(r"-(win32|win64)\.zip$", option.zip)
    return f"VELMO-{version}-{arch[1] if arch else 'win??'}"


def other_versions(text, version):
    """Each "version N" in running text that is not the version."""
    return sorted(set(re.findall(r"\bversion (\d+(?:\.\d+)+)", text)) - {version})


def resources(option, path):
    """The resources of a Windows program as windres writes them in a resource script."""
    return subprocess.run([option.rc, "-i", str(path), "-O", "rc"], check=True, capture_output=True,
                          text=True, encoding="latin-1").stdout


def newest_entry(text):
    """The version of a changelog's newest entry ("## [2.0.1] - 2026-12-07"), Unreleased passed over."""
    entries = re.findall(r"^## \[([^\]]+)\] - \d{4}-\d{2}-\d{2}\s*$", text, re.M)
    return next((v for v in entries if v.lower() != "unreleased"), None)


def assert_record(rc, version, strings):
    numbers = ", ".join(version.split(".") + ["0"])  # 2.0.1 -> "2, 0, 1, 0"
    assert re.search(rf"^ FILEVERSION {numbers}\n PRODUCTVERSION {numbers}$", rc, re.M), \
        f"version record's numbers not {numbers}"
    assert [f'{k} "{v}"' for k, v in strings.items() if f'VALUE "{k}", "{v}"' not in rc] == [], \
        "version record's strings not as wanted"


@pytest.fixture(scope="module")
def shipped(option):
    with zipfile.ZipFile(option.zip) as z:
        return {os.path.basename(n): z.read(n) for n in z.namelist() if not n.endswith("/")}


@pytest.fixture(scope="module")
def installed(option, tmp_path_factory):
    """The folder the installer unpacks to, its help file's pages in chm/."""
    folder = tmp_path_factory.mktemp("setup")
    subprocess.run(["7z", "x", "-y", f"-o{folder}", option.setup], check=True, capture_output=True)
    subprocess.run(["7z", "x", "-y", f"-o{folder / 'chm'}", folder / "VELMO.chm"], check=True, capture_output=True)
    return folder


def test_program(option, installed, version):
    program = resources(option, installed / "VELMO.exe")
    numbers = ", ".join(version.split(".") + ["0"])
    assert_record(program, version, dict(FIXED, FileVersion=numbers, ProductVersion=numbers))
    about = re.search(r'CONTROL "([^"]*)", 114,', program)
    assert about and about[1].startswith(f"VELMO 2, version {version}\\n"), "About box's notice"
    copyright = re.search(r'VALUE "LegalCopyright", "([^"]*)"', program)
    assert copyright and f"\\n{copyright[1]}" in about[1], "About box's copyright not the version record's"
    assert re.search(rf'name=""Mondrel\.VELMO2"" version=""{re.escape(version)}\.0""', program), \
        f"manifest's assembly version not {version}.0"
    assert other_versions(program, version) == []


def test_readme(shipped, name, version):
    readme = shipped["README.txt"].decode("cp1252")
    arch = name.rsplit("-", 1)[1]
    assert readme.startswith(f"VELMO 2, version {version} ({arch})\r\n"), f"README.txt's first line: {readme[:40]!r}"
    assert f"{name}-setup.exe" in readme, f"README.txt does not name {name}-setup.exe"
    assert set(re.findall(r"VELMO-([^-\s]+)-win", readme)) - {version} == set(), "README.txt: other package versions"
    assert other_versions(readme, version) == []


def test_changelog(shipped, version):
    changelog = open(CHANGELOG, encoding="utf-8").read()
    assert newest_entry(changelog) == version, "CHANGELOG.md's newest entry"
    changes = shipped["CHANGES.TXT"].decode("cp1252")
    assert changes.isascii(), "CHANGES.TXT not plain ASCII, as every Windows shows it"
    assert changes == changelog.replace("\n", "\r\n"), "CHANGES.TXT is not CHANGELOG.md with CRLF line ends"


@pytest.mark.parametrize("help_file", ["VELMO.HLP", "VELMO.chm"])
def test_help(shipped, installed, version, help_file):
    if help_file == "VELMO.HLP":
        text = shipped["VELMO.HLP"].decode("latin-1")
    else:
        text = "".join(p.read_text(encoding="latin-1") for p in sorted((installed / "chm").glob("*.html")))
    assert f"VELMO 2, version {version}," in text, f"{help_file} does not say \"VELMO 2, version {version}\""
    assert other_versions(text, version) == []


def nsis_script(path):
    """The installer's script data: the start of its solid LZMA stream, after its first header."""
    data = open(path, "rb").read()
    at = data.find(b"\xef\xbe\xad\xdeNullsoftInst")
    props = data[at + 24:at + 29]
    filters = [{"id": lzma.FILTER_LZMA1, "dict_size": struct.unpack_from("<I", props, 1)[0],
                "lc": props[0] % 9, "lp": props[0] // 9 % 5, "pb": props[0] // 45}]
    stream = lzma.LZMADecompressor(lzma.FORMAT_RAW, filters=filters).decompress(data[at + 29:], 1 << 20)
    return stream[4:4 + struct.unpack_from("<I", stream)[0]]


def test_installer(option, installed, version):
    strings = {"ProductVersion": version, "FileVersion": version}
    assert_record(resources(option, option.setup), version, strings)
    assert_record(resources(option, installed / "uninstall.exe"), version, strings)
    script = nsis_script(option.setup).decode("utf-16-le", "replace")
    assert f"\0{version}\0" in script, f"the installer has no string \"{version}\" (Add/Remove DisplayVersion)"
    assert f"install version {version} of" in script, f"the Welcome page does not say \"install version {version}\""
    assert other_versions(script, version) == []
