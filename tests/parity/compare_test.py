"""The parity comparison itself: identical outcomes agree, a fault planted on either side
(a log text, an exit code, a registry write, a file) makes them differ, and the known
differences drop only what they name. Needs no Wine."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import compare  # noqa: E402
import outcome  # noqa: E402

LOG = (b"[2026/12/06 19:49:04.327, uninstaller.exe (PID: 4242, TID: 4246), uninstaller.cpp:119 (WinMain)]\r\n"
       b"\tTRACE: Entered uninstaller.exe WinMain.\r\n"
       b"[2026/12/06 19:49:04.330, uninstaller.exe (PID: 4242, TID: 4246), AllUtils.cpp:7 (logit)]\r\n"
       b"\tINFO: -->Loading Config...\r\nINSTALL_SILENT=Disable\r\n\r\n")

REG_BEFORE = ("Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Zuna Runtime Environment\\1.8.0_31]\r\n"
              "\"ZunaHome\"=\"C:\\\\Program Files\\\\Zuna\\\\zre1.8.0_31\"\r\n"
              "\"Path\"=hex(2):25,00,53,00,00,00\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.zar]\r\n@=\"zarfile\"\r\n")
REG_AFTER = ("Windows Registry Editor Version 5.00\r\n\r\n"
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.zar]\r\n@=\"zarfile\"\r\n\r\n"
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane]\r\n")

WINE_BEFORE = ("WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n"
               "[Software\\\\Corvane\\\\Zuna Runtime Environment\\\\1.8.0_31] 1701888000\n#time=1da2\n"
               "\"Path\"=str(2):\"%S\"\n"
               "\"ZunaHome\"=\"C:\\\\Program Files\\\\Zuna\\\\zre1.8.0_31\"\n\n"
               "[Software\\\\Classes\\\\.zar] 1701888000\n@=\"zarfile\"\n")
WINE_AFTER = ("WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n"
              "[Software\\\\Classes\\\\.zar] 1701888000\n@=\"zarfile\"\n\n"
              "[Software\\\\Corvane] 1701888000\n")


def hosted_outcome(log=LOG, exit_code=0, after=REG_AFTER):
    lines = ["exit %d" % exit_code] + outcome.log_lines(log)
    lines += outcome.registry_diff(outcome.read_reg_file(REG_BEFORE.encode()), outcome.read_reg_file(after.encode()))
    lines += outcome.file_diff({"c:\\a.txt": ("file", "1")}, {}, {})
    return lines


def wine_outcome(log=LOG, exit_code=0, after=WINE_AFTER):
    lines = ["exit %d" % exit_code] + outcome.log_lines(log)
    lines += outcome.registry_diff(outcome.read_wine_registry(WINE_BEFORE.encode(), "HKEY_LOCAL_MACHINE"),
                                   outcome.read_wine_registry(after.encode(), "HKEY_LOCAL_MACHINE"))
    lines += outcome.file_diff({"c:\\a.txt": ("file", "1")}, {}, {})
    return lines


class Comparison(unittest.TestCase):
    def test_identical_runs_of_the_two_builds_agree(self):
        self.assertEqual(hosted_outcome(), wine_outcome())
        self.assertEqual(compare.compare("s", hosted_outcome(), wine_outcome(), []), [])

    def test_a_changed_log_text_on_either_side_differs(self):
        changed = LOG.replace(b"Loading Config", b"Loading Configs")
        self.assertNotEqual(compare.compare("s", hosted_outcome(log=changed), wine_outcome(), []), [])
        self.assertNotEqual(compare.compare("s", hosted_outcome(), wine_outcome(log=changed), []), [])

    def test_a_record_ended_by_a_bare_line_feed_differs(self):
        bare = LOG.replace(b"WinMain.\r\n", b"WinMain.\n")
        self.assertNotEqual(compare.compare("s", hosted_outcome(log=bare), wine_outcome(), []), [])

    def test_a_changed_level_line_or_function_differs(self):
        for old, new in ((b"TRACE:", b"INFO:"), (b"cpp:119", b"cpp:120"), (b"(WinMain)", b"(wWinMain)")):
            diff = compare.compare("s", hosted_outcome(), wine_outcome(log=LOG.replace(old, new)), [])
            self.assertNotEqual(diff, [], old)

    def test_time_stamps_and_thread_ids_do_not_count(self):
        later = LOG.replace(b"19:49:04.327", b"21:00:00.000").replace(b"TID: 4246", b"TID: 88")
        self.assertEqual(compare.compare("s", hosted_outcome(), wine_outcome(log=later), []), [])

    def test_a_changed_exit_code_differs(self):
        self.assertNotEqual(compare.compare("s", hosted_outcome(exit_code=610017), wine_outcome(), []), [])
        self.assertNotEqual(compare.compare("s", hosted_outcome(), wine_outcome(exit_code=225), []), [])

    def test_a_registry_write_on_one_side_differs(self):
        written = REG_AFTER + "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.zar]\r\n\"Extra\"=dword:00000001\r\n"
        self.assertNotEqual(compare.compare("s", hosted_outcome(after=written), wine_outcome(), []), [])
        kept = WINE_AFTER + "\n[Software\\\\Classes\\\\.zar] 1\n@=\"zarfile\"\n\"Path\"=str(2):\"%S\"\n"
        self.assertNotEqual(compare.compare("s", hosted_outcome(), wine_outcome(after=kept), []), [])

    def test_a_value_of_another_type_differs(self):
        other = REG_AFTER.replace("@=\"zarfile\"", "@=hex(2):7a,00,00,00")
        self.assertNotEqual(compare.compare("s", hosted_outcome(after=other), wine_outcome(), []), [])

    def test_a_file_left_on_one_side_differs(self):
        wine = wine_outcome()
        wine.remove("file - c:\\a.txt")
        self.assertNotEqual(compare.compare("s", hosted_outcome(), wine, []), [])


class KnownDifferences(unittest.TestCase):
    KNOWN = ("# Wine rewrites its own keys.\n"
             "wine * reg (?:[+-] )?hkey_local_machine\\\\software\\\\wine\\b.*\n\n"
             "# Links exist on the hosted side only.\n"
             "hosted demo-*,holder link .*\n")

    def test_an_entry_drops_its_lines_on_its_side_and_scenarios_only(self):
        known = compare.parse_known(self.KNOWN)
        noise = "reg + hkey_local_machine\\software\\wine\\drivers"
        self.assertEqual(compare.compare("s", ["exit 0"], ["exit 0", noise], known), [])
        self.assertNotEqual(compare.compare("s", ["exit 0", noise], ["exit 0"], known), [])
        link = "link + c:\\l -> c:\\t"
        self.assertEqual(compare.compare("demo-silent", ["exit 0", link], ["exit 0"], known), [])
        self.assertNotEqual(compare.compare("empty", ["exit 0", link], ["exit 0"], known), [])
        self.assertTrue(all(entry.used for entry in known))

    def test_an_entry_matches_whole_lines_only(self):
        known = compare.parse_known("# a reason\nboth * exit 0\n")
        self.assertNotEqual(compare.compare("s", ["exit 0"], ["exit 610017"], known), [])
        self.assertNotEqual(compare.compare("s", ["exit 0"], ["exit 01"], known), [])

    def test_an_entry_needs_its_reason_and_its_form(self):
        with self.assertRaises(ValueError):
            compare.parse_known("wine * reg .*\n")
        with self.assertRaises(ValueError):
            compare.parse_known("# reason\nneither * reg .*\n")
        with self.assertRaises(ValueError):
            compare.parse_known("# reason\nwine * reg (\n")

    def test_the_suites_own_list_is_well_formed(self):
        with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "known-differences.txt"), encoding="utf-8") as f:
            known = compare.parse_known(f.read())
        self.assertTrue(known)
        # No entry may drop the exit status or a whole side's log.
        for line in ("exit 0", "exit 610017"):
            self.assertFalse(any(e.pattern.fullmatch(line) for e in known), line)


class Readers(unittest.TestCase):
    def test_reg_file_values_are_canonical(self):
        keys = outcome.read_reg_file((
            "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_USERS\\S-1\\A\\B]\r\n"
            "\"Multi\"=hex(7):61,00,00,00,62,\\\r\n  00,00,00,00,00\r\n\"N\"=dword:0000002a\r\n"
            "\"Q\\\"uote\"=\"x\\\\y\"\r\n").encode())
        values = keys["hkey_users\\s-1\\a\\b"][1]
        self.assertEqual(values["multi"][1], 'REG_MULTI_SZ ["a", "b"]')
        self.assertEqual(values["n"][1], "REG_DWORD 42")
        self.assertEqual(values['q"uote'][1], 'REG_SZ "x\\\\y"')
        self.assertIn("hkey_users\\s-1\\a", keys)

    def test_wine_registry_escapes_and_links(self):
        keys = outcome.read_wine_registry((
            "[System\\\\ControlSet001\\\\Control\\\\Session Manager\\\\Environment] 1\n"
            "\"Path\"=str(2):\"C:\\\\x;\\x00e9\"\n\"Multi\"=str(7):\"a\\0b\\0\"\n").encode(), "HKEY_LOCAL_MACHINE",
            {"hkey_local_machine\\system\\controlset001": "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet"})
        values = keys["hkey_local_machine\\system\\currentcontrolset\\control\\session manager\\environment"][1]
        self.assertEqual(values["path"][1], 'REG_EXPAND_SZ "C:\\\\x;\\u00e9"')
        self.assertEqual(values["multi"][1], 'REG_MULTI_SZ ["a", "b"]')

    def test_log_text_before_the_first_record_is_kept(self):
        lines = outcome.log_lines(b"garbage\r\n" + LOG)
        self.assertTrue(lines[0].startswith("log <before the first record>"))

    def test_backup_names_lose_their_time(self):
        lines = outcome.file_diff({}, {"c:\\t\\zusched-backup-20261206-194904-2.reg": ("file", "9")}, {"9": "<b>"})
        self.assertEqual(lines, ["file + c:\\t\\zusched-backup-<time>.reg <b>"])


if __name__ == "__main__":
    unittest.main()
