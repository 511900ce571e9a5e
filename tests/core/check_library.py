#!/usr/bin/env python3
"""Checks of the built shared library.

exports LIB NAMES: the dynamic symbol table defines exactly the export list.
entries LIB NAMES: every entry point is endbr64, a load of the variant index,
                   the table address, and one indirect jump through the table.
"""
import re
import subprocess
import sys


def names(path):
    return set(re.findall(r'X\("(\w+)"\)', open(path).read()))


def check_exports(lib, expected):
    out = subprocess.run(["nm", "-D", "--defined-only", lib], capture_output=True, text=True, check=True).stdout
    defined = {line.split()[-1].split("@")[0] for line in out.splitlines() if line.strip()}
    defined.discard("OKVAC_8")  # the version node
    extra, missing = defined - expected, expected - defined
    for n in sorted(extra):
        print("defined but not an export: " + n)
    for n in sorted(missing):
        print("export missing: " + n)
    return not extra and not missing


ENTRY = [
    r"endbr64",
    r"mov\s+0x[0-9a-f]+\(%rip\),%eax\s+#.*<okvJumpIndexForMergedDLL>",
    r"lea\s+0x[0-9a-f]+\(%rip\),%r11\s+#.*<(\w+)_arraddr>",
    r"jmp\s+\*\(%r11,%rax,8\)",
]


def check_entries(lib, expected):
    dis = subprocess.run(["objdump", "-d", "--no-show-raw-insn", lib], capture_output=True, text=True, check=True).stdout
    blocks = {}
    for m in re.finditer(r"^[0-9a-f]+ <(\w+)>:\n((?:\s+[0-9a-f]+:.*\n)+)", dis, re.MULTILINE):
        blocks[m.group(1)] = [l.split(":", 1)[1].strip() for l in m.group(2).splitlines()]
    ok = True
    for name in sorted(expected):
        insns = [i for i in blocks.get(name, []) if not i.startswith(("nop", "data16", "cs nopw", "xchg"))]
        good = len(insns) == 4 and all(re.match(p, i) for p, i in zip(ENTRY, insns))
        good = good and re.match(ENTRY[2], insns[2]).group(1) == name
        if not good:
            print("entry %s is not the two-load jump: %s" % (name, insns))
            ok = False
    return ok


def main():
    mode, lib, namefile = sys.argv[1:4]
    expected = names(namefile)
    ok = check_exports(lib, expected) if mode == "exports" else check_entries(lib, expected)
    print("%d exports, %s" % (len(expected), "ok" if ok else "FAILED"))
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
