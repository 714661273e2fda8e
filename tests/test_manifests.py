"""The winget and Scoop manifests of a release folder, against the rules of their published schemas and
against the packages beside them.

Schemas: tests/manifests/*.schema.json hold the rules of the winget manifests of ManifestVersion
1.28.0 (version, defaultLocale, installer) and of a Scoop app manifest, for the fields ours use:
required fields, types, lengths, patterns and enumerations, with unknown fields refused. They are
checked with python3-jsonschema; nothing is fetched. Beside them, the rules that winget's schema
states only in words: one identifier, version and ManifestVersion in the three files, and the
files' names and folder.

Packages: every zip and installer in the folder is listed, and nothing else: each installer twice,
Scope user with /CURRENTUSER and machine with /ALLUSERS, as a nullsoft installer (silent /S, folder
/D=, ProductCode "VELMO 2"), each zip once as a portable VELMO.exe that is in the zip; each with the
file's SHA-256, the architecture of its name and the address URL/VERSION/NAME. Scoop lists each zip
under its architecture with its hash, its folder as extract_dir, and a program and shortcut that are
in it. CHANGELOG.md lies beside them, where the release notes' address names it.

The checks must refuse what is wrong: copies of the manifests, each spoilt in one way (a wrong
hash in either manifest, a required field taken out, a value outside its set or its pattern, an
unknown field), must each be refused.

With --packages=PACKAGES the folder (--manifests) is first made from a build tree's packages folder: its
zip and installer, CHANGELOG.md and the manifests that build-aux/manifests.py writes from PACKAGES/release.json.
"""
import datetime
import glob
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import urllib.parse
import zipfile

import jsonschema
import pytest
import yaml

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
IDENTIFIER = "Mondrel.VELMO2"
MANIFEST_VERSION = "1.28.0"
# The installer's scope switches and uninstall key, as test_install.py drives and finds them
SCOPE_SWITCH = {"user": "/CURRENTUSER", "machine": "/ALLUSERS"}
WINGET_ARCH = {"win64": "x64", "win32": "x86"}
SCOOP_ARCH = {"win64": "64bit", "win32": "32bit"}


def schema(name):
    with open(os.path.join(HERE, "manifests", name + ".schema.json"), encoding="utf-8") as f:
        return json.load(f)


FORMATS = jsonschema.FormatChecker(formats=())


@FORMATS.checks("date", raises=ValueError)
def is_date(value):
    return not isinstance(value, str) or bool(datetime.date.fromisoformat(value))


@FORMATS.checks("uri")
def is_uri(value):
    if not isinstance(value, str):
        return True
    parts = urllib.parse.urlsplit(value)
    return parts.scheme in ("http", "https") and bool(parts.netloc) and " " not in value


VALIDATORS = {name: jsonschema.Draft7Validator(schema(name), format_checker=FORMATS)
              for name in ("winget-version", "winget-defaultLocale", "winget-installer", "scoop")}


def against_schema(name, document, where):
    problems = []
    for error in sorted(VALIDATORS[name].iter_errors(document), key=lambda e: list(e.absolute_path)):
        at = "/".join(str(p) for p in error.absolute_path) or "(top)"
        problems.append(f"{where}: {at}: {error.message}")
    return problems


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def load_yaml(path):
    with open(path, encoding="utf-8") as f:
        return yaml.safe_load(f)


def winget_folder(folder, version):
    return os.path.join(folder, "winget", "manifests", IDENTIFIER[0].lower(), *IDENTIFIER.split("."), version)


