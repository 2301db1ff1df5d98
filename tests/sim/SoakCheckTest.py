"""scripts/soak-check.py on a run folder made here: a clean run passes, and each way a report
can betray the counts it should hold makes it fail. Usage: SoakCheckTest.py PATH/soak-check.py"""

import pathlib
import subprocess
import sys
import tempfile
import unittest

CHECKER = sys.argv.pop(1)
COUNTS = [100128, 100048, 99868, 99388, 100539]  # one every 3.2 s from 10:00:01.000
LINE = "          /%s:  10.%02d  Ut= 0120mV  Tm=00-00-02.00  N=%08d  D=%05d.%03d  Cat=A"


def at(seconds):
    return "2026-12-07T10:%02d:%02d.%03d" % (seconds // 60, seconds % 60, seconds * 1000 % 1000)


def good(i):
    """The report line of count i: D is N / 2 s in thousandths."""
    n = COUNTS[i]
    return LINE % (chr(65 + i), 0, n, n // 2, n % 2 * 500)


def run_folder(folder, lines=None, events=(), rss=(30000, 30100), report=lambda b: b, bak=None):
    (folder / "pulsedesk.cfg").write_bytes(b"[SYSTEM]\r\nThreshold_Warning=30\r\n")
    (folder / "finished.log").write_text("".join(
        "seq=%d at=%s mode=1 count=%d elapsed=0:00:02.00 threshold=2096 by=time\n"
        % (i + 1, at(1 + 3.2 * i), n) for i, n in enumerate(COUNTS)))
    (folder / "faults.log").write_text("at=%s fault=noreply duration=1.000\n" % at(5))
    (folder / "events.log").write_text("".join(
        "at=%s event=%s\n" % e for e in [(at(0), "press")] + list(events) + [(at(17), "end")]))
    (folder / "memory.log").write_text("".join(
        "at=%s t=%d rss_kib=%d\n" % (at(t), t, kib) for t, kib in zip((0, 60, 61), (29000,) + rss)))
    if lines is None:
        lines = [good(i) for i in range(len(COUNTS))]
    head = ["Report file: Vantor (Orvell)", "", "", "", ";" + "-" * 79, "", "",
            "Date: 07-12-2026 ;" + "=" * 62, "", "<000001>  ;" + "-" * 69]
    data = report("".join(line + "\r\n" for line in head + lines).encode("cp1251"))
    year = folder / "work" / "2026"
    (year / "BACKUP").mkdir(parents=True)
    (year / "12-26_000001-000001.rep").write_bytes(data)
    (year / "BACKUP" / "12-26_000001-000001.bak").write_bytes(bak if bak is not None else data)


def relabel(lines):
    return [chr(65 + i).join((line[:11], line[12:])) for i, line in enumerate(lines)]


class SoakCheck(unittest.TestCase):
    def test_each_way_of_betraying_the_counts_fails_and_a_clean_run_passes(self):
        all_lines = [good(i) for i in range(5)]
        cases = [  # name, run folder changes, expected exit code, words in the output
            ("clean", {}, 0, "lost silently:     0"),
            ("lost", {"lines": relabel(all_lines[:2] + all_lines[3:])}, 1, "said nothing"),
            ("lost with a box", {"lines": relabel(all_lines[:2] + all_lines[3:]),
                                 "events": [(at(9), "box")]}, 0, "lost with a word:  1"),
            ("told during the count", {"lines": relabel(all_lines[:2] + all_lines[3:]),
                                       "events": [(at(6), "box")]}, 0, "lost with a word:  1"),
            ("lost with no fault near", {"lines": all_lines[:4], "events": [(at(14), "box")]}, 1,
             "with no fault near it"),
            ("stale", {"lines": all_lines[:2] + [good(2).replace("99868", "99869")] + all_lines[3:]},
             1, "no such count"),
            ("twice", {"lines": relabel(all_lines[:3] + all_lines[2:])}, 1, "written twice"),
            ("swapped", {"lines": relabel([all_lines[1], all_lines[0]] + all_lines[2:])}, 1,
             "out of order"),
            ("wrong Ut", {"lines": [all_lines[0].replace("Ut= 0120", "Ut= 0000")] + all_lines[1:]},
             1, "threshold was 120 mV"),
            ("wrong D", {"lines": [all_lines[0].replace("D=50064", "D=50065")] + all_lines[1:]},
             1, "where N and Tm give"),
            ("lone LF", {"report": lambda b: b.replace(b"\r\n", b"\n", 1)}, 1, "lone CR or LF"),
            ("backup", {"bak": b"old"}, 1, "its backup differs"),
            ("stall", {"lines": all_lines[:4]}, 1, "stalled"),
            ("memory", {"rss": (30000, 30600)}, 1, "grew by 600 KiB"),
        ]
        for name, changes, code, words in cases:
            with self.subTest(name), tempfile.TemporaryDirectory() as folder:
                run_folder(pathlib.Path(folder), **changes)
                if name == "stall":  # the fifth count never came
                    log = pathlib.Path(folder) / "finished.log"
                    log.write_text("".join(log.read_text().splitlines(True)[:4]))
                result = subprocess.run(
                    [sys.executable, CHECKER, folder, "--count-time", "2", "--repeat", "99",
                     "--stall-after", "3.5"], capture_output=True, text=True)
                self.assertEqual(result.returncode, code, result.stdout + result.stderr)
                self.assertIn(words, result.stdout)


if __name__ == "__main__":
    unittest.main()
