"""The module's interface: reads, changes, signing, errors, the expansion
language, and documents used from several threads."""

import threading

import pytest
import qds

APP = "[$version 3$]\r\n[Files]\r\nnotes.exe=bin\\notes.exe\r\n[Registry]\r\n" \
      "Version=4.2.0\r\nDup=1\r\nDup=\"two\"\r\n[Shortcuts]\r\nDesktop=\"Ledger Notes\"\r\n"


@pytest.fixture
def doc():
    return qds.loads(APP)


def test_reads(doc):
    registry = doc["registry"]  # names meet with A-Z folded
    assert doc.sections() == list(doc) == ["Files", "Registry", "Shortcuts"]
    assert registry.name == "Registry" and len(doc) == 3 and len(registry) == 2
    assert registry["VERSION"] == "4.2.0" and "version" in registry and "Nope" not in registry
    assert registry.getall("Dup") == ["1", "two"] and registry.raw("Dup") == "1"
    assert doc["Shortcuts"]["Desktop"] == "Ledger Notes"
    assert doc["Shortcuts"].raw("Desktop") == '"Ledger Notes"'
    assert registry.keys() == list(registry) == ["Version", "Dup"]
    assert registry.items() == [("Version", "4.2.0"), ("Dup", "1"), ("Dup", "two")]
    assert registry.get("Nope", "x") == "x" and 5 not in doc and 5 not in registry
    assert doc["Shortcuts"].get("Desktop") == "Ledger Notes"


def test_changes(doc):
    registry = doc["Registry"]
    registry["Dup"] = "one"  # as qdstool set: one value left
    registry.add("Version", "5")
    registry.remove_value("Version", 0)
    registry.rename_key("Dup", "Single")
    doc.rename_section("Files", "Payload")
    del doc["Shortcuts"]
    doc.section("New")["K"] = "v"
    assert doc.modified
    assert doc.dumps().decode("utf-16") == "[$version 3$]\r\n[Payload]\r\nnotes.exe=bin\\notes.exe\r\n" \
        "[Registry]\r\nSingle=one\r\nVersion=5\r\n[New]\r\nK=v\r\n"
    del registry["Single"]
    assert registry.items() == [("Version", "5")]


# Texts of each width of str, with a lone surrogate as surrogateescape makes one.
@pytest.mark.parametrize("odd", ["caf\u00e9", "\u0416\udc80", "\U00010000\U0001F600 \udc80"])
def test_texts_keep_every_character(odd):
    doc = qds.Document()
    doc.section("S")[odd] = odd
    assert qds.loads(doc.dumps())["S"][odd] == odd
    assert qds.loads(memoryview(bytearray(doc.dumps())))["S"].items() == [(odd, odd)]


def test_signing(tmp_path):
    signed = qds.loads(qds.loads(APP).dumps(sign=True), verify=True)
    assert signed.signed
    signed["Registry"]["Version"] = "5"
    again = signed.dumps()  # a signed file stays signed
    assert qds.loads(again, verify=True)["Registry"]["Version"] == "5"
    assert not qds.loads(signed.dumps(sign=False, canonical=True)).signed
    # Signed again, a canonical text gains no line end, kept layout or not.
    canonical = signed.dumps(canonical=True)
    assert qds.loads(canonical, keep_layout=False).dumps() == canonical
    assert qds.loads(canonical).dumps(canonical=True) == canonical
    path = tmp_path / "s.qds"
    signed.save(path, canonical=True)
    assert path.read_bytes() == signed.dumps(canonical=True)
    assert qds.load(str(path), verify=True).path == str(path)


def test_loads_reads_code_pages():
    ansi = "[$version 3, codepage 1251$]\r\n[S]\r\nK=\u0416\r\n".encode("cp1251")
    assert qds.loads(ansi)["S"]["K"] == "\u0416"
    assert qds.loads(ansi, codepage=1252)["S"]["K"] == "\u00c6"


def failure(call):
    try:
        call()
    except Exception as error:  # pylint: disable=broad-except
        return error
    pytest.fail("no exception")


def set_value(doc, key, value):
    doc["Registry"][key] = value


