"""Every entry of the zip, its folder included, has an 8.3 name, so that Windows 3.1 and its unzip
tools can unpack it: a name of 1 to 8 characters, an extension of at most 3, one dot at most, and only
the characters DOS allows. Every file lies in one folder, VELMO and the version's digits (VELMO201),
or VELMO alone where those do not fit."""
import re
import zipfile

# Letters, digits and the punctuation a DOS name may hold
DOS_NAME = re.compile(r"[A-Za-z0-9!#$%&'()\-@^_`{}~]{1,8}(\.[A-Za-z0-9!#$%&'()\-@^_`{}~]{1,3})?")


def test_dos_name_check_refuses_long_names():
    refused = ["VELMO-2.0.1-win64", "README.text", "LONGNAME1.txt", "A.B.C", "TWO WORDS", "", ".wav"]
    assert [n for n in refused if DOS_NAME.fullmatch(n)] == [], "taken by the 8.3 check, which Windows 3.1 refuses"


def test_names_8_3_in_one_folder(option):
    folder = "VELMO" + option.project_version.replace(".", "")
    folder = folder if len(folder) <= 8 else "VELMO"
    entries = zipfile.ZipFile(option.zip).namelist()
    assert f"{folder}/" in entries, f"no entry for the folder {folder}/"
    assert [e for e in entries if not all(DOS_NAME.fullmatch(p) for p in e.rstrip("/").split("/"))] == [], \
        "entries whose names are not 8.3"
    assert [e for e in entries if not (e == f"{folder}/" or re.fullmatch(rf"{folder}/[^/]+", e))] == [], \
        f"entries that are not a file in the folder {folder}/ or that folder"
