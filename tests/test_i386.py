"""Every instruction of a 32-bit VELMO.exe is one that an 80386 with an 80387 has.

The whole .text is disassembled, the code linked in from libgcc included, and
each instruction's mnemonic is looked up in the 386 and 387 instruction sets
(below): anything a 486 or later added (bswap, cmpxchg, xadd, cpuid, rdtsc,
cmov, fcomi, the 0F 1F long NOP, MMX, SSE, ...) fails. The link map names the
function each instruction belongs to, and the data the linker puts in .text
(the constructor and destructor lists) is left out. Also, none of the
program's string functions calls itself: a compiler that turns the loop of
strlen into a call to strlen makes it recurse for ever.
"""
import re
import subprocess

import pytest

INTEGER_386 = """
aaa aad aam aas adc add and arpl bound bsf bsr bt btc btr bts call cbw cdq clc cld cli clts cmc cmp cmps
cwd cwde daa das dec div enter hlt idiv imul in inc ins int int3 into iret iretd ja jae jb jbe jcxz jecxz je
jg jge jl jle jmp jne jno jnp jns jo jp js lahf lar lcall lds lea leave les lfs lgdt lgs lidt ljmp lldt lmsw
lods loop loope loopne lret lsl lss ltr mov movs movsx movzx mul neg nop not or out outs pop popa popad popf
popfd push pusha pushad pushf pushfd rcl rcr ret retf rol ror sahf sal sar sbb scas seta setae setb setbe
sete setg setge setl setle setne setno setnp setns seto setp sets sgdt shl shld shr shrd sidt sldt smsw stc
std sti stos str sub test verr verw wait xchg xlat xor
"""
FLOATING_387 = """
f2xm1 fabs fadd faddp fbld fbstp fchs fclex fnclex fcom fcomp fcompp fcos fdecstp fdiv fdivp fdivr fdivrp
ffree fiadd ficom ficomp fidiv fidivr fild fimul fincstp finit fninit fist fistp fisub fisubr fld fld1 fldcw
fldenv fldl2e fldl2t fldlg2 fldln2 fldpi fldz fmul fmulp fnop fpatan fprem fprem1 fptan frndint frstor fsave
fnsave fscale fsin fsincos fsqrt fst fstcw fnstcw fstenv fnstenv fstp fstsw fnstsw fsub fsubp fsubr fsubrp
ftst fucom fucomp fucompp fwait fxam fxch fxtract fyl2x fyl2xp1
"""
ALLOWED = set(INTEGER_386.split()) | set(FLOATING_387.split())
STRING_OPS = {"movs", "stos", "lods", "scas", "cmps", "ins", "outs"}
SEGMENTS = {"cs", "ds", "es", "fs", "gs", "ss"}
REPEATS = {"rep", "repz", "repe", "repnz", "repne"}
# Registers no 386 has: MMX, SSE and later
NEW_REGISTER = re.compile(r"\b([xyz]?mm\d+|k[0-7])\b")


def link_map(path):
    """The map's code sections as (start, end, name, file), and its data words in .text as (start, end)."""
    text = open(path).read()
    body = text[text.index("\n.text "):text.index("\n.data ")]
    symbols = {int(a, 16): n for a, n in re.findall(r"^\s+0x([0-9a-f]+)\s+([^\s=]+)$", body, re.M)}
    sections, data = [], []
    for section, start, size, where in re.findall(r"^ \.text(\S*)\s+0x([0-9a-f]+)\s+0x([0-9a-f]+) (\S+)$", body, re.M):
        start, size = int(start, 16), int(size, 16)
        if size:
            name = symbols.get(start, section.lstrip("$") or "?")
            sections.append((start, start + size, name, where.rsplit("/", 1)[-1]))
    for start, size in re.findall(r"^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+) LONG ", body, re.M):
        data.append((int(start, 16), int(start, 16) + int(size, 16)))
    return sorted(sections), data


def instructions(objdump, exe):
    """(address, mnemonic, operands) of each instruction of .text, prefixes kept in the mnemonic's place."""
    listing = subprocess.run([objdump, "-d", "-M", "intel", "-j", ".text", exe], check=True,
                             capture_output=True, text=True).stdout
    for line in listing.splitlines():
        fields = line.split("\t")
        if len(fields) >= 3 and fields[0].strip().endswith(":"):
            words = fields[2].split(None, 1)
            yield int(fields[0].strip()[:-1], 16), words[0], (words[1] if len(words) > 1 else "")


def problem(mnemonic, operands):
    """Why an instruction is not one of the 386/387, or None."""
    while mnemonic in SEGMENTS or mnemonic in REPEATS or mnemonic == "lock":
        prefix = mnemonic
        mnemonic, _, operands = operands.partition(" ")
        operands = operands.strip()
        if prefix in REPEATS and mnemonic not in STRING_OPS:
            return f"{prefix} before {mnemonic}"
    if mnemonic not in ALLOWED:
        return mnemonic
    if mnemonic == "nop" and operands:
        return "long nop (0F 1F)"
    if NEW_REGISTER.search(operands):
        return f"{mnemonic} on {NEW_REGISTER.search(operands).group(1)}"
    return None


@pytest.fixture(scope="module")
def code(option):
    """The link map's functions, and (address, mnemonic, operands, function) of each instruction that is code."""
    sections, data = link_map(option.map)

    def owner(address):
        return next((s for s in sections if s[0] <= address < s[1]), (0, 0, "(between functions)", ""))

    return sections, [(address, mnemonic, operands, owner(address))
                      for address, mnemonic, operands in instructions(option.objdump, option.exe)
                      if not any(a <= address < b for a, b in data)]


def test_only_386_and_387_instructions(code):
    found = {}
    for address, mnemonic, operands, (_, _, name, where) in code[1]:
        why = problem(mnemonic, operands)
        if why:
            found.setdefault(why, []).append(f"{address:#x} in {name} ({where})")
    assert code[1], "no instructions found"
    found = {why: f"{len(at)} at {', '.join(at[:6])}{' ...' if len(at) > 6 else ''}" for why, at in found.items()}
    assert found == {}, f"instructions no 80386 or 80387 has, of {len(code[1])}"


def test_string_functions_do_not_call_themselves(code):
    starts = {s[0] for s in code[0] if s[3].startswith("objects.a(cstring.cpp")}
    assert starts, "no string functions (objects.a(cstring.cpp.obj)) in the link map"
    calls = [f"{address:#x} in {name}" for address, mnemonic, operands, (start, _, name, _) in code[1]
             if mnemonic in ("call", "jmp") and start in starts
             and re.fullmatch(r"(?:0x)?([0-9a-f]+)", operands) and int(operands.removeprefix("0x"), 16) == start]
    assert calls == [], "string functions calling themselves"
