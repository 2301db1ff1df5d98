#!/usr/bin/python3
"""Checks the folder a soak run (scripts/soak.sh) left: every count pulsesim finished is in the
panel's report exactly once, in order, with its final count and time (or the panel said it was
lost); the series never stalled; the report is well-formed and its backup equal; the panel's
resident memory grew by at most 512 KiB after the first minute. Prints a summary; exit code 0
when every check holds, 1 otherwise.

Usage: soak-check.py RUN_FOLDER --count-time S --repeat N --stall-after S
"""

import argparse
import collections
import datetime
import pathlib
import re
import sys

MEMORY_GROWTH_LIMIT_KIB = 512
MONTHS = ("January", "February", "March", "April", "May", "Juni", "July", "August",
          "September", "October", "November", "December")
HEADER_ENDS = (r"( Vantor \(Orvell\))?", r"( \d+\.\d+)?", r"( .*-N\d{4,}-Soft-\d+\.\d+)?",
               r"( \d{4}-(%s))?" % "|".join(MONTHS))
DATE_LINE = re.compile(r"Date: \d\d-\d\d-\d{4} ;={62}")
RECORD_LINE = re.compile(r"<\d{6}>  ;")
MEASUREMENT_REST = re.compile(
    r"(?P<hh>\d\d)\.(?P<mm>\d\d)  Ut=(?P<ut>[ -]\d{4,})mV  "
    r"Tm=(?P<h>\d\d)-(?P<m>\d\d)-(?P<s>\d\d)\.(?P<c>\d\d)  N=(?P<n>\d{8,})  "
    r"D=(?P<d>\d{5,}\.\d{3}|-----\.---)  Cat=(?P<cat>[NWA-])")
INDENT = " " * 10 + ";"


def when(text):
    return datetime.datetime.strptime(text, "%Y-%m-%dT%H:%M:%S.%f")


def fields(line):
    """'at=... event=box title=x' -> dict; a line without key=value pairs gives {}."""
    return dict(re.findall(r"(\w+)=(\S+)", line))


def read_log(path):
    if not path.exists():
        return []
    return [f for f in map(fields, path.read_text(errors="replace").splitlines()) if "at" in f]


def hundredths(h, m, s, c):
    return ((int(h) * 60 + int(m)) * 60 + int(s)) * 100 + int(c)


def finished_counts(run):
    counts = []
    for f in read_log(run / "finished.log"):
        h, m, sc = f["elapsed"].split(":")
        s, c = sc.split(".")
        counts.append({"seq": int(f["seq"]), "at": when(f["at"]), "mode": int(f["mode"]),
                       "count": int(f["count"]), "elapsed": hundredths(h, m, s, c),
                       "threshold_mv": int((int(f["threshold"]) - 2048) * 2.5)})
    return counts


def thresholds(run):
    text = (run / "pulsedesk.cfg").read_bytes().decode("cp1251")
    found = {k: int(v) for k, v in re.findall(r"(?m)^(Threshold_\w+)=(\d+)\r?$", text)}
    return found.get("Threshold_Warning", 30), found.get("Threshold_Alarm", 60)


def next_label(label):
    letters = list(label)
    for i in reversed(range(len(letters))):
        if letters[i] < "Z":
            letters[i] = chr(ord(letters[i]) + 1)
            return "".join(letters)
        letters[i] = "A"
    return "A" + "".join(letters)


