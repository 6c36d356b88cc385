#!/usr/bin/env python3
"""Fails when a function of a program calls another while the upper halves
of the vector registers may be dirty.

A kernel that uses 256- or 512-bit registers must clear their upper halves
(vzeroupper) before it calls or tail-jumps to other code: the scalar code
the program is built as runs several times slower after it on Intel
processors, and GCC leaves the instruction out before some tail calls.

    tools/checkupperstate.py PROGRAM [OBJDUMP]

The check reads the disassembly in order, function by function: after an
instruction that names a ymm or zmm register, a call or a jump to another
function before a vzeroupper is reported. Exit status 0 when none is
found, 1 otherwise (each one listed), 2 when objdump cannot be run.
"""
import re
import subprocess
import sys

FUNCTION = re.compile(r"^[0-9a-f]+ <(.+)>:$")
TRANSFER = re.compile(r"\s(call|jmp)\s+[0-9a-f]+ <(.*)>$")
INSIDE = re.compile(r"\+0x[0-9a-f]+$")


def findings(disassembly):
    name, dirty, found = None, False, []
    for line in disassembly.splitlines():
        m = FUNCTION.match(line)
        if m:
            name, dirty = m.group(1), False
            continue
        if name is None:
            continue
        if "vzeroupper" in line:
            dirty = False
        elif "%ymm" in line or "%zmm" in line:
            dirty = True
        else:
            t = TRANSFER.search(line)
            # A jump inside a function names a place in it with an offset;
            # a call or a tail jump names another function's start.
            if t and dirty and not INSIDE.search(t.group(2)):
                found.append(f"{name}: {t.group(1)} {t.group(2)} with dirty upper halves")
    return found


def main():
    if len(sys.argv) < 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    objdump = sys.argv[2] if len(sys.argv) > 2 else "objdump"
    try:
        text = subprocess.run([objdump, "-d", "--no-show-raw-insn", "-C", sys.argv[1]],
                              check=True, capture_output=True, text=True).stdout
    except (OSError, subprocess.CalledProcessError) as e:
        print(f"checkupperstate: cannot disassemble {sys.argv[1]}: {e}", file=sys.stderr)
        return 2
    found = findings(text)
    for f in found:
        print(f)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