def check(folder, version):
    """Everything wrong with the manifests of the release folder, as lines of text."""
    problems = []
    packages = {}
    for path in sorted(glob.glob(os.path.join(folder, "VELMO-*"))):
        found = re.fullmatch(rf"VELMO-{re.escape(version)}-(win32|win64)(\.zip|-setup\.exe)", os.path.basename(path))
        if not found:
            problems.append(f"{os.path.basename(path)}: not a package of version {version}")
            continue
        packages[os.path.basename(path)] = (found[1], "zip" if found[2] == ".zip" else "setup", sha256(path))
    if not packages:
        return problems + [f"no packages of version {version} in {folder}"]
    zips = {}
    for name, (arch, kind, _) in packages.items():
        if kind == "zip":
            entries = zipfile.ZipFile(os.path.join(folder, name)).namelist()
            zips[name] = (entries[0].split("/")[0], set(entries))

    # winget: the three files and nothing else, in the folder of the identifier and version
    where = winget_folder(folder, version)
    names = {"version": f"{IDENTIFIER}.yaml", "installer": f"{IDENTIFIER}.installer.yaml"}
    locales = glob.glob(os.path.join(where, f"{IDENTIFIER}.locale.*.yaml"))
    present = sorted(os.path.basename(p) for p in glob.glob(os.path.join(where, "*")))
    if len(locales) != 1 or sorted(list(names.values()) + [os.path.basename(p) for p in locales]) != present:
        return problems + [f"winget: {os.path.relpath(where, folder)} holds {present}, not the version, "
                           "installer and one locale manifest"]
    names["defaultLocale"] = os.path.basename(locales[0])
    docs = {}
    for kind, name in names.items():
        docs[kind] = load_yaml(os.path.join(where, name))
        if not isinstance(docs[kind], dict):
            problems.append(f"{name}: not a mapping")
            return problems
        problems += against_schema(f"winget-{kind}", docs[kind], name)
    for kind, doc in docs.items():
        for key, want in (("PackageIdentifier", IDENTIFIER), ("PackageVersion", version),
                          ("ManifestVersion", MANIFEST_VERSION)):
            if doc.get(key) != want:
                problems.append(f"{names[kind]}: {key} is {doc.get(key)!r}, not {want!r}")
    locale = docs["version"].get("DefaultLocale")
    if (docs["defaultLocale"].get("PackageLocale") != locale
            or names["defaultLocale"] != f"{IDENTIFIER}.locale.{locale}.yaml"):
        problems.append(f"{names['defaultLocale']}: not the locale manifest of the DefaultLocale {locale!r}")

    installer = docs["installer"]
    entries = installer.get("Installers") if isinstance(installer.get("Installers"), list) else []
    entries = [e for e in entries if isinstance(e, dict)]
    base = None
    listed = {}
    for i, entry in enumerate(entries):
        at = f"{names['installer']}: Installers/{i}"
        merged = {k: v for k, v in installer.items() if k not in ("Installers", "ManifestType", "ManifestVersion")}
        merged.update(entry)
        kind = merged.get("InstallerType")
        url = str(entry.get("InstallerUrl", ""))
        directory, _, name = url.rpartition("/")
        if base is None:
            base = directory + "/"
        if directory + "/" != base or not directory.endswith("/" + version):
            problems.append(f"{at}: {url} is not in the one folder .../{version}/ of the others")
        if name not in packages:
            problems.append(f"{at}: {name} is not a package in the folder")
            continue
        arch, package_kind, digest = packages[name]
        listed.setdefault(name, []).append(merged)
        if str(entry.get("InstallerSha256", "")).lower() != digest:
            problems.append(f"{at}: InstallerSha256 {entry.get('InstallerSha256')} is not the SHA-256 of {name}, "
                            f"{digest.upper()}")
        if merged.get("Architecture") != WINGET_ARCH[arch]:
            problems.append(f"{at}: Architecture {merged.get('Architecture')!r} for {name}")
        if package_kind == "setup":
            switches = merged.get("InstallerSwitches") or {}
            scope = merged.get("Scope")
            if kind != "nullsoft" or switches.get("Custom") != SCOPE_SWITCH.get(scope):
                problems.append(f"{at}: {name} is not a nullsoft installer of Scope {scope} with its switch")
            if switches.get("Silent") != "/S" or switches.get("SilentWithProgress") != "/S":
                problems.append(f"{at}: the silent switches are not /S")
            if switches.get("InstallLocation") != "/D=<INSTALLPATH>":
                problems.append(f"{at}: InstallLocation is not /D=<INSTALLPATH>")
            if merged.get("ProductCode") != "VELMO 2":
                problems.append(f"{at}: ProductCode {merged.get('ProductCode')!r}, not the uninstall key 'VELMO 2'")
        else:
            top, inside = zips[name]
            files = merged.get("NestedInstallerFiles") or [{}]
            path = str(files[0].get("RelativeFilePath", ""))
            if kind != "zip" or merged.get("NestedInstallerType") != "portable" or len(files) != 1:
                problems.append(f"{at}: {name} is not listed as a zip holding one portable program")
            if path.replace("\\", "/") != f"{top}/VELMO.exe" or f"{top}/VELMO.exe" not in inside:
                problems.append(f"{at}: RelativeFilePath {path!r} is not {top}\\VELMO.exe in {name}")
            if not files[0].get("PortableCommandAlias"):
                problems.append(f"{at}: no PortableCommandAlias")
    for name, (arch, kind, _) in packages.items():
        scopes = sorted(str(e.get("Scope")) for e in listed.get(name, []))
        want = ["machine", "user"] if kind == "setup" else ["None"]
        if scopes != want:
            problems.append(f"{names['installer']}: {name} is listed {len(scopes)} times, scopes {scopes}, not {want}")
    notes = docs["defaultLocale"].get("ReleaseNotesUrl")
    if base is not None and notes != base + "CHANGELOG.md":
        problems.append(f"{names['defaultLocale']}: ReleaseNotesUrl {notes!r} is not {base}CHANGELOG.md")
    changelog = os.path.join(folder, "CHANGELOG.md")
    if not os.path.isfile(changelog):
        problems.append("CHANGELOG.md is not in the folder, where the release notes' address names it")

    # Scoop
    scoop_path = os.path.join(folder, "scoop", "velmo2.json")
    try:
        with open(scoop_path, encoding="utf-8") as f:
            scoop = json.load(f)
    except (OSError, ValueError) as error:
        return problems + [f"scoop/velmo2.json: {error}"]
    problems += against_schema("scoop", scoop, "scoop/velmo2.json")
    if scoop.get("version") != version:
        problems.append(f"scoop/velmo2.json: version {scoop.get('version')!r}, not {version!r}")
    archs = scoop.get("architecture") if isinstance(scoop.get("architecture"), dict) else {}
    want_archs = {SCOOP_ARCH[packages[name][0]]: name for name in zips}
    if sorted(archs) != sorted(want_archs):
        problems.append(f"scoop/velmo2.json: architectures {sorted(archs)}, not those of the zips {sorted(want_archs)}")
    for label, name in want_archs.items():
        arch = archs.get(label)
        if not isinstance(arch, dict):
            continue
        at = f"scoop/velmo2.json: architecture/{label}"
        digest = packages[name][2]
        if arch.get("url") != (base or "") + name:
            problems.append(f"{at}: url {arch.get('url')!r} is not {base}{name}")
        if str(arch.get("hash", "")).lower().removeprefix("sha256:") != digest:
            problems.append(f"{at}: hash {arch.get('hash')} is not the SHA-256 of {name}, {digest}")
        top, inside = zips[name]
        extract = arch.get("extract_dir", scoop.get("extract_dir"))
        if extract != top:
            problems.append(f"{at}: extract_dir {extract!r} is not the zip's folder {top!r}")
        bins = arch.get("bin", scoop.get("bin"))
        bins = [bins] if isinstance(bins, str) else bins or []
        shortcuts = arch.get("shortcuts", scoop.get("shortcuts")) or []
        targets = [b if isinstance(b, str) else b[0] for b in bins] + [s[0] for s in shortcuts if s]
        if "VELMO.exe" not in targets[:1] or not shortcuts:
            problems.append(f"{at}: no bin VELMO.exe and Start-menu shortcut")
        for target in targets:
            if f"{top}/{target}" not in inside:
                problems.append(f"{at}: {target} is not in {name}'s folder {top}")
    return problems


