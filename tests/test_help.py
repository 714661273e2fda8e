"""VELMO.chm as a CHM reader (7z) sees it: index entries for the commands, keys and buttons below and
every message."""
import html
import os
import re
import subprocess

import pytest

RESOURCES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources")
ENTRIES = ["digits", "decimal point", "Backspace", "Enter", "Add", "Subtract", "Multiply", "Divide", "Y ^ X (Raise)",
           "Reciprocal", "Change sign", "Square root", "Square", "Swap", "Drop", "Clear", "Copy", "Paste", "Sound",
           "Help", "About", "Exit", "Return key", "Alt+Y", "+ / -- button", "Page Up key", "Ctrl+C", "Shift+Insert"]
NOT_SHOWN = "IDS_(CLASS_NAME|SOUND_KEY|MODULE_NAME|INI_FILE|HELP_FILE|INI_SECTION|REG_PREFIX)$"


@pytest.fixture(scope="module")
def chm(option, tmp_path_factory):
    """The folder VELMO.chm is unpacked to."""
    folder = tmp_path_factory.mktemp("chm")
    subprocess.run(["7z", "x", "-y", f"-o{folder}", option.chm], check=True, capture_output=True)
    return folder


def test_index(chm):
    hhk = (chm / "index.hhk").read_text()
    index = {html.unescape(n) for n in re.findall(r'<param name="Name" value="([^"]*)"', hhk, re.I)}
    strings = open(os.path.join(RESOURCES, "strings.inc")).read()
    messages = [t for i, t in re.findall(r'VELMO_STRING\((\w+), *"(.*)"\)', strings) if not re.match(NOT_SHOWN, i)]
    assert [e for e in ENTRIES + messages if e not in index] == [], f"index entries missing among {len(index)}"
