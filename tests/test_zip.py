#!/usr/bin/env python3
"""Every entry of the zip, its folder included, has an 8.3 name, so that Windows 3.1 and its unzip
tools can unpack it: a name of 1 to 8 characters, an extension of at most 3, one dot at most, and only
the characters DOS allows. Every file lies in one folder, VELMO and the version's digits (VELMO201),
or VELMO alone where those do not fit. Prints every entry.

usage: test_zip.py VERSION ZIP
"""
import re
import sys
import zipfile

# Letters, digits and the punctuation a DOS name may hold
DOS_NAME = re.compile(r"[A-Za-z0-9!#$%&'()\-@^_`{}~]{1,8}(\.[A-Za-z0-9!#$%&'()\-@^_`{}~]{1,3})?")


def short(name):
    return DOS_NAME.fullmatch(name) is not None


def problems(entries, folder):
    found = []
    for entry in entries:
        parts = entry.rstrip("/").split("/")
        found += [f"{entry}: {part!r} is not an 8.3 name" for part in parts if not short(part)]
        if parts[0] != folder or len(parts) > 2 or (len(parts) == 1) != entry.endswith("/"):
            found.append(f"{entry}: not a file in the folder {folder}/ or that folder")
    if f"{folder}/" not in entries:
        found.append(f"no entry for the folder {folder}/")
    return found


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    version, path = sys.argv[1:]
    folder = "VELMO" + version.replace(".", "")
    folder = folder if len(folder) <= 8 else "VELMO"
    # The check itself must refuse what Windows 3.1 cannot unpack
    refused = [n for n in ("VELMO-2.0.1-win64", "README.text", "LONGNAME1.txt", "A.B.C", "TWO WORDS", "", ".wav")
               if short(n)]
    entries = zipfile.ZipFile(path).namelist()
    for entry in entries:
        print(entry)
    found = problems(entries, folder) + [f"the 8.3 check takes {n!r}" for n in refused]
    for problem in found:
        print("WRONG  " + problem)
    print(f"{len(found)} wrong" if found else f"{len(entries)} entries, every name 8.3, in {folder}/")
    sys.exit(1 if found else 0)


if __name__ == "__main__":
    main()