@pytest.mark.parametrize("call, kind, status, words", [
    (lambda d: d["Nope"], KeyError, None, "'Nope'"),
    (lambda d: d["Registry"]["Nope"], KeyError, None, "'Nope'"),
    (lambda d: d.section("Gone")["K"], KeyError, None, "'Gone'"),
    (lambda d: d["Registry"].remove_value("Dup", 2), IndexError, None, "no value at that index"),
    (lambda d: d.__delitem__("Nope"), KeyError, None, "'Nope'"),
    (lambda d: set_value(d, "K", 5), TypeError, None, "value must be str, not int"),
    (lambda d: set_value(d, "a=b", "x"), qds.QdsError, 31,
     'cannot set [Registry] "a=b": a key may not contain "=" (status 31)'),
    (lambda d: set_value(d, "K", " x"), qds.QdsError, 32, "(status 32)"),
    (lambda d: d.rename_section("Files", "registry"), qds.QdsError, 33, "(status 33)"),
    (lambda d: qds.merge(d, d), qds.QdsError, 40, "(status 40)"),
    (lambda d: qds.load("/nonexistent/x.qds"), qds.QdsError, 2,
     "/nonexistent/x.qds: cannot open: No such file or directory (status 2)"),
    (lambda d: qds.loads(b"[S]\r\nkey\r\n"), qds.QdsError, 7,
     'data:2: syntax error: a key without "=" (status 7)'),
    (lambda d: qds.loads(APP, verify=True), qds.QdsError, 15, "(status 15)"),
    (lambda d: qds.loads(APP, codepage=12345), qds.QdsError, 34, "(status 34)"),
    (lambda d: d.save(), qds.QdsError, 2, "(status 2)"),
    (lambda d: qds.loads(d.dumps(sign=True)).dumps(sign=False), ValueError, None, "canonical=True"),
    (lambda d: qds.expand("%!nosuch()%"), qds.QdsError, 5, "expand: "),
    (lambda d: qds.expand("%!set(x, 1)%", commands=False), qds.QdsError, 9, "(status 9)"),
    (lambda d: qds.evaluate("1/0"), qds.QdsError, 12, "eval: "),
    (lambda d: qds.expand("%a%", [("a", "1")]), TypeError, None, "symbols must be a dict"),
    (lambda d: qds.loads(5), TypeError, None, "cannot convert 'int' object to bytes"),
    (lambda d: qds.load(b"/nonexistent/\xff"), qds.QdsError, 2, "/nonexistent/\udcff: cannot open"),
])
def test_errors(doc, call, kind, status, words):
    error = failure(lambda: call(doc))
    assert type(error) is kind and words in str(error)
    if status is not None:
        assert error.status == status and error.reason in str(error)


def test_error_locations():
    error = failure(lambda: qds.loads(b"[S]\r\nK=1\r\nkey\r\n"))
    assert (error.line, error.name, error.path) == (3, "SyntaxError", None)
    assert failure(lambda: qds.expand("ab%!nosuch()%")).position == 4


def test_expansion():
    symbols = {"Dir": "C:\\Apps"}
    assert qds.expand("%Dir%\\x%!set(Out, %Dir%\\bin)%", symbols) == "C:\\Apps\\x"
    assert symbols["Out"] == "C:\\Apps\\bin"
    assert qds.expand("%!if(1 = 1, yes, no)%") == "yes"
    assert qds.evaluate("2*3+1") == 7 and qds.evaluate("") == 0


def test_documents_on_two_threads(tmp_path):
    """Each thread changes and saves its own document; a third keeps reading
    one of them, and gets its values or RuntimeError, never a crash."""
    docs = [qds.loads(APP) for _ in range(2)]
    refused = []

    def edit(index):
        section = docs[index]["Registry"]
        for n in range(300):
            section.add("N", str(n))
            docs[index].save(tmp_path / f"{index}.qds")

    def read():
        for _ in range(3000):
            try:
                docs[0]["Registry"].get("Version")
            except RuntimeError:
                refused.append(1)

    threads = [threading.Thread(target=edit, args=(i,)) for i in range(2)]
    threads.append(threading.Thread(target=read))
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    for index in range(2):
        assert qds.load(tmp_path / f"{index}.qds")["Registry"].getall("N") == \
            [str(n) for n in range(300)]
