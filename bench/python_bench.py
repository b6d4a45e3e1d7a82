#!/usr/bin/env python3
"""The Python module's speed, on files it writes to a scratch folder:

  1. a 10 MB UTF-16 QDS file of 2,000 sections of 50 keys, loaded with
     qds.load and every value read through items(), against the same
     content as a UTF-8 INI file read by configparser and every value read;
  2. a 100 MB UTF-16 QDS file loaded and saved by qds.load and
     Document.save, against the library's own load and save of the same
     file, with the same flags (qdstool rewrite).

Prints the best of REPEAT runs of each and the ratios; exits 1 when the
module is less than 10 times as fast as configparser, or adds more than
10% to the library's own load and save.

  PYTHONPATH=BUILD/python python3 bench/python_bench.py --qdstool BUILD/bin/qdstool [--repeat N]
"""

import argparse
import configparser
import pathlib
import subprocess
import sys
import tempfile
import time

import qds


def write_files(folder, sections, keys, value_length):
    """The QDS file (UTF-16) and the same entries as a UTF-8 INI file."""
    value = "v" * value_length
    lines = []
    for s in range(sections):
        lines.append(f"[Section{s:05}]")
        lines += [f"Key{k:03}=path\\{s}\\{k}\\{value}" for k in range(keys)]
    body = "\r\n".join(lines) + "\r\n"
    qds_file, ini_file = folder / f"{sections}.qds", folder / f"{sections}.ini"
    qds_file.write_bytes(b"\xff\xfe" + ("[$version 3$]\r\n" + body).encode("utf-16-le"))
    ini_file.write_text(body, encoding="utf-8")
    return qds_file, ini_file


def best(repeat, run):
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        run()
        times.append(time.perf_counter() - start)
    return min(times)


def read_qds(path):
    doc = qds.load(path)
    return sum(len(doc[name].items()) for name in doc.sections())


def read_ini(path):
    parser = configparser.ConfigParser(interpolation=None)
    parser.read(path, encoding="utf-8")
    return sum(len(parser[name][key]) for name in parser.sections() for key in parser[name])


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--qdstool", required=True, help="the built qdstool")
    parser.add_argument("--repeat", type=int, default=3)
    arguments = parser.parse_args()
    failed = False
    with tempfile.TemporaryDirectory(prefix="python-bench.") as scratch:
        folder = pathlib.Path(scratch)
        qds_file, ini_file = write_files(folder, 2000, 50, 30)
        module = best(arguments.repeat, lambda: read_qds(qds_file))
        ini = best(arguments.repeat, lambda: read_ini(ini_file))
        size = qds_file.stat().st_size / 1e6
        print(f"read {size:.1f} MB, every value: qds {module:.3f} s, configparser {ini:.3f} s "
              f"({ini / module:.1f}x)")
        failed |= ini / module < 10

        big, _ = write_files(folder, 20000, 50, 30)
        out = folder / "out.qds"

        def load_and_save():
            qds.load(big).save(out)

        def own():
            subprocess.run([arguments.qdstool, "rewrite", "--load-flags", "0x81",
                            "--save-flags", "0x81", str(big), str(out)], check=True)

        module = best(arguments.repeat, load_and_save)
        library = best(arguments.repeat, own)
        size = big.stat().st_size / 1e6
        print(f"load and save {size:.0f} MB: qds {module:.3f} s, the library "
              f"(qdstool rewrite) {library:.3f} s ({(module / library - 1) * 100:+.1f}%)")
        failed |= module > library * 1.10
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
