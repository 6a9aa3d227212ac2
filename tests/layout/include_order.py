#!/usr/bin/env python3
"""Every #include of a project folder in src/ goes to a folder below the including one, in the
order the README's Architecture section gives ("Which folder may include which, lowest first:
`common/`, `log/` -> `ui/` -> ..."; folders joined by a comma share a level and include nothing
of each other)."""
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1])
readme = (root / "README.md").read_text(encoding="utf-8")
match = re.search(r"Which folder may include which, lowest first:(.*?)\n\n", readme, re.S)
if not match:
    sys.exit("README.md: no line 'Which folder may include which, lowest first:'")
levels = [re.findall(r"`([a-z_]+)/`", level) for level in match.group(1).split("→")]
rank = {folder: i for i, level in enumerate(levels) for folder in level}

src = root / "src"
folders = sorted(p.name for p in src.iterdir() if p.is_dir())
problems = [f"src/{f}/ is not in the README's order" for f in folders if f not in rank]
problems += [f"the README names {f}/, which src/ does not have" for f in rank if f not in folders]
include = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/')
for path in sorted(src.rglob("*")):
    if path.suffix not in (".h", ".cpp") or not path.is_file():
        continue
    own = path.relative_to(src).parts[0]
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        m = include.match(line)
        if not m or m.group(1) not in rank or m.group(1) == own or own not in rank:
            continue
        if rank[m.group(1)] >= rank[own]:
            problems.append(f"{path.relative_to(root)}:{number}: {own}/ includes {m.group(1)}/, "
                            f"which is not below it")
for p in problems:
    print(p)
print(f"include order: {len(folders)} folders, {len(problems)} problems")
sys.exit(1 if problems else 0)
