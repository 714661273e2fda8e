"""What Windows needs of VELMO.exe to load it, read from the file: only the four system DLLs, only the
functions listed in imports.txt, no TLS directory, relocations kept, and for the 32-bit program a
subsystem and OS version of at most 3.10, so that Win32s and Windows NT 3.51 load it. Also every call
through an import slot calls through one the loader fills. (The i686 linker once left the slot of a
delay-loaded sndPlaySoundA at 0: the first sound called address 0.)"""
import re
import subprocess

import pefile
import pytest

TLS, RELOCATIONS = (pefile.DIRECTORY_ENTRY[f"IMAGE_DIRECTORY_ENTRY_{d}"] for d in ("TLS", "BASERELOC"))


@pytest.fixture(scope="module")
def pe(option):
    return pefile.PE(option.exe)


@pytest.fixture(scope="module")
def imports(pe):
    """{"dll": [name or "#ordinal"]}, the DLLs' names in lower case."""
    return {entry.dll.decode().lower(): [i.name.decode() if i.name else f"#{i.ordinal}" for i in entry.imports]
            for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}


@pytest.fixture(scope="module")
def allowed(option):
    """{(dll, function)} of imports.txt."""
    lines = [line.split()[:2] for line in open(option.imports_list) if line.strip() and not line.startswith("#")]
    return {(dll.lower() + ".dll", function) for dll, function in lines}


def test_imports_listed(imports, allowed):
    assert imports, "no imports read"
    assert set(imports) - {dll for dll, _ in allowed} == set(), "DLLs imported from that imports.txt does not list"
    assert sorted(f"{dll}!{name}" for dll, names in imports.items() for name in names if (dll, name) not in allowed) \
        == [], "functions imported that imports.txt does not list"


def test_no_tls(pe):
    tls = pe.OPTIONAL_HEADER.DATA_DIRECTORY[TLS]
    assert (tls.VirtualAddress, tls.Size) == (0, 0), "a TLS directory, which Win32s cannot load"


def test_relocations_kept(pe):
    assert pe.OPTIONAL_HEADER.DATA_DIRECTORY[RELOCATIONS].Size > 0, "no relocations"
    assert not pe.FILE_HEADER.IMAGE_FILE_RELOCS_STRIPPED, "relocations stripped in the file header's flags"


def test_versions_for_win32s_and_nt351(pe):
    if pe.FILE_HEADER.Machine != pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"]:
        pytest.skip("the x86_64 program runs on 64-bit Windows only")
    header = pe.OPTIONAL_HEADER
    assert (header.MajorSubsystemVersion, header.MinorSubsystemVersion) <= (3, 10), "subsystem version above 3.10"
    assert (header.MajorOperatingSystemVersion, header.MinorOperatingSystemVersion) <= (3, 10), "OS version above 3.10"


def test_calls_through_filled_slots(pe, option):
    """Calls through slots of .idata that are no DLL's import address table."""
    filled = {i.address for entry in pe.DIRECTORY_ENTRY_IMPORT for i in entry.imports}
    idata = next(s for s in pe.sections if s.Name.rstrip(b"\0") == b".idata")
    start = pe.OPTIONAL_HEADER.ImageBase + idata.VirtualAddress
    code = subprocess.run([option.objdump, "-d", option.exe], check=True, capture_output=True, text=True).stdout
    # "call *0x40f27c" (i686) and "call *0xd21a(%rip)  # 0x14000e478" (x86_64)
    slots = {int(m[1] or m[2], 16) for m in re.finditer(
        r"(?:call|jmp)\s+\*(?:0x([0-9a-f]+)$|\S+\(%rip\)\s+# (?:0x)?([0-9a-f]+))", code, re.M)}
    assert slots & filled, "no calls through the import address table found"
    assert sorted(hex(s) for s in slots if start <= s < start + idata.Misc_VirtualSize and s not in filled) == [], \
        "calls through import slots the loader does not fill"
