"""The install-source record: the note of the executable's resource,
Base64-encoded in lines of 76 characters, as the value SourceInfo below
HKLM\\Software\\Brannex\\Freeware - Lumenta, in both registry views."""
from lib import expected as X

WOW_KEY = "Software\\Wow6432Node\\Brannex\\Freeware - Lumenta"


def _note(t, variant=None):
    path = t.m["variants"][variant]["note"] if variant else t.m["source_note"]
    with open(path, "rb") as f:
        return f.read()


def _run(t, variant=None):
    t.framework_present()
    exe = t.m["variants"][variant]["exe"] if variant else None
    t.eq(t.run_boot(exe=exe), 0, "exit code")


def _expect_value(t, expected, views=(32, 64)):
    for view in views:
        got = t.reg_get(view, "HKLM", X.SOURCE_KEY, X.SOURCE_VALUE)
        t.check(got is not None, f"no {X.SOURCE_VALUE} in the {view}-bit view")
        t.eq(got[0], X.REG_SZ, f"type of {X.SOURCE_VALUE} ({view}-bit view)")
        t.eq(got[1], expected, f"{X.SOURCE_VALUE} ({view}-bit view)")


def test_value_in_both_views(t):
    _run(t)
    note = _note(t)
    t.eq(len(note), 184, "size of the note as built")
    expected = X.source_note_value(note)
    # Three lines of 76 characters with CR LF, a last one of 20 ending in
    # "==", and the NUL: 255 bytes.
    t.eq(len(expected), 255, "size of the expected value")
    _expect_value(t, expected)
    # The 32-bit view is the Wow6432Node key of the 64-bit registry.
    t.eq(t.reg_get(64, "HKLM", WOW_KEY, X.SOURCE_VALUE), (X.REG_SZ, expected), "Wow6432Node value")


def test_value_recorded_before_the_question(t):
    # The record comes first: it is there even when the user then answers No.
    run = t.start_boot()
    run.answer("&No", text=X.QUESTION_TEXT)
    t.eq(run.wait(), 0, "exit code")
    _expect_value(t, X.source_note_value(_note(t)))


def test_old_value_replaced(t):
    for view in (32, 64):
        t.reg_set(view, "HKLM", X.SOURCE_KEY, X.SOURCE_VALUE, X.REG_BINARY, b"\x01" * 400)
    _run(t)
    _expect_value(t, X.source_note_value(_note(t)))


def test_note_of_one_byte_records_nothing(t):
    _run(t, "note1")
    for view in (32, 64):
        t.check(not t.reg_key_exists(view, "HKLM", X.MAKER_KEY),
                f"HKLM\\{X.MAKER_KEY} was created in the {view}-bit view")
    t.expect_package_written()


def test_note_of_185_bytes_drops_last_byte(t):
    _run(t, "note185")
    note = _note(t, "note185")
    t.eq(len(note), 185, "size of the note")
    expected = X.source_note_value(note[:184])
    t.eq(X.source_note_value(note), expected, "the odd byte's part in the expected value")
    _expect_value(t, expected)


def test_note_of_114_bytes_ends_with_crlf(t):
    _run(t, "note114")
    expected = X.source_note_value(_note(t, "note114"))
    t.check(expected.endswith(b"\r\n\0"), "expected value ends with CR LF")
    t.eq(len(expected), 2 * 78 + 1, "size of the expected value")
    _expect_value(t, expected)


def test_note_with_nul_unit_kept(t):
    _run(t, "notenul")
    note = _note(t, "notenul")
    t.check(b"\0\0" in note, "the note holds a NUL code unit")
    _expect_value(t, X.source_note_value(note))


def test_win32_prefix_one_key(t):
    # Without WOW64 both view flags address the one registry: the same key
    # receives the value (twice).
    w = t.in_prefix("win32")
    w.framework_present()
    w.eq(w.run_boot(), 0, "exit code")
    expected = X.source_note_value(_note(w))
    w.eq(w.reg_get(0, "HKLM", X.SOURCE_KEY, X.SOURCE_VALUE), (X.REG_SZ, expected), "SourceInfo")
    w.check(not w.reg_key_exists(0, "HKLM", WOW_KEY), "a Wow6432Node key in a 32-bit prefix")
    w.expect_installed()