def measurement(line, warn, alarm):
    """The fields of a measurement line and what is wrong with them (None when nothing is), or
    the reason it is not one."""
    field = line[11:15]
    label = field.split(":")[0].rstrip()
    rest = MEASUREMENT_REST.fullmatch(line[15:])
    if not line.startswith(" " * 10 + "/") or not re.fullmatch(r"[A-Z]+", label) \
            or field != (label + ":      ")[:4] or not rest:
        return "not a measurement line"
    m = rest.groupdict()
    t = hundredths(m["h"], m["m"], m["s"], m["c"])
    n = int(m["n"])
    if t == 0:
        d, cat = "-----.---", "-"
    else:
        rate = n * 100000 // t
        d = "%05d.%03d" % (rate // 1000, rate % 1000)
        cat = "N" if rate < warn else "W" if rate < alarm else "A"
    wrong = None
    if (m["d"], m["cat"]) != (d, cat):
        wrong = "D=%s Cat=%s where N and Tm give D=%s Cat=%s" % (m["d"], m["cat"], d, cat)
    return {"label": label, "minute": int(m["hh"]) * 60 + int(m["mm"]), "count": n,
            "elapsed": t, "ut": int(m["ut"])}, wrong


def parse_report(data, warn, alarm, name):
    """Measurement lines in order, and every fault of form found."""
    problems, found = [], []
    if not data.endswith(b"\r\n"):
        problems.append("%s: does not end with CR LF" % name)
    raw = data.split(b"\r\n")[:-1] if data.endswith(b"\r\n") else data.split(b"\r\n")
    try:
        lines = [line.decode("cp1251") for line in raw]
    except UnicodeDecodeError as e:
        return [], ["%s: not Windows-1251 text (%s)" % (name, e)]
    label, in_record = "@", False
    for number, line in enumerate(lines, 1):
        where = "%s line %d" % (name, number)
        if "\r" in line or "\n" in line:
            problems.append("%s: a lone CR or LF" % where)
        if number <= 4:
            ok = line == "" or re.fullmatch(r".*?" + HEADER_ENDS[number - 1], line)
        elif number == 5:
            ok = line == ";" + "-" * 79
        elif line == "" or DATE_LINE.fullmatch(line):
            ok, in_record = True, False
        elif RECORD_LINE.match(line):
            ok, in_record, label = True, line.endswith("-" * 69), "@"
        elif line.startswith(INDENT):
            ok, in_record = True, line == INDENT + "-" * 69
        else:
            m = measurement(line, warn, alarm)
            if isinstance(m, str):
                problems.append("%s: %s: %r" % (where, m, line))
                continue
            m, wrong = m
            if wrong:
                problems.append("%s: %s" % (where, wrong))
            if not in_record:
                problems.append("%s: a measurement outside a record" % where)
            label = next_label(label)
            if m["label"] != label:
                problems.append("%s: label %s where %s was due" % (where, m["label"], label))
                label = m["label"]
            m["line"] = where
            found.append(m)
            continue
        if not ok:
            problems.append("%s: not a report line: %r" % (where, line))
    return found, problems


def check_report(run, warn, alarm):
    measurements, problems = [], []
    reports = sorted((run / "work").glob("*/*.rep"))
    if not reports:
        problems.append("no report file under %s" % (run / "work"))
    for rep in reports:
        data = rep.read_bytes()
        found, bad = parse_report(data, warn, alarm, rep.name)
        measurements += found
        problems += bad
        backup = rep.parent / "BACKUP" / (rep.stem + ".bak")
        if not backup.exists():
            problems.append("%s: no backup %s" % (rep.name, backup))
        elif backup.read_bytes() != data:
            problems.append("%s: its backup differs" % rep.name)
    return measurements, problems


def minute_of(at):
    return at.hour * 60 + at.minute


def match(finished, measurements, window):
    """Pairs report lines with finished counts in order. Returns the finished counts' indices
    that were written; report lines that fit none (stray), with the reason; and written counts
    with a wrong field."""
    written, stray, wrong = {}, [], []
    cursor = 0
    same = lambda f, m: (f["count"], f["elapsed"]) == (m["count"], m["elapsed"])
    for m in measurements:
        ahead = next((k for k in range(cursor, min(len(finished), cursor + 60))
                      if same(finished[k], m)), None)
        if ahead is not None:
            written[ahead], cursor = m, ahead + 1
            f = finished[ahead]
            late = (m["minute"] - minute_of(f["at"])) % 1440
            if late > (minute_of(f["at"] + window) - minute_of(f["at"])) % 1440:
                wrong.append((m, "written at %02d.%02d, long after its end at %s" % (
                    m["minute"] // 60, m["minute"] % 60, f["at"].strftime("%H:%M:%S.%f")[:-3])))
            if m["ut"] != f["threshold_mv"]:
                wrong.append((m, "Ut=%d mV where the device's threshold was %d mV" % (
                    m["ut"], f["threshold_mv"])))
            continue
        earlier = next((k for k in range(cursor) if k not in written and same(finished[k], m)),
                       None)
        if cursor > 0 and same(finished[cursor - 1], m):
            stray.append((m, "written twice"))
        elif earlier is not None:
            written[earlier] = m
            stray.append((m, "out of order"))
        else:
            m["after"] = cursor
            stray.append((m, None))
    # A count of no finished count most likely stands for one of those left out around it.
    for i, (m, why) in enumerate(stray):
        if why is None:
            until = min([k for k in written if k >= m["after"]] + [len(finished)])
            around = ", ".join("%d (N=%d, ended %s)" % (f["seq"], f["count"], f["at"].strftime("%H:%M:%S.%f")[:-3])
                               for k, f in enumerate(finished[m["after"]:until], m["after"])
                               if k not in written)
            stray[i] = (m, "N=%d Tm=%d/100 s: the device finished no such count%s" % (
                m["count"], m["elapsed"], "; not written around it: " + around if around else ""))
    return written, stray, wrong


def fault_at(faults, at, before=0.0):
    """The kind of a fault under way at some moment from `before` seconds ahead of at to at."""
    for f in faults:
        start = when(f["at"])
        if start - datetime.timedelta(seconds=before) <= at <= \
                start + datetime.timedelta(seconds=float(f["duration"]) + 0.5 + before):
            return f["fault"]
    return None


LOST_PREFIX = "Измерение не записано в отчёт: "


def loss_reasons(run):
    """When and why the panel said a measurement was not recorded, from its standard error."""
    said = []
    for line in (run / "panel.err").read_text(errors="replace").splitlines() \
            if (run / "panel.err").exists() else []:
        at, _, text = line.partition(" ")
        if text.startswith(LOST_PREFIX) and at.startswith("at="):
            # "…сообщил об ошибке: <the message file's text>": grouped without the text
            said.append((when(at[3:]), text[len(LOST_PREFIX):].split(":")[0].rstrip(".")))
    return said


def stalls(presses, finished, end_at, repeat, limit, lost_with_word):
    """Gaps longer than limit while a series should run: from a press of ПУСК to its repeat-th
    count, the next press or the end."""
    found = []
    for i, press in enumerate(presses):
        stop = presses[i + 1] if i + 1 < len(presses) else end_at
        counts = [f for f in finished if press <= f["at"] < stop][:repeat]
        if len(counts) == repeat:
            stop = counts[-1]["at"]
        points = [(press, None)] + [(f["at"], f) for f in counts] + [(stop, None)]
        for (a, fa), (b, _) in zip(points, points[1:]):
            if (b - a).total_seconds() > limit and not (fa and fa["seq"] in lost_with_word):
                found.append((a, (b - a).total_seconds()))
    return found


def memory(run):
    samples = [(int(f["t"]), int(f["rss_kib"])) for f in read_log(run / "memory.log")
               if f.get("rss_kib", "").isdigit()]
    after_minute = [s for s in samples if s[0] >= 60]
    return samples, after_minute


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("run", type=pathlib.Path)
    parser.add_argument("--count-time", type=float, required=True)
    parser.add_argument("--repeat", type=int, required=True)
    parser.add_argument("--stall-after", type=float, required=True)
    args = parser.parse_args()
    run = args.run
    failures = []

    events = read_log(run / "events.log")
    finished = finished_counts(run)
    ends = [when(e["at"]) for e in events if e["event"] == "end"]
    if not ends:
        failures.append("the run did not reach its end")
        ends = [max([when(e["at"]) for e in events] + [f["at"] for f in finished])]
    end_at = ends[0]
    if any(e["event"] == "panel-gone" for e in events):
        failures.append("the panel ended during the run")
    presses = [when(e["at"]) for e in events if e["event"] == "press"]
    boxes = [when(e["at"]) for e in events if e["event"] == "box"]
    faults = read_log(run / "faults.log") + read_log(run / "mux-faults.log")
    due = [f for f in finished if f["at"] <= end_at]
    window = datetime.timedelta(seconds=args.stall_after)

    warn, alarm = thresholds(run)
    measurements, form = check_report(run, warn, alarm)
    failures += form
    written, stray, wrong = match(finished, measurements, window)
    failures += ["%s: %s" % (m["line"], why) for m, why in stray + wrong]

    lost_word, lost_silent, free_boxes = [], [], list(boxes)
    for k, f in enumerate(finished):
        if f["at"] > end_at or k in written:
            continue
        # A fault during the count is told as it comes, before the count's end.
        began = f["at"] - datetime.timedelta(seconds=args.count_time + 0.5)
        box = next((b for b in free_boxes if began <= b <= f["at"] + window), None)
        if box:
            free_boxes.remove(box)
            lost_word.append(f)
            # Only a fault during the count, or while its end was awaited, may lose it.
            if not fault_at(faults, f["at"], before=args.count_time + 1):
                failures.append("count %d (N=%d, ended %s) was reported lost with no fault near "
                                "it" % (f["seq"], f["count"], f["at"].strftime("%H:%M:%S.%f")[:-3]))
        else:
            lost_silent.append(f)
            kind = fault_at(faults, f["at"])
            failures.append("count %d (N=%d, ended %s%s) is not in the report and the panel said "
                            "nothing" % (f["seq"], f["count"], f["at"].strftime("%H:%M:%S.%f")[:-3],
                                         ", during " + kind if kind else ""))
    stalled = stalls(presses, due, end_at, args.repeat, args.stall_after,
                     {f["seq"] for f in lost_word})
    failures += ["the series stalled: no count for %.1f s after %s" % (s, a.strftime("%H:%M:%S.%f")[:-3])
                 for a, s in stalled]

    samples, after_minute = memory(run)
    if after_minute:
        growth = samples[-1][1] - after_minute[0][1]
        if growth > MEMORY_GROWTH_LIMIT_KIB:
            failures.append("resident memory grew by %d KiB after the first minute (limit %d)"
                            % (growth, MEMORY_GROWTH_LIMIT_KIB))
    else:
        failures.append("no memory sample after the first minute")

    kinds = collections.Counter(f["fault"] for f in faults)
    longest = max((float(f["duration"]) for f in faults), default=0)
    print("faults injected:   %d (%s), longest %.2f s" % (
        len(faults), ", ".join("%s %d" % kv for kv in sorted(kinds.items())) or "none", longest))
    print("counts finished:   %d (%d by the end of the run)" % (len(finished), len(due)))
    print("written:           %d (report lines %d)" % (
        sum(1 for k in written if finished[k]["at"] <= end_at), len(measurements)))
    reasons = collections.Counter(why for _, why in loss_reasons(run))
    print("lost with a word:  %d%s" % (len(lost_word), "".join(
        "\n    %d: %s" % (n, why) for why, n in reasons.most_common())))
    print("lost silently:     %d" % len(lost_silent))
    print("stray lines:       %d (twice, out of order, or of no finished count)" % len(stray))
    print("wrong fields:      %d (threshold, or written long after the end)" % len(wrong))
    print("stalls:            %d%s" % (len(stalled), " (longest %.1f s, limit %.0f s)" % (
        max(s for _, s in stalled), args.stall_after) if stalled else ""))
    print("error boxes:       %d" % len(boxes))
    print("report:            %s" % ("well-formed, backup equal" if not form else
                                     "%d faults of form" % len(form)))
    if samples:
        print("memory (VmRSS):    %d KiB at start, %s at 1 min, %d KiB at the end, peak %d KiB" % (
            samples[0][1], "%d KiB" % after_minute[0][1] if after_minute else "none",
            samples[-1][1], max(s for _, s in samples)))
    for failure in failures:
        print("FAIL: " + failure)
    print("soak: %s" % ("PASSED" if not failures else "FAILED (%d)" % len(failures)))
    return 0 if not failures else 1


if __name__ == "__main__":
    sys.exit(main())
