"""The module against the programs: it reads and writes the bytes that
qdstool and knitfold read and write."""

import shutil
import subprocess

import pytest
import qds
from conftest import BIN, SOURCE, qdstool, sample_files


@pytest.mark.parametrize("path", sample_files(), ids=lambda p: p.name)
def test_samples_round_trip_and_rewrite_as_qdstool(path, tmp_path):
    """Every sample loads back to its own bytes, and its canonical form is
    what qdstool's rewrite keeping comments writes."""
    rewritten = tmp_path / "r.qds"
    status = qdstool("rewrite", "--load-flags", "1", "--save-flags", "1", path, rewritten,
                     check=False).returncode
    try:
        document = qds.load(path)
    except qds.QdsError as failure:
        # 65: lines that end in LF alone, which qdstool will not write, and
        # which read as one line
        assert status in (failure.status, 65)
        return
    assert document.dumps() == path.read_bytes()
    assert qds.loads(path.read_bytes()).dumps() == path.read_bytes()
    if status == 0:
        assert document.dumps(canonical=True) == rewritten.read_bytes()


@pytest.mark.parametrize("canonical", [False, True])
def test_edits_write_what_qdstool_writes(app, tmp_path, canonical):
    by_tool = tmp_path / "tool.qds"
    shutil.copy(app, by_tool)
    options = ["--canonical"] if canonical else []
    qdstool("edit", *options, by_tool, "--set", "Registry", "Version", "4.3.0",
            "--add", "Files", "extra.dll", "bin\\extra.dll", "--del", "Registry", "Plugin",
            "--rename-section", "Shortcuts", "Links", "--set", "New", "Key", "v")
    document = qds.load(app)
    document["Registry"]["Version"] = "4.3.0"
    document["Files"].add("extra.dll", "bin\\extra.dll")
    del document["Registry"]["Plugin"]
    document.rename_section("Shortcuts", "Links")
    document.section("New")["Key"] = "v"
    document.save(canonical=canonical)
    assert app.read_bytes() == by_tool.read_bytes()
    if not canonical:  # the value's own line alone changed
        assert app.read_bytes().count("4.3.0".encode("utf-16-le")) == 1


def test_merge_writes_knitfold_bytes(app, tmp_path):
    compat = tmp_path / "extra.qds"
    shutil.copy(SOURCE / "examples" / "extra.qds", compat)
    target = qds.load(app)
    other = qds.load(compat)
    before = other.dumps()
    qds.merge(target, other)
    assert other.dumps() == before
    subprocess.run([str(BIN / "knitfold"), str(app), str(compat)], check=True)
    assert target.dumps(canonical=True) == app.read_bytes()


def test_guide_example_runs(tmp_path, monkeypatch, capsys):
    guide = (SOURCE / "docs" / "python.md").read_text()
    example = guide.split("```python\n", 1)[1].split("```", 1)[0]
    for name in ("app.qds", "extra.qds"):
        shutil.copy(SOURCE / "examples" / name, tmp_path / name)
    monkeypatch.chdir(tmp_path)
    exec(compile(example, "docs/python.md", "exec"), {})  # pylint: disable=exec-used
    printed = capsys.readouterr().out.splitlines()
    assert printed[0] == "4.2.0" and printed[-3:] == [
        "/opt\\Ledger Notes", "9",
        'cannot set [Registry] "bad=key": a key may not contain "=" (status 31)']
