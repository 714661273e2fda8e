#!/usr/bin/env python3
"""VELMO.exe needs only system DLLs, and every call through an import slot
calls through one the Windows loader fills. (The i686 linker once left the
slot of a delay-loaded sndPlaySoundA at 0: the first sound called address 0.)

usage: test_imports.py OBJDUMP VELMO.exe
"""
import re
import subprocess
import sys

SYSTEM = {"advapi32.dll", "gdi32.dll", "kernel32.dll", "msvcrt.dll", "user32.dll"}

objdump, exe = sys.argv[1:]
headers = subprocess.run([objdump, "-p", "-h", exe], check=True, capture_output=True, text=True).stdout
dlls = {name.lower() for name in re.findall(r"DLL Name: (\S+)", headers)}
base = int(re.search(r"ImageBase\s+([0-9a-f]+)", headers)[1], 16)
width = 8 if "pei-x86-64" in headers else 4
# The slots the loader fills: each DLL's first thunk, one slot a function
filled = set()
for first, names in re.findall(r"^ [0-9a-f]{8}\t(?:[0-9a-f]{8} ){4}([0-9a-f]{8})\n\n\tDLL Name: \S+\n\tvma:.*\n((?:\t.*\n)*)",
                               headers, re.M):
    filled |= {base + int(first, 16) + i * width for i in range(names.count("\n"))}
idata = re.search(r"\.idata\s+([0-9a-f]+)\s+([0-9a-f]+)", headers)
idata_size, idata_start = int(idata[1], 16), int(idata[2], 16)
code = subprocess.run([objdump, "-d", exe], check=True, capture_output=True, text=True).stdout
# "call *0x40f27c" (i686) and "call *0xd21a(%rip)  # 0x14000e478" (x86_64)
slots = {int(m[1] or m[2], 16) for m in re.finditer(r"(?:call|jmp)\s+\*(?:0x([0-9a-f]+)$|\S+\(%rip\)\s+# (?:0x)?([0-9a-f]+))",
                                                      code, re.M)}
unfilled = sorted(hex(s) for s in slots
                  if idata_start <= s < idata_start + idata_size and s not in filled)
failed = False
if not dlls or dlls - SYSTEM:
    print(f"FAIL: imports {sorted(dlls)}; only {sorted(SYSTEM)} may be needed")
    failed = True
if unfilled:
    print(f"FAIL: calls through import slots outside the loader's table: {unfilled}")
    failed = True
print(f"{exe}: {len(dlls)} system DLLs, {len(slots)} slots called through" + (" FAILED" if failed else ""))
sys.exit(failed)
