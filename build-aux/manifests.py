#!/usr/bin/env python3
"""Writes the winget and Scoop manifests of a release into its folder, from the packages in that folder
and what each build tree says of them (packages/release.json: the version, the architecture, the
address the packages are served from, the home page and the release time).

  FOLDER/winget/manifests/m/Mondrel/VELMO2/VERSION/Mondrel.VELMO2.yaml                (version)
  FOLDER/winget/manifests/m/Mondrel/VELMO2/VERSION/Mondrel.VELMO2.locale.en-US.yaml   (defaultLocale)
  FOLDER/winget/manifests/m/Mondrel/VELMO2/VERSION/Mondrel.VELMO2.installer.yaml      (installer)
  FOLDER/scoop/velmo2.json

Each installer is listed twice, once per scope, each zip once, with the SHA-256 of the file as it is
in FOLDER. Every package is fetched from URL/VERSION/NAME, and the release notes are
URL/VERSION/CHANGELOG.md: FOLDER is the folder to serve there. Only the standard library is used.

usage: manifests.py FOLDER RELEASE.JSON...
"""
import datetime
import hashlib
import json
import os
import re
import sys
import zipfile

IDENTIFIER = "Mondrel.VELMO2"
MANIFEST_VERSION = "1.28.0"
LOCALE = "en-US"
PRODUCT = "VELMO 2"
PUBLISHER = "Mondrel Software"
PRODUCT_CODE = "VELMO 2"  # the installer's Add/Remove key, ...\Uninstall\VELMO 2
ALIAS = "velmo"
SHORT = "Reverse Polish Notation calculator for Windows"
DESCRIPTION = ("VELMO 2 is a Reverse Polish Notation calculator: type a number, press Enter, type the next "
               "and choose the operation. Every command has a key, every key and result can be spoken, and "
               "the help opens with F1.")
# The installer's switches: /S silent, /D= the folder (it must come last), and its two scopes
SWITCHES = {"Silent": "/S", "SilentWithProgress": "/S", "InstallLocation": "/D=<INSTALLPATH>"}
SCOPES = {"user": "/CURRENTUSER", "machine": "/ALLUSERS"}
WINGET_ARCH = {"win64": "x64", "win32": "x86"}
SCOOP_ARCH = {"win64": "64bit", "win32": "32bit"}


def sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest().upper()


def zip_folder(path):
    """The zip's one top folder, where VELMO.exe lies."""
    names = zipfile.ZipFile(path).namelist()
    folders = {n.split("/")[0] for n in names}
    if len(folders) != 1 or f"{min(folders)}/VELMO.exe" not in names:
        sys.exit(f"{path}: not one folder holding VELMO.exe")
    return min(folders)


# YAML as winget's own manifests are written: block mappings and sequences, strings plain where
# YAML reads them back as the same string, in single quotes otherwise
PLAIN = re.compile(r"[A-Za-z][A-Za-z0-9 ._/\\=<>()+,-]*(?<! )|https?://[A-Za-z0-9._~/%+-]+")
NOT_PLAIN = {"yes", "no", "true", "false", "on", "off", "null", "y", "n"}


def scalar(value):
    if PLAIN.fullmatch(value) and value.lower() not in NOT_PLAIN:
        return value
    return "'" + value.replace("'", "''") + "'"


def yaml_lines(value, indent=""):
    lines = []
    if isinstance(value, dict):
        for key, item in value.items():
            if isinstance(item, (dict, list)):
                lines.append(f"{indent}{key}:")
                lines += yaml_lines(item, indent + ("" if isinstance(item, list) else "  "))
            else:
                lines.append(f"{indent}{key}: {scalar(item)}")
    else:
        for item in value:
            if isinstance(item, dict):
                inner = yaml_lines(item, indent + "  ")
                lines.append(indent + "- " + inner[0][len(indent) + 2:])
                lines += inner[1:]
            else:
                lines.append(f"{indent}- {scalar(item)}")
    return lines


