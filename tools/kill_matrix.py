#!/usr/bin/env python3
"""Reads the output of `mutate.py --matrix` and weighs test lines against the faults they catch.

For every killed mutant the matrix lists the tests that fail. This prints the tests that are some
mutant's only killer, then estimates what dropping whole tests would cost: the killed mutants are
split in two halves at random; tests are dropped, largest first, while every mutant of the first half
keeps a killer, until a budget of lines is reached; the share of the second half left without a
killer is the estimated loss of kill rate on a fresh draw. The variant harness and the tool tests
(files with "tool" in their name) are never dropped.

    tools/mutate.py --matrix --mutants ids.txt > matrix.txt
    tools/kill_matrix.py matrix.txt --budgets 500 1000 2000
"""
import argparse
import random
import re
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
HARNESS = "okvac_checkasm"


def test_lines():
    """Suite.Name -> (lines from its TEST line to the next, file), for every *_test.cpp."""
    out = {}
    for f in sorted((ROOT / "tests").rglob("*_test.cpp")):
        lines = f.read_text().splitlines()
        starts = [i for i, l in enumerate(lines) if l.startswith("TEST")] + [len(lines)]
        for i, j in zip(starts, starts[1:]):
            m = re.match(r"TEST\w*\((?:\w+\()?(\w+)\)?,\s*(\w+)", lines[i])
            if m:
                out[f"{m[1]}.{m[2]}"] = (j - i, str(f.relative_to(ROOT / "tests")))
    return out


def kills(path):
    """[(mutant id, set of failing tests)] for every killed mutant."""
    out = []
    for line in Path(path).read_text().splitlines():
        parts = line.split()
        if parts[:1] == ["killed"]:
            out.append((parts[1], {t for t in parts[2:] if not t.startswith("(") and t != "s)"}))
    return out


def drop(killed, size, fixed, budget):
    """Tests dropped largest first, each only while every mutant in killed keeps a killer."""
    alive = set(size) | {HARNESS}
    dropped, lines = [], 0
    for t in sorted(set(size) - fixed, key=lambda t: -size[t]):
        if lines >= budget:
            break
        if all((ts & alive) - {t} for _, ts in killed if t in ts):
            alive.discard(t)
            dropped.append(t)
            lines += size[t]
    return alive, lines


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("matrix")
    ap.add_argument("--budgets", type=int, nargs="+", default=[500, 1000, 1500, 2000, 2500])
    ap.add_argument("--splits", type=int, default=20)
    args = ap.parse_args()
    info = test_lines()
    size = {t: n for t, (n, _) in info.items()}
    fixed = {t for t, (_, f) in info.items() if "tool" in f}
    # The kernel tests also run as a second suite on the n8 bodies (Suite + "N8").
    killed = [(m, {t if t in size else t.replace("N8.", ".", 1) for t in ts}) for m, ts in kills(args.matrix)]
    unknown = {t for _, ts in killed for t in ts} - set(size) - {HARNESS}
    if unknown:
        print("tests not found in tests/:", " ".join(sorted(unknown)), file=sys.stderr)
    sole = {}
    for m, ts in killed:
        if len(ts) == 1:
            sole.setdefault(next(iter(ts)), []).append(m)
    print(f"{len(killed)} killed mutants; only killer of some:")
    for t, ms in sorted(sole.items(), key=lambda x: -len(x[1])):
        print(f"  {len(ms):3d}  {t} ({size.get(t, '-')} lines)")
    for budget in args.budgets:
        got, loss = [], []
        for seed in range(args.splits):
            order = list(killed)
            random.Random(seed).shuffle(order)
            half, rest = order[: len(order) // 2], order[len(order) // 2:]
            alive, lines = drop(half, size, fixed, budget)
            got.append(lines)
            loss.append(100.0 * sum(1 for _, ts in rest if not ts & alive) / len(rest))
        print(f"drop {budget} lines: reached in {sum(g >= budget for g in got)}/{args.splits} splits; "
              f"held-out kills lost {sum(loss) / len(loss):.1f}% (from {min(loss):.1f} to {max(loss):.1f})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
