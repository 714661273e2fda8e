#!/usr/bin/env python3
"""VELMO.chm as a CHM reader (7z) sees it: a page for each chapter and section of velmo.but, titled
with its heading, and index entries for the commands, keys and buttons below and every message.

usage: test_help.py VELMO.chm RESOURCES_DIR
"""
import html
import re
import subprocess
import sys

ENTRIES = ["digits", "decimal point", "Backspace", "Enter", "Add", "Subtract", "Multiply", "Divide", "Y ^ X (Raise)",
           "Reciprocal", "Change sign", "Square root", "Square", "Swap", "Drop", "Clear", "Copy", "Paste", "Sound",
           "Help", "About", "Exit", "Return key", "Alt+Y", "+ / -- button", "Page Up key", "Ctrl+C", "Shift+Insert"]
NOT_SHOWN = "IDS_(CLASS_NAME|SOUND_KEY|MODULE_NAME|INI_FILE|HELP_FILE|INI_SECTION|REG_PREFIX)$"

chm, resources = sys.argv[1:]
member = lambda name: subprocess.run(["7z", "x", "-so", chm, name], stdout=subprocess.PIPE).stdout.decode()  # noqa
missing, chapter, section = [], 0, 0
for kind, title in re.findall(r"^\\([CH])\{[^}]*\} (.*)$", open(resources + "/velmo.but").read(), re.M):
    chapter, section = (chapter + 1, 0) if kind == "C" else (chapter, section + 1)
    page = f"Chapter{chapter}.html" if kind == "C" else f"Section{chapter}.{section}.html"
    missing += [] if f"<title>{title}</title>" in member(page) else [f"page {page} ({title})"]
index = {html.unescape(n) for n in re.findall(r'<param name="Name" value="([^"]*)"', member("index.hhk"), re.I)}
ENTRIES += [t for i, t in re.findall(r'VELMO_STRING\((\w+), *"(.*)"\)', open(resources + "/strings.inc").read())
            if not re.match(NOT_SHOWN, i)]
missing += [f"index entry {e!r}" for e in ENTRIES if e not in index]
print(f"{chapter} chapters, {len(index)} index entries, {len(ENTRIES)} of them checked")
sys.exit("missing: " + ", ".join(missing) if missing else 0)
