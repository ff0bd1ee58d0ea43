"""Compares the outcomes of one scenario on the two builds, the known differences aside.

A known difference is an entry of known-differences.txt:

    # why the two sides cannot agree here (at least one comment line)
    SIDE SCENARIOS REGEX

SIDE is "hosted", "wine" or "both": the outcome whose lines the entry drops; or "mask":
on both sides, the parts of a matching line that the REGEX's groups match are replaced
by "<masked>", the rest of the line still compared. SCENARIOS is
a comma-separated list of scenario names or shell patterns ("*" for all). REGEX must
match a whole outcome line. An entry without its reason is an error; the driver names
the entries that dropped nothing in a run of every scenario, so that the list does not
outlive its causes.
"""

import difflib
import fnmatch
import re

SIDES = ("hosted", "wine", "both", "mask")
MASKED = "<masked>"


class KnownDifference:
    def __init__(self, side, scenarios, pattern, reason, line):
        self.side = side
        self.scenarios = scenarios
        self.pattern = re.compile(pattern)
        self.reason = reason
        self.line = line
        self.used = False

    def applies(self, scenario, side):
        if self.side not in (side, "both", "mask"):
            return False
        return any(fnmatch.fnmatchcase(scenario, s) for s in self.scenarios)


def parse_known(text, source="known-differences.txt"):
    entries = []
    reason = []
    for number, raw in enumerate(text.splitlines(), 1):
        line = raw.strip()
        if not line:
            reason = []
            continue
        if line.startswith("#"):
            reason.append(line[1:].strip())
            continue
        parts = line.split(None, 2)
        if len(parts) != 3 or parts[0] not in SIDES:
            raise ValueError("%s:%d: expected 'SIDE SCENARIOS REGEX'" % (source, number))
        if not any(reason):
            raise ValueError("%s:%d: a known difference needs its reason in a comment above it" % (source, number))
        try:
            entry = KnownDifference(parts[0], parts[1].split(","), parts[2], " ".join(reason), number)
        except re.error as e:
            raise ValueError("%s:%d: %s" % (source, number, e))
        entries.append(entry)
    return entries


def drop_known(lines, scenario, side, known):
    out = []
    for line in lines:
        dropped = False
        for entry in known:
            if not entry.applies(scenario, side):
                continue
            match = entry.pattern.fullmatch(line)
            if not match:
                continue
            entry.used = True
            if entry.side == "mask":
                for group in range(entry.pattern.groups, 0, -1):
                    if match.start(group) >= 0:
                        line = line[:match.start(group)] + MASKED + line[match.end(group):]
                continue
            dropped = True
            break
        if not dropped:
            out.append(line)
    return out


def compare(scenario, hosted, wine, known):
    """The differences between the two outcomes as a unified diff (empty when they agree)."""
    left = drop_known(hosted, scenario, "hosted", known)
    right = drop_known(wine, scenario, "wine", known)
    if left == right:
        return []
    return list(difflib.unified_diff(left, right, "hosted/" + scenario, "wine/" + scenario, n=2, lineterm=""))
