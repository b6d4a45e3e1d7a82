#!/usr/bin/env python3
"""Plants one violation of the layers at a time in a scratch copy of the tree
and sees it refused: an include that the layer may not make fails to compile
(the compile command of the file, from a configuration of the copy), and
what the compiler cannot see (a file that this build leaves out, a link of
the CMake graph) makes scripts/check-layers name it.

  plant_violations.py ROOT

Exits 1 naming each violation that went through.
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile

# Who breaks the rule, the file it is planted in, the line planted, the file
# whose compile must fail (None: the planted file; CHECK, or a file that this
# build does not compile: scripts/check-layers must name the planted file),
# and the text that the refusal must show.
CHECK = ""
VIOLATIONS = [
    ("common", "src/common/text.cpp", '#include "platform/errors.h"', None, "platform/errors.h"),
    ("platform", "src/platform/posix_files.cpp", '#include "model/node_list.h"', None,
     "model/node_list.h"),
    ("model", "src/model/node_list.cpp", '#include "qdsfile/qds_format.h"', None,
     "qdsfile/qds_format.h"),
    ("qdsfile", "src/qdsfile/version_scan.cpp", '#include "expansion/expression.h"', None,
     "expansion/expression.h"),
    ("expansion", "src/expansion/expression.cpp", '#include "model/node_list.h"', None,
     "model/node_list.h"),
    ("document", "src/document/merge.cpp", '#include "knitfold/log.h"', None, "knitfold/log.h"),
    ("knitfold", "src/knitfold/log.cpp", '#include "model/node_list.h"', None,
     "model/node_list.h"),
    ("knitfold", "src/knitfold/log.cpp", '#include "document/document_state.h"', None,
     "document/document_state.h"),
    ("qdstool", "src/qdstool/output.cpp", '#include "model/node_list.h"', None,
     "model/node_list.h"),
    ("python", "src/python/errors.cpp", '#include "model/node_list.h"', None, "model/node_list.h"),
    ("a public header", "include/qds/flags.h", '#include "common/text.h"',
     "src/qdstool/output.cpp", "common/text.h"),
    ("platform, on Windows", "src/platform/win32_files.cpp", '#include "model/node_list.h"',
     CHECK, "model/node_list.h"),
    ("model's link", "src/model/CMakeLists.txt",
     "target_link_libraries(qds_model PUBLIC qds_qdsfile)", CHECK,
     "qds_model (model) links qds_qdsfile"),
    ("knitfold's link", "src/knitfold/CMakeLists.txt",
     "target_link_libraries(knitfold_program PRIVATE qds_model)", CHECK,
     "knitfold_program (knitfold) links qds_model"),
]


def plant(path, line):
    """Adds `line` to the file at `path` (first in a source file, last in a
    CMake file) and gives back the text it had."""
    with open(path, encoding="utf-8") as file:
        text = file.read()
    planted = text + "\n" + line + "\n" if path.endswith(".txt") else line + "\n" + text
    with open(path, "w", encoding="utf-8") as file:
        file.write(planted)
    return text


def run(command, cwd):
    done = subprocess.run(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          text=True, shell=isinstance(command, str))
    return done.returncode, done.stdout


def main():
    root = os.path.abspath(sys.argv[1])
    cmake = os.environ.get("CMAKE", "cmake")
    failures = []
    with tempfile.TemporaryDirectory(prefix="plant-violations.") as scratch:
        tree = os.path.join(scratch, "tree")
        shutil.copytree(root, tree, ignore=shutil.ignore_patterns(".git", "build*"))
        build = os.path.join(scratch, "build")
        status, output = run([cmake, "-S", tree, "-B", build, "-DBUILD_TESTING=OFF",
                              "-DKNITFOLD_BUILD_BENCHMARKS=OFF",
                              "-DCMAKE_EXPORT_COMPILE_COMMANDS=ON"], scratch)
        if status != 0:
            print(f"configuring the copy failed:\n{output}")
            return 2
        with open(os.path.join(build, "compile_commands.json"), encoding="utf-8") as file:
            commands = {os.path.relpath(c["file"], tree): c for c in json.load(file)}
        checked = []  # the violations that scripts/check-layers must name, planted together
        for who, where, line, compiled, shown in VIOLATIONS:
            compiled = where if compiled is None else compiled
            command = commands.get(compiled)
            if command is None:
                plant(os.path.join(tree, where), line)
                checked.append((who, where, shown))
                continue
            text = plant(os.path.join(tree, where), line)
            status, output = run(command["command"], command["directory"])
            if status == 0 or shown not in output:
                failures.append(f"{who}: {line} in {where} compiled:\n{output}")
            with open(os.path.join(tree, where), "w", encoding="utf-8") as file:
                file.write(text)
        status, output = run([sys.executable, os.path.join(tree, "scripts", "check-layers")], tree)
        for who, where, shown in checked:
            if status != 1 or not any(l.startswith(where) and shown in l
                                      for l in output.splitlines()):
                failures.append(f"{who}: scripts/check-layers did not name {where}:\n{output}")
    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