def winget_file(root, version, kind):
    """The path of the version, installer or locale manifest under root."""
    where = winget_folder(root, version)
    if kind == "locale":
        return glob.glob(os.path.join(where, f"{IDENTIFIER}.locale.*.yaml"))[0]
    return os.path.join(where, f"{IDENTIFIER}.installer.yaml" if kind == "installer" else f"{IDENTIFIER}.yaml")


def yaml_edit(kind, edit):
    def change(root, version):
        path = winget_file(root, version, kind)
        document = load_yaml(path)
        edit(document)
        with open(path, "w", encoding="utf-8") as f:
            yaml.safe_dump(document, f, sort_keys=False)
    return change


def json_edit(edit):
    def change(root, version):
        path = os.path.join(root, "scoop", "velmo2.json")
        with open(path, encoding="utf-8") as f:
            document = json.load(f)
        edit(document)
        with open(path, "w", encoding="utf-8") as f:
            json.dump(document, f, indent=4)
    return change


def other_hash(value):
    value = str(value)
    return value[:-1] + ("0" if value[-1] != "0" else "1")


def first(document):
    return document["Installers"][0]


def first_arch(document):
    return next(iter(document["architecture"].values()))


# Copies of the release folder, each with one thing wrong: the check must refuse each. One case
# for each kind of rule: the packages' hash in either manifest, and each kind of schema rule
SPOILT = [
    ("winget installer: a wrong InstallerSha256",
     yaml_edit("installer", lambda d: first(d).update(InstallerSha256=other_hash(first(d)["InstallerSha256"])))),
    ("winget installer: a misspelt field",
     yaml_edit("installer", lambda d: first(d).update(InstallerSha265="0" * 64))),
    ("winget defaultLocale: License taken out", yaml_edit("locale", lambda d: d.pop("License"))),
    ("winget version: ManifestType 'versions'", yaml_edit("version", lambda d: d.update(ManifestType="versions"))),
    ("winget version: PackageIdentifier without a dot",
     yaml_edit("version", lambda d: d.update(PackageIdentifier="VELMO2"))),
    ("scoop: a wrong hash", json_edit(lambda d: first_arch(d).update(hash=other_hash(first_arch(d)["hash"])))),
]


