#!/usr/bin/env python3
"""The closing table of ./dev test: one row per stage, in the order they
started, with its tests run, passed, failed and skipped, when it started, its
wall time and its CPU time; the builds, the set-up and the test runs each
summed; the whole run from start to end; then every skipped test by name with
its reason. A GoogleTest program counts by its cases (from its XML results), a
test of several scenario files by its files (from its output), any other test
as one; a case that is a test of its own has a results file of its own. Exits
1 when a stage failed or a test did not pass.

Reads the stages file ./dev test writes, one stage a line, tab-separated:
kind (build, set-up or test), name, wall seconds, exit status, ctest JUnit
file, GoogleTest results folder, log ("-" where a stage has none), CPU seconds
(of the processes the stage waited for), start in seconds from the run's start.
Stages run side by side, so the sums of their times exceed the whole run's."""
import os
import re
import sys
import xml.etree.ElementTree as ElementTree


class Counts:
    def __init__(self):
        self.passed = self.failed = self.skipped = 0
        self.skips = []  # (test name, reason)

    def add(self, other):
        self.passed += other.passed
        self.failed += other.failed
        self.skipped += other.skipped
        self.skips += other.skips


def gtest_counts(path):
    counts = Counts()
    for case in ElementTree.parse(path).getroot().iter("testcase"):
        name = f"{case.get('classname')}.{case.get('name')}"
        skipped = case.find("skipped")
        if case.find("failure") is not None:
            counts.failed += 1
        elif case.get("status") == "notrun" or case.get("result") == "skipped" or skipped is not None:
            counts.skipped += 1
            reason = (skipped.get("message") if skipped is not None else "") or "disabled"
            # GoogleTest prefixes the reason with the place of the skip.
            counts.skips.append((name, re.sub(r"^\S+:\d+\n?", "", reason).strip() or "no reason given"))
        else:
            counts.passed += 1
    return counts


def ctest_counts(junit, gtest_dir):
    counts = Counts()
    for case in ElementTree.parse(junit).getroot().iter("testcase"):
        name, status = case.get("name"), case.get("status")
        results = os.path.join(gtest_dir, f"{name}.xml") if gtest_dir != "-" else ""
        one = Counts()
        # A case that GoogleTest skipped is "notrun" to ctest; its results say why.
        if results and os.path.exists(results):
            one = gtest_counts(results)
        elif name.startswith("wine_scenarios.") and status in ("run", "fail"):
            # Several scenario files, each ending in one PASS or FAIL line.
            output = case.findtext("system-out") or ""
            one.passed = len(re.findall(r"^PASS ", output, re.M))
            one.failed = len(re.findall(r"^FAIL ", output, re.M))
        elif status == "run":
            one.passed = 1
        elif status in ("disabled", "notrun"):
            one.skipped = 1
            skipped = case.find("skipped")
            one.skips.append((name, (skipped.get("message") if skipped is not None else "") or status))
        else:
            one.failed = 1
        # A program that failed as a whole (a crash, a time-out) fails even if its cases passed.
        if status == "fail" and one.failed == 0:
            one.failed = 1
        counts.add(one)
    return counts


def fuzz_counts(log):
    counts = Counts()
    with open(log, encoding="utf-8", errors="replace") as text:
        found = re.findall(r"^fuzz: (\d+) passed, (\d+) failed$", text.read(), re.M)
    if found:
        counts.passed, counts.failed = map(int, found[-1])
    return counts


def main(stages_file):
    rows, total, ok = [], Counts(), True
    with open(stages_file, encoding="utf-8") as stages:
        for line in stages:
            kind, name, seconds, status, junit, gtest_dir, log, cpu, start = line.rstrip("\n").split("\t")
            counts = None
            try:
                if junit != "-" and os.path.exists(junit):
                    counts = ctest_counts(junit, gtest_dir)
                elif log != "-" and os.path.exists(log):
                    counts = fuzz_counts(log)
            except ElementTree.ParseError as error:
                print(f"{name}: unreadable results: {error}")
            failed = status != "0" or (counts is not None and counts.failed > 0)
            ok = ok and not failed
            if counts is not None:
                counts.skips = [(f"{name}: {test}", reason) for test, reason in counts.skips]
                total.add(counts)
            rows.append((kind, name, "FAILED" if failed else "ok", counts, float(seconds), float(cpu), float(start)))
    rows.sort(key=lambda row: row[6])

    print("\n== summary")
    print("| stage | result | run | passed | failed | skipped | start | time | CPU |")
    print("|---|---|---:|---:|---:|---:|---:|---:|---:|")
    for kind, name, result, counts, seconds, cpu, start in rows:
        if counts is None:
            numbers = "| | | |"
        else:
            numbers = f"{counts.passed + counts.failed} | {counts.passed} | {counts.failed} | {counts.skipped} |"
        print(f"| {name} | {result} | {numbers} {start:.0f} s | {seconds:.0f} s | {cpu:.0f} s |")
    for kind, label in (("build", "all builds"), ("set-up", "all set-up"), ("test", "all test runs")):
        mine = [row for row in rows if row[0] == kind]
        if mine:
            print(f"| {label} | | | | | | | {sum(row[4] for row in mine):.0f} s | {sum(row[5] for row in mine):.0f} s |")
    elapsed = max((row[6] + row[4] for row in rows), default=0)
    print(f"| all, start to end | {'ok' if ok else 'FAILED'} | {total.passed + total.failed} | {total.passed} | "
          f"{total.failed} | {total.skipped} | | {elapsed:.0f} s | {sum(row[5] for row in rows):.0f} s |")
    if total.skips:
        print("\nskipped:")
        for test, reason in total.skips:
            print(f"  {test}: {reason}")
    print(f"\ntotal: {total.passed} passed, {total.failed} failed, {total.skipped} skipped")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
