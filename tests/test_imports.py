#!/usr/bin/env python3
"""What Windows needs of VELMO.exe to load it, read from the file: only the
four system DLLs, only the functions listed in imports.txt, no TLS directory,
relocations kept, and for the 32-bit program a subsystem and OS version of at
most 3.10, so that Win32s and Windows NT 3.51 load it. Also every call through
an import slot calls through one the loader fills. (The i686 linker once left
the slot of a delay-loaded sndPlaySoundA at 0: the first sound called
address 0.) Prints the header fields and the imports.

usage: test_imports.py OBJDUMP ALLOWED_LIST VELMO.exe
"""
import re
import struct
import subprocess
import sys

IMAGE_FILE_RELOCS_STRIPPED = 0x0001
OLD_SYSTEM = (3, 10)


def read_pe(path):
    """Header fields, data directories [(rva, size)], sections [(name, rva, size, offset)] and imports
    {dll: [name or "#ordinal"]} of a PE image."""
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError(f"{path}: not a PE image")
    machine, nsections, stamp, _, _, opt_size, characteristics = struct.unpack_from("<HHIIIHH", data, pe + 4)
    opt = pe + 24
    wide = struct.unpack_from("<H", data, opt)[0] == 0x20B
    fields = dict(zip(("os", "image", "subsystem_version"), (struct.unpack_from("<HH", data, opt + 40 + 4 * i)
                                                             for i in range(3))))
    fields.update(machine=machine, stamp=stamp, characteristics=characteristics,
                  subsystem=struct.unpack_from("<H", data, opt + 68)[0],
                  dll_characteristics=struct.unpack_from("<H", data, opt + 70)[0])
    dirs_at = opt + (112 if wide else 96)
    dirs = [struct.unpack_from("<II", data, dirs_at + 8 * i) for i in range(16)]
    sections = []
    for i in range(nsections):
        name, vsize, rva, raw_size, raw = struct.unpack_from("<8sIIII", data, opt + opt_size + 40 * i)
        sections.append((name.rstrip(b"\0").decode(), rva, max(vsize, raw_size), raw))

    def at(rva):
        for _, start, size, raw in sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError(f"{path}: address {rva:#x} in no section")

    def text(rva):
        p = at(rva)
        return data[p:data.index(b"\0", p)].decode()

    imports, p = {}, at(dirs[1][0]) if dirs[1][0] else None
    while p is not None:
        lookup, _, _, name, first = struct.unpack_from("<IIIII", data, p)
        if not name:
            break
        names, q, width = [], at(lookup or first), 8 if wide else 4
        while (entry := struct.unpack_from("<Q" if wide else "<I", data, q)[0]):
            by_ordinal = entry >> (63 if wide else 31)
            names.append(f"#{entry & 0xFFFF}" if by_ordinal else text((entry & 0x7FFFFFFF) + 2))
            q += width
        imports[text(name)] = names
        p += 20
    return fields, dirs, sections, imports


def allowed_imports(path):
    allowed = set()
    for line in open(path):
        if line.strip() and not line.startswith("#"):
            dll, function = line.split()[:2]
            allowed.add((dll.lower() + ".dll", function))
    return allowed


def unfilled_slots(objdump, exe):
    """Calls through slots of .idata that are no DLL's import address table."""
    headers = subprocess.run([objdump, "-p", "-h", exe], check=True, capture_output=True, text=True).stdout
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
    return sorted(hex(s) for s in slots if idata_start <= s < idata_start + idata_size and s not in filled), len(slots)


def problems(fields, dirs, imports, allowed):
    found = []
    system = {dll for dll, _ in allowed}
    dlls = {dll.lower() for dll in imports}
    if not dlls or dlls - system:
        found.append(f"imports from {sorted(dlls - system) or 'no DLL'}; only {sorted(system)} may be needed")
    outside = sorted(f"{dll}!{name}" for dll, names in imports.items() for name in names
                     if dll.lower() in system and (dll.lower(), name) not in allowed)
    if outside:
        found.append(f"imports outside the list: {' '.join(outside)}")
    if dirs[9] != (0, 0):
        found.append(f"has a TLS directory at {dirs[9][0]:#x}")
    if dirs[5][1] == 0 or fields["characteristics"] & IMAGE_FILE_RELOCS_STRIPPED:
        found.append("has no relocations")
    if fields["machine"] == 0x14C:
        for what, name in (("subsystem_version", "subsystem version"), ("os", "OS version")):
            if fields[what] > OLD_SYSTEM:
                found.append(f"{name} {fields[what][0]}.{fields[what][1]} is above 3.10")
    return found


def main():
    objdump, allowed_list, exe = sys.argv[1:]
    fields, dirs, sections, imports = read_pe(exe)
    found = problems(fields, dirs, imports, allowed_imports(allowed_list))
    unfilled, slots = unfilled_slots(objdump, exe)
    if unfilled:
        found.append(f"calls through import slots outside the loader's table: {unfilled}")
    print(f"{exe}: machine {fields['machine']:#x}, subsystem {fields['subsystem']} version "
          "{0}.{1}".format(*fields["subsystem_version"]) + ", OS version {0}.{1}".format(*fields["os"])
          + f", characteristics {fields['characteristics']:#x}, DLL characteristics {fields['dll_characteristics']:#x}"
          + f", relocations {dirs[5][1]} bytes, TLS directory {dirs[9][1]} bytes")
    print(f"sections: {' '.join(name for name, *_ in sections)}")
    for dll, names in imports.items():
        print(f"{dll}: {' '.join(names)}")
    print(f"{sum(map(len, imports.values()))} functions from {len(imports)} DLLs, {slots} slots called through")
    for problem in found:
        print(f"FAIL: {problem}")
    sys.exit(1 if found else 0)


if __name__ == "__main__":
    main()
