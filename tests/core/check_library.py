#!/usr/bin/env python3
"""Checks of the built shared library. exports LIB NAMES: the dynamic symbols are exactly the export list.
entries LIB NAMES: every entry point is endbr64, a load of the variant index, the table address and one
indirect jump through the table."""
import re
import subprocess
import sys

ENTRY = [r"endbr64", r"mov\s+0x[0-9a-f]+\(%rip\),%eax\s+#.*<okvJumpIndexForMergedDLL>",
         r"lea\s+0x[0-9a-f]+\(%rip\),%r11\s+#.*<(\w+)_arraddr>", r"jmp\s+\*\(%r11,%rax,8\)"]


def tool(*cmd):
    return subprocess.run(cmd, capture_output=True, text=True, check=True).stdout


def exports_problems(lib, expected):
    defined = {l.split()[-1].split("@")[0] for l in tool("nm", "-D", "--defined-only", lib).splitlines() if l.strip()}
    defined.discard("OKVAC_8")  # the version node
    return ["defined but not an export: " + n for n in sorted(defined - expected)] + \
           ["export missing: " + n for n in sorted(expected - defined)]


def entries_problems(lib, expected):
    dis = tool("objdump", "-d", "--no-show-raw-insn", lib)
    blocks = {m.group(1): [l.split(":", 1)[1].strip() for l in m.group(2).splitlines()]
              for m in re.finditer(r"^[0-9a-f]+ <(\w+)>:\n((?:\s+[0-9a-f]+:.*\n)+)", dis, re.MULTILINE)}
    bad = []
    for name in sorted(expected):
        insns = [i for i in blocks.get(name, []) if not i.startswith(("nop", "data16", "cs nopw", "xchg"))]
        if not (len(insns) == 4 and all(re.match(p, i) for p, i in zip(ENTRY, insns))
                and re.match(ENTRY[2], insns[2]).group(1) == name):
            bad.append("entry %s is not the two-load jump: %s" % (name, insns))
    return bad


mode, lib, namefile = sys.argv[1:4]
expected = set(re.findall(r'X\("(\w+)"\)', open(namefile).read()))
problems = (exports_problems if mode == "exports" else entries_problems)(lib, expected)
print("\n".join(problems + ["%d exports, %s" % (len(expected), "FAILED" if problems else "ok")]))
sys.exit(1 if problems else 0)
