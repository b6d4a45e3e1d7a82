"""What the tests of the Python module share: the built programs and the
sample files, which CTest names through the environment (tests/python/
CMakeLists.txt), and running qdstool."""

import os
import pathlib
import subprocess

import pytest

SOURCE = pathlib.Path(os.environ.get("KNITFOLD_SOURCE_DIR", pathlib.Path(__file__).parents[2]))
BIN = pathlib.Path(os.environ.get("KNITFOLD_PROGRAM_DIR", SOURCE / "build" / "bin"))
CORPUS = pathlib.Path(os.environ.get("KNITFOLD_CORPUS_DIR", SOURCE.parent / "shared" / "corpus"))


def sample_files():
    """Every file of examples/ and of the corpus beside the project."""
    files = []
    for folder in (SOURCE / "examples", CORPUS):
        if folder.is_dir():
            files += sorted(p for p in folder.iterdir() if p.is_file() and p.name != ".gitattributes")
    return files


def qdstool(*arguments, check=True):
    """Runs the built qdstool; its completed process (bytes out)."""
    run = subprocess.run([str(BIN / "qdstool"), *map(str, arguments)], capture_output=True)
    if check and run.returncode != 0:
        pytest.fail(f"qdstool {' '.join(map(str, arguments))}: {run.stderr.decode()}")
    return run


@pytest.fixture
def app(tmp_path):
    """A copy of examples/app.qds to change."""
    path = tmp_path / "app.qds"
    path.write_bytes((SOURCE / "examples" / "app.qds").read_bytes())
    return path