def make(folder, packages):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for path in glob.glob(os.path.join(packages, "VELMO-*")):
        shutil.copy2(path, folder)
    shutil.copy2(os.path.join(SOURCE, "CHANGELOG.md"), folder)
    subprocess.run([sys.executable, os.path.join(SOURCE, "build-aux", "manifests.py"), folder,
                    os.path.join(packages, "release.json")], check=True)


@pytest.fixture(scope="module")
def release(option):
    """The release folder, made first from a build's packages with --packages, and what is wrong with it."""
    folder = os.path.abspath(option.manifests)
    if option.packages:
        make(folder, option.packages)
    return folder, check(folder, option.project_version)


def test_manifests(release):
    assert release[1] == [], f"the manifests in {release[0]} against the schemas and the packages"


def checked_copy(release, version, scratch, change):
    """What is wrong with a copy of the release folder after change(root, version)."""
    if release[1]:
        pytest.skip("the manifests themselves are refused")
    root = os.path.join(scratch, "release")
    shutil.copytree(release[0], root)
    change(root, version)
    return check(root, version)


@pytest.mark.parametrize("what,change", SPOILT, ids=[what for what, _ in SPOILT])
def test_spoilt_copy_refused(release, option, tmp_path, what, change):
    found = checked_copy(release, option.project_version, tmp_path, change)
    assert found, f"taken: {what}"
