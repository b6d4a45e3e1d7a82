#!/usr/bin/env python3
"""Compiles the C++ that a document shows, so that it compiles as shown.

    compile_snippets.py COMPILER INCLUDE DOCUMENT.md

Every ```cpp block of DOCUMENT becomes the body of a function of its own,
all in one translation unit after a prelude that includes <qds/qds.h> and
declares the one name the blocks use without declaring it: `document`, the
document of the tour. The unit is compiled as C++20 against the headers of
INCLUDE with -Wall -Wextra -Werror, so that a block that ignores a status
or uses a name it does not declare fails; the compiler's messages name the
document's lines. Exits 0 when it compiles.
"""

import re
import subprocess
import sys

PRELUDE = """#include <qds/qds.h>

#include <cstdio>
#include <optional>
#include <string>

qds::QdsDocument document;
"""


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    compiler, include, path = sys.argv[1:]
    with open(path, encoding="utf-8") as file:
        text = file.read()
    source = PRELUDE
    blocks = list(re.finditer(r"^```cpp\n(.*?)^```", text, re.M | re.S))
    if not blocks:
        sys.exit(f"{path}: no ```cpp block")
    for number, block in enumerate(blocks, 1):
        line = text.count("\n", 0, block.start(1)) + 1
        source += f'\nvoid Block{number}() {{\n#line {line} "{path}"\n{block.group(1)}}}\n'
    command = [compiler, "-std=c++20", "-Wall", "-Wextra", "-Werror", "-fsyntax-only",
               "-I", include, "-x", "c++", "-"]
    result = subprocess.run(command, input=source, text=True, check=False)
    if result.returncode != 0:
        sys.exit(f"{path}: the blocks above do not compile ({len(blocks)} blocks)")
    print(f"{path}: {len(blocks)} blocks compile")


if __name__ == "__main__":
    main()