def write_yaml(path, kind, fields):
    text = (f"# yaml-language-server: $schema=https://aka.ms/winget-manifest.{kind}.{MANIFEST_VERSION}.schema.json\n"
            "# Written by build-aux/manifests.py from the release's packages\n\n"
            + "\n".join(yaml_lines(fields)) + "\n")
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    folder = sys.argv[1]
    trees = [json.load(open(path, encoding="utf-8")) for path in sys.argv[2:]]
    one = trees[0]
    for tree in trees[1:]:
        for key in ("version", "url", "homepage", "epoch"):
            if tree[key] != one[key]:
                sys.exit(f"the build trees differ in {key}: {one[key]!r} and {tree[key]!r}")
    version, homepage = one["version"], one["homepage"]
    base = f"{one['url'].rstrip('/')}/{version}/"
    released = datetime.datetime.fromtimestamp(int(one["epoch"]), datetime.timezone.utc).date().isoformat()
    product = {"DisplayName": PRODUCT, "Publisher": PUBLISHER, "DisplayVersion": version, "ProductCode": PRODUCT_CODE}

    setups, zips, scoop_archs = [], [], {}
    for tree in sorted(trees, key=lambda t: t["arch"], reverse=True):  # win64 first
        arch = tree["arch"]
        setup, archive = f"VELMO-{version}-{arch}-setup.exe", f"VELMO-{version}-{arch}.zip"
        setup_hash, zip_hash = sha256(os.path.join(folder, setup)), sha256(os.path.join(folder, archive))
        top = zip_folder(os.path.join(folder, archive))
        for scope, switch in SCOPES.items():
            setups.append({
                "Architecture": WINGET_ARCH[arch], "InstallerType": "nullsoft", "Scope": scope,
                "InstallerUrl": base + setup, "InstallerSha256": setup_hash,
                "InstallModes": ["interactive", "silent", "silentWithProgress"],
                "InstallerSwitches": dict(SWITCHES, Custom=switch),
                "UpgradeBehavior": "install", "ProductCode": PRODUCT_CODE,
                "AppsAndFeaturesEntries": [product]})
            if scope == "machine":
                # /ALLUSERS asks for administrator rights itself
                setups[-1]["ElevationRequirement"] = "elevatesSelf"
        zips.append({
            "Architecture": WINGET_ARCH[arch], "InstallerType": "zip", "NestedInstallerType": "portable",
            "NestedInstallerFiles": [{"RelativeFilePath": f"{top}\\VELMO.exe", "PortableCommandAlias": ALIAS}],
            "InstallerUrl": base + archive, "InstallerSha256": zip_hash})
        scoop_archs[SCOOP_ARCH[arch]] = {"url": base + archive, "hash": zip_hash.lower(), "extract_dir": top}

    winget = os.path.join(folder, "winget", "manifests", IDENTIFIER[0].lower(), *IDENTIFIER.split("."), version)
    os.makedirs(winget, exist_ok=True)
    common = {"PackageIdentifier": IDENTIFIER, "PackageVersion": version}
    write_yaml(os.path.join(winget, f"{IDENTIFIER}.yaml"), "version", dict(
        common, DefaultLocale=LOCALE, ManifestType="version", ManifestVersion=MANIFEST_VERSION))
    write_yaml(os.path.join(winget, f"{IDENTIFIER}.locale.{LOCALE}.yaml"), "defaultLocale", dict(
        common, PackageLocale=LOCALE, Publisher=PUBLISHER, PublisherUrl=homepage, PackageName=PRODUCT,
        PackageUrl=homepage, License="MIT", Copyright=f"Copyright (c) 2026 {PUBLISHER}",
        ShortDescription=SHORT, Description=DESCRIPTION, Moniker=ALIAS, Tags=["calculator", "rpn"],
        ReleaseNotesUrl=base + "CHANGELOG.md", ManifestType="defaultLocale", ManifestVersion=MANIFEST_VERSION))
    write_yaml(os.path.join(winget, f"{IDENTIFIER}.installer.yaml"), "installer", dict(
        common, InstallerLocale=LOCALE, ReleaseDate=released, Installers=setups + zips,
        ManifestType="installer", ManifestVersion=MANIFEST_VERSION))

    scoop = {
        "version": version,
        "description": f"{PRODUCT}, a {SHORT}",
        "homepage": homepage,
        "license": "MIT",
        "architecture": scoop_archs,
        "bin": [["VELMO.exe", ALIAS]],
        "shortcuts": [["VELMO.exe", PRODUCT]],
    }
    os.makedirs(os.path.join(folder, "scoop"), exist_ok=True)
    with open(os.path.join(folder, "scoop", "velmo2.json"), "w", encoding="utf-8", newline="\n") as f:
        f.write(json.dumps(scoop, indent=4) + "\n")
    print(f"Wrote the winget manifests in {os.path.relpath(winget, folder)} and scoop/velmo2.json "
          f"for {', '.join(t['arch'] for t in trees)}")


if __name__ == "__main__":
    main()
