#!/usr/bin/env python3
"""Mutation testing of the module: plants small faults one at a time and checks that a suite fails.

Each mutant changes one spot of one source file of the module (plugin/, dialog/, progress/,
result/, transfer/; .cpp files only, so a mutant rebuilds one object): a comparison or boundary,
a logical operator, an integer constant, the order of arg() arguments or format placeholders, a
call statement removed, a returned value replaced by its fallback, or a string literal changed.
A seeded sample takes the kinds in turn, so that every kind is represented.

The working tree is never written to. The sources are mirrored into build-mutants/src (only
changed files are copied, so builds stay incremental), the mirror is built Release in
build-mutants/build with ccache, and each mutant is applied to the mirror, built, tested with
CTest and restored from memory, also on Ctrl-C or SIGTERM. A later run re-syncs the mirror first,
which also undoes a mutant left behind by a run that was killed outright.

A mutant is killed when a suite fails or runs out of time, survives when every suite passes, and
is stillborn when it does not build (stillborn mutants do not count in the score). Unit suites
run first; the end-to-end ones (CTest label e2e) only for a mutant the unit suites did not kill.

    scripts/mutants.py --sample 60 --seed 1     # run, print the score and the survivors
    scripts/mutants.py --sample 60 --seed 1 --list   # show the sample without running it
"""

import argparse
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time
import xml.etree.ElementTree as ElementTree
from dataclasses import asdict, dataclass, field

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MODULE_DIRS = ("plugin", "dialog", "progress", "result", "transfer")
KINDS = ("compare", "logical", "constant", "swap", "call", "return", "string")
# Lines whose literals and numbers are declarations for the build or the host, not behaviour.
SKIPPED_LINE = re.compile(r"Q_PLUGIN_METADATA|Q_DECLARE_INTERFACE|Q_INTERFACES|Q_PROPERTY|"
                          r"Q_CLASSINFO|static_assert|extern \"C\"|QT_VERSION_CHECK")
KEYWORDS = {"return", "if", "for", "while", "switch", "case", "delete", "throw", "new", "else",
            "do", "goto", "break", "continue", "using", "typedef", "static", "const", "auto",
            "sizeof", "default", "template", "typename", "namespace", "class", "struct"}
COMPARE = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}


@dataclass
class Mutant:
    file: str
    line: int
    kind: str
    start: int
    end: int
    replacement: str
    original: str
    before: str = ""  # the changed line(s), as written and as mutated
    after: str = ""
    status: str = ""  # killed, survived, stillborn, timeout
    killers: list = field(default_factory=list)
    details: list = field(default_factory=list)
    seconds: float = 0.0


# ------------------------------------------------------------------------------------------------
# Reading C++: which characters are code, and where the string literals are.


def scan(text):
    """Returns (code, strings): code[i] is True for characters outside comments, literals and
    preprocessor lines; strings lists (start, end) of each string literal's contents."""
    n = len(text)
    code = [False] * n
    strings = []
    i = 0
    line_start = True
    while i < n:
        c = text[i]
        if line_start and c == "#":
            while i < n and text[i] != "\n":
                i += 2 if text[i] == "\\" else 1
            continue
        if c == "\n":
            line_start = True
            i += 1
            continue
        if not c.isspace():
            line_start = False
        if text.startswith("//", i):
            while i < n and text[i] != "\n":
                i += 1
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            i = n if end < 0 else end + 2
        elif c == 'R' and text.startswith('R"', i) and (i == 0 or not text[i - 1].isalnum()):
            delim_end = text.find("(", i + 2)
            closing = ")" + text[i + 2:delim_end] + '"'
            end = text.find(closing, delim_end)
            i = n if end < 0 else end + len(closing)
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            if c == '"':
                strings.append((i + 1, j))
            i = j + 1
        else:
            code[i] = True
            i += 1
    return code, strings


def matching(text, code, open_at):
    """Index of the bracket that closes the one at open_at, counting code characters only."""
    depth = 0
    for i in range(open_at, len(text)):
        if not code[i]:
            continue
        if text[i] in "([{":
            depth += 1
        elif text[i] in ")]}":
            depth -= 1
            if depth == 0:
                return i
    return -1


def split_arguments(text, code, open_at, close_at):
    """(start, end) of each top-level argument between the brackets."""
    parts, depth, start = [], 0, open_at + 1
    for i in range(open_at + 1, close_at):
        if not code[i]:
            continue
        if text[i] in "([{":
            depth += 1
        elif text[i] in ")]}":
            depth -= 1
        elif text[i] == "," and depth == 0:
            parts.append((start, i))
            start = i + 1
    parts.append((start, close_at))
    return parts


def stripped(text, span):
    start, end = span
    while start < end and text[start].isspace():
        start += 1
    while end > start and text[end - 1].isspace():
        end -= 1
    return start, end


def nested(text, code, start, end):
    """The code characters from start to end, each with its bracket depth (a closing bracket
    already counts as closed)."""
    depth = 0
    for i in range(start, end):
        if not code[i]:
            continue
        ch = text[i]
        if ch in ")]}":
            depth -= 1
        yield i, ch, depth
        if ch in "([{":
            depth += 1


def statement_end(text, code, start):
    """Index of the ';' that ends the statement starting at start, or -1 when a block opens
    first (a compound statement, or a lambda outside any call)."""
    for i, ch, depth in nested(text, code, start, len(text)):
        if (ch == "{" and depth == 0) or (ch == "}" and depth == -1):
            return -1
        if ch == ";" and depth == 0:
            return i
    return -1


def has_assignment(text, code, start, end):
    return any(ch == "=" and depth == 0 and text[i - 1] not in "=!<>" and text[i + 1] != "="
               for i, ch, depth in nested(text, code, start, end))


def last_unit(content):
    """Length of the last character of a literal's contents: an escape sequence or a UTF-8
    sequence counts as one."""
    units = re.findall(r"\\(?:x[0-9A-Fa-f]+|[0-7]{1,3}|.)|[\xc0-\xff][\x80-\xbf]*|.", content,
                       re.S)
    return len(units[-1])


# ------------------------------------------------------------------------------------------------
# Generating mutants.


def mutants_of(path, text):
    code, strings = scan(text)
    line_starts = [0] + [m.end() for m in re.finditer("\n", text)]
    found = []

    def line_of(pos):
        lo, hi = 0, len(line_starts) - 1
        while lo < hi:
            mid = (lo + hi + 1) // 2
            if line_starts[mid] <= pos:
                lo = mid
            else:
                hi = mid - 1
        return lo + 1

    def skipped(pos):
        start = line_starts[line_of(pos) - 1]
        end = text.find("\n", start)
        return bool(SKIPPED_LINE.search(text[start:end if end >= 0 else len(text)]))

    def add(kind, start, end, replacement):
        if skipped(start) or text[start:end] == replacement:
            return
        found.append(Mutant(path, line_of(start), kind, start, end, replacement, text[start:end]))

    def code_matches(pattern):
        for m in re.finditer(pattern, text):
            if all(code[m.start():m.end()]):
                yield m

    for m in code_matches(r"(?<= )(<=|>=|==|!=|<|>)(?= )"):
        add("compare", m.start(), m.end(), COMPARE[m.group()])
    for m in code_matches(r"(?<= )(&&|\|\|)(?= )"):
        add("logical", m.start(), m.end(), "||" if m.group() == "&&" else "&&")
    for m in code_matches(r"(?<![!=])!(?!=)"):
        add("logical", m.start(), m.end(), "")
    for m in code_matches(r"(?<![\w.])(0[xX][0-9A-Fa-f]+|\d+)(?![\w.])"):
        literal = m.group()
        hexadecimal = literal.lower().startswith("0x")
        if re.fullmatch(r"0\d+", literal):
            continue  # octal: none in this code, and a changed digit may not be one
        value = int(literal, 0)
        for changed in (value + 1, value - 1):
            if changed < 0 and hexadecimal:
                continue
            text_value = str(changed)
            if hexadecimal:
                text_value = literal[:2] + ("%0*x" % (len(literal) - 2, changed))
                if any(c in "ABCDEF" for c in literal[2:]):
                    text_value = literal[:2] + text_value[2:].upper()
            add("constant", m.start(), m.end(), text_value)

    # arg(): the first two arguments of one call, or the arguments of two chained calls.
    literal = re.compile(r"[-+]?[\d.]+[fFuUlL]*|'.*'|QLatin1Char\(.*\)|QChar\(.*\)")
    for m in code_matches(r"\.arg\("):
        open_at = m.end() - 1
        close_at = matching(text, code, open_at)
        if close_at < 0:
            continue
        args = [stripped(text, a) for a in split_arguments(text, code, open_at, close_at)]
        pair = None
        if len(args) >= 2:
            pair = args[0], args[1]
        else:
            chained = re.match(r"\s*\.arg\(", text[close_at + 1:])
            if chained:
                next_open = close_at + chained.end()
                next_close = matching(text, code, next_open)
                nxt = split_arguments(text, code, next_open, next_close)
                if next_close > 0 and len(nxt) == 1:
                    pair = args[0], stripped(text, nxt[0])
        if not pair:
            continue
        first, second = (text[a:b] for a, b in pair)
        if first == second or literal.fullmatch(first) or literal.fullmatch(second):
            continue
        start, end = pair[0][0], pair[1][1]
        add("swap", start, end,
            second + text[pair[0][1]:pair[1][0]] + first)
    for start, end in strings:
        content = text[start:end]
        if "%1" in content and "%2" in content and not skipped(start):
            add("swap", start, end,
                content.replace("%1", "\0").replace("%2", "%1").replace("\0", "%2"))

    # Call statements removed: a statement that is nothing but a call, from a line's start.
    for ls in line_starts:
        start = ls
        while start < len(text) and text[start] in " \t":
            start += 1
        if start >= len(text) or not code[start]:
            continue
        k = start - 1
        while k >= 0 and (not code[k] or text[k].isspace()):
            k -= 1
        previous = text[:k + 1]
        if not (previous.endswith((";", "{", "}", ")")) or re.search(r"\b(else|do)$", previous)):
            continue
        head = re.match(r"(?:emit\s+)?([A-Za-z_]\w*)(?:(?:::|\.|->)~?[A-Za-z_]\w*)*\s*\(",
                        text[start:])
        if not head or head.group(1) in KEYWORDS or re.fullmatch(r"[A-Z0-9_]+", head.group(1)):
            continue
        end = statement_end(text, code, start)
        if end < 0 or has_assignment(text, code, start, end):
            continue
        if text[start:end].rstrip()[-1:] != ")":
            continue
        add("call", start, end + 1, "{}")

    # Returned values replaced by their fallback: false for true and the reverse, {} otherwise.
    for m in code_matches(r"\breturn\b"):
        end = statement_end(text, code, m.end())
        if end < 0:
            continue
        start, stop = stripped(text, (m.end(), end))
        value = text[start:stop]
        if value in ("", "{}", "nullptr", "0", "QString()", "false", "true", "0.0", "-1"):
            fallback = {"true": "false", "false": "true"}.get(value)
            if fallback:
                add("return", start, stop, fallback)
            continue
        add("return", start, stop, "{}")

    # String literals: the last character dropped, an empty one filled.
    for start, end in strings:
        content = text[start:end]
        add("string", start, end, content[:-last_unit(content)] if content else "x")

    for mutant in found:
        mutated = text[:mutant.start] + mutant.replacement + text[mutant.end:]
        first = line_starts[mutant.line - 1]
        last = text.find("\n", mutant.end)
        last = len(text) if last < 0 else last
        mutant.before = text[first:last].strip()
        mutant.after = mutated[first:last + len(mutant.replacement) - (mutant.end - mutant.start)]
        mutant.after = mutant.after.strip()
    return found


def all_mutants(src, prefixes):
    found = []
    for folder in MODULE_DIRS:
        directory = os.path.join(src, folder)
        for name in sorted(os.listdir(directory)) if os.path.isdir(directory) else []:
            path = f"{folder}/{name}"
            if not name.endswith(".cpp") or (prefixes and not path.startswith(tuple(prefixes))):
                continue
            with open(os.path.join(src, path), encoding="latin-1") as f:
                found += mutants_of(path, f.read())
    return found


def sample(mutants, count, seed, kinds):
    """Takes the kinds in turn, each shuffled with the seed, until count mutants are drawn."""
    rng = random.Random(seed)
    pools = []
    for kind in kinds:
        pool = sorted((m for m in mutants if m.kind == kind),
                      key=lambda m: (m.file, m.start, m.replacement))
        rng.shuffle(pool)
        pools.append(pool)
    chosen = []
    while any(pools) and (count <= 0 or len(chosen) < count):
        for pool in pools:
            if pool and (count <= 0 or len(chosen) < count):
                chosen.append(pool.pop())
    return sorted(chosen, key=lambda m: (m.file, m.start))


# ------------------------------------------------------------------------------------------------
# Building and testing.


class Interrupted(Exception):
    pass


def run(cmd, cwd, timeout, log, env=None):
    """Runs cmd in its own process group; returns (exit code or None on timeout, output). The
    whole group is ended on a timeout or an interruption."""
    with open(log, "w") as out:
        proc = subprocess.Popen(cmd, cwd=cwd, stdout=out, stderr=subprocess.STDOUT,
                                start_new_session=True, env=env)
        try:
            code = proc.wait(timeout=timeout)
        except BaseException:
            for sig in (signal.SIGTERM, signal.SIGKILL):
                try:
                    os.killpg(proc.pid, sig)
                    proc.wait(timeout=5)
                    break
                except (ProcessLookupError, subprocess.TimeoutExpired):
                    pass
            if sys.exc_info()[0] is subprocess.TimeoutExpired:
                code = None
            else:
                raise
    with open(log, encoding="utf-8", errors="replace") as f:
        return code, f.read()


def sync_sources(src):
    """Mirrors the working tree's files (tracked and untracked, not ignored) into src, writing
    only what differs."""
    listed = subprocess.run(["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                            cwd=ROOT, check=True, capture_output=True).stdout.decode().split("\0")
    keep = set()
    for rel in filter(None, listed):
        origin = os.path.join(ROOT, rel)
        if not os.path.isfile(origin):
            continue
        keep.add(rel)
        target = os.path.join(src, rel)
        with open(origin, "rb") as f:
            data = f.read()
        if os.path.isfile(target):
            with open(target, "rb") as f:
                if f.read() == data:
                    continue
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as f:
            f.write(data)
    for directory, _, names in os.walk(src):
        for name in names:
            if os.path.relpath(os.path.join(directory, name), src) not in keep:
                os.remove(os.path.join(directory, name))


def dependency_graph(build):
    """Target -> targets it needs, from the Makefile generator's Makefile2; None if unknown."""
    path = os.path.join(build, "CMakeFiles", "Makefile2")
    if not os.path.isfile(path):
        return None
    graph = {}
    pattern = re.compile(r"^(?:\S+/)?CMakeFiles/([^/\s]+)\.dir/all:((?:\s+\S+)*)\s*$")
    with open(path) as f:
        for line in f:
            m = pattern.match(line)
            if m:
                deps = re.findall(r"CMakeFiles/([^/\s]+)\.dir/all", m.group(2))
                graph.setdefault(m.group(1), set()).update(deps)
    return graph


def owning_targets(build):
    """Source path relative to the project -> the target whose object it is."""
    owners = {}
    for directory, _, names in os.walk(build):
        m = re.search(r"CMakeFiles/([^/]+)\.dir(/.*)?$", directory)
        if not m:
            continue
        for name in names:
            if name.endswith(".cpp.o"):
                rel = os.path.join((m.group(2) or "/")[1:], name[:-2])
                owners[rel] = m.group(1)
    return owners


class Suites:
    def __init__(self, build):
        shown = subprocess.run(["ctest", "--show-only=json-v1"], cwd=build, check=True,
                               capture_output=True, text=True).stdout
        self.tests = []  # (name, target, labels)
        for test in json.loads(shown)["tests"]:
            labels = []
            for prop in test.get("properties", []):
                if prop["name"] == "LABELS":
                    labels = prop["value"]
            target = os.path.basename(test["command"][0]) if test.get("command") else test["name"]
            self.tests.append((test["name"], target, labels))
        self.graph = dependency_graph(build)
        self.owners = owning_targets(build)

    def needs(self, target, owner, seen=None):
        seen = seen if seen is not None else set()
        if target == owner:
            return True
        seen.add(target)
        return any(self.needs(t, owner, seen) for t in self.graph.get(target, ()) if t not in seen)

    def stages(self, source):
        """Names of the suites that can see source: unit suites first, then end-to-end ones."""
        owner = self.owners.get(source)
        relevant = [t for t in self.tests
                    if self.graph is None or owner is None or self.needs(t[1], owner)]
        unit = [name for name, _, labels in relevant if "e2e" not in labels]
        slow = [name for name, _, labels in relevant if "e2e" in labels]
        return [stage for stage in (unit, slow) if stage]


def ctest(build, names, jobs, timeout, stop_on_failure, work):
    """Runs the named suites; returns (failed suites, first failure lines, timed out)."""
    junit = os.path.join(work, "ctest.xml")
    if os.path.exists(junit):
        os.remove(junit)
    cmd = ["ctest", "-j", str(jobs), "--output-junit", junit,
           "-R", "^(" + "|".join(re.escape(n) for n in names) + ")$"]
    if stop_on_failure:
        cmd.append("--stop-on-failure")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    code, output = run(cmd, build, timeout, os.path.join(work, "ctest.log"), env)
    if code is None:
        return ["(all: out of time)"], [], True
    failed, details = [], []
    try:
        for case in ElementTree.parse(junit).getroot().iter("testcase"):
            if case.get("status") in ("fail", "error") or case.find("failure") is not None:
                failed.append(case.get("name"))
                out = case.findtext("system-out") or ""
                lines = [l.strip() for l in out.splitlines()
                         if l.startswith("FAIL") or "watchdog" in l]
                if not lines:
                    lines = [l.strip() for l in out.splitlines() if l.strip()][-1:]
                details += [f"{case.get('name')}: {l[:200]}" for l in lines[:2]]
    except (ElementTree.ParseError, FileNotFoundError):
        failed = re.findall(r"^\s*\d+ - (\S+) \(", output, re.M)
    if code != 0 and not failed:
        failed = ["(ctest exit %d)" % code]
    return failed, details, False


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--sample", type=int, default=60, help="mutants to run (0: all)")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--list", action="store_true", help="show the sample, run nothing")
    parser.add_argument("--kind", action="append", choices=KINDS, help="only these kinds")
    parser.add_argument("--path", action="append", help="only files under this prefix")
    parser.add_argument("--work", default=os.path.join(ROOT, "build-mutants"))
    parser.add_argument("--report", help="JSON report (default: WORK/report.json)")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--timeout", type=int, help="seconds for each test stage of a mutant "
                        "(default: three times the unmutated run, at least 90)")
    parser.add_argument("--all-suites", action="store_true",
                        help="run every suite even after one killed the mutant")
    parser.add_argument("--replay", metavar="REPORT",
                        help="run again the mutants that an earlier report counts as killed, "
                        "to check that a change to the suites still kills them")
    args = parser.parse_args()
    work = os.path.abspath(args.work)
    src, build = os.path.join(work, "src"), os.path.join(work, "build")
    report_path = args.report or os.path.join(work, "report.json")
    os.makedirs(src, exist_ok=True)

    sync_sources(src)
    kinds = args.kind or KINDS
    everything = all_mutants(src, args.path)
    if args.replay:
        # Matched by their text rather than their line, which edits elsewhere may move.
        # A text that stands more than once takes the place nearest the reported line.
        with open(args.replay) as f:
            earlier = [m for m in json.load(f)["mutants"] if m["status"] in ("killed", "timeout")]
        chosen = []
        for old in earlier:
            same = [m for m in everything
                    if (m.file, m.kind, m.before, m.after) ==
                    (old["file"], old["kind"], old["before"], old["after"])]
            if same:
                chosen.append(min(same, key=lambda m: abs(m.line - old["line"])))
    else:
        chosen = sample(everything, args.sample, args.seed, kinds)
    counts = {k: sum(1 for m in everything if m.kind == k) for k in kinds}
    print(f"{len(everything)} mutants ({', '.join(f'{k} {n}' for k, n in counts.items())}); "
          f"seed {args.seed}, sample {len(chosen)}")
    if args.list:
        for i, m in enumerate(chosen, 1):
            print(f"{i:4} {m.kind:8} {m.file}:{m.line}\n       - {m.before}\n       + {m.after}")
        return 0

    def interrupt(signum, frame):
        raise Interrupted(signal.Signals(signum).name)

    signal.signal(signal.SIGINT, interrupt)
    signal.signal(signal.SIGTERM, interrupt)
    signal.signal(signal.SIGHUP, interrupt)

    if not os.path.isfile(os.path.join(build, "CMakeCache.txt")):
        configure = ["cmake", "-S", src, "-B", build, "-DCMAKE_BUILD_TYPE=Release",
                     "-DROOMCAL_SANITIZE=OFF"]
        if shutil.which("ccache"):
            configure.append("-DCMAKE_CXX_COMPILER_LAUNCHER=ccache")
        code, output = run(configure, ROOT, 600, os.path.join(work, "configure.log"))
        if code != 0:
            print(output[-3000:], "\nconfigure failed", file=sys.stderr)
            return 2
    build_cmd = ["cmake", "--build", build, "-j", str(args.jobs)]
    build_log = os.path.join(work, "build.log")

    started = time.time()
    print("building and testing the unmutated sources ...", flush=True)
    code, output = run(build_cmd, ROOT, 3600, build_log)
    if code != 0:
        print(output[-3000:], f"\nthe unmutated build fails (see {build_log})", file=sys.stderr)
        return 2
    suites = Suites(build)
    clock = time.time()
    failed, details, _ = ctest(build, [t[0] for t in suites.tests], args.jobs, 1800, False, work)
    baseline = time.time() - clock
    if failed:
        print("\n".join(details) or failed, "\nthe unmutated suites fail; no score", file=sys.stderr)
        return 2
    timeout = args.timeout or max(90, int(3 * baseline))
    print(f"baseline: build and tests {time.time() - started:.0f} s, tests {baseline:.0f} s; "
          f"{timeout} s per test stage of a mutant", flush=True)

    report = {"seed": args.seed, "sample": args.sample, "kinds": list(kinds),
              "head": subprocess.run(["git", "describe", "--always", "--dirty"], cwd=ROOT,
                                     capture_output=True, text=True).stdout.strip(),
              "baselineTestSeconds": round(baseline, 1), "timeoutSeconds": timeout,
              "interrupted": False, "mutants": chosen}
    interrupted = None
    try:
        for i, mutant in enumerate(chosen, 1):
            path = os.path.join(src, mutant.file)
            with open(path, "rb") as f:
                original = f.read()
            text = original.decode("latin-1")
            assert text[mutant.start:mutant.end] == mutant.original, "sources changed meanwhile"
            clock = time.time()
            try:
                with open(path, "wb") as f:
                    f.write((text[:mutant.start] + mutant.replacement +
                             text[mutant.end:]).encode("latin-1"))
                code, _ = run(build_cmd, ROOT, 1800, build_log)
                if code != 0:
                    mutant.status = "stillborn"
                else:
                    mutant.status = "survived"
                    for stage in suites.stages(mutant.file):
                        failed, details, timed_out = ctest(build, stage, args.jobs, timeout,
                                                           not args.all_suites, work)
                        if failed:
                            mutant.status = "timeout" if timed_out else "killed"
                            mutant.killers += failed
                            mutant.details += details
                            if not args.all_suites:
                                break
            finally:
                # Not to be cut short by a second Ctrl-C: signals wait until the file is whole.
                blocked = {signal.SIGINT, signal.SIGTERM, signal.SIGHUP}
                signal.pthread_sigmask(signal.SIG_BLOCK, blocked)
                try:
                    with open(path, "wb") as f:
                        f.write(original)
                    with open(path, "rb") as f:
                        assert f.read() == original, f"could not restore {path}"
                finally:
                    signal.pthread_sigmask(signal.SIG_UNBLOCK, blocked)
            mutant.seconds = round(time.time() - clock, 1)
            by = f"  by {', '.join(mutant.killers)}" if mutant.killers else ""
            print(f"[{i:3}/{len(chosen)}] {mutant.status:9} {mutant.kind:8} "
                  f"{mutant.file}:{mutant.line}  {mutant.seconds:.0f} s{by}", flush=True)
    except (KeyboardInterrupt, Interrupted) as e:
        interrupted = str(e) or "interrupted"
        report["interrupted"] = True
        print(f"\n{interrupted}: the mutant was restored; the report covers the mutants done")

    done = [m for m in chosen if m.status]
    killed = [m for m in done if m.status in ("killed", "timeout")]
    survived = [m for m in done if m.status == "survived"]
    stillborn = [m for m in done if m.status == "stillborn"]
    scored = len(killed) + len(survived)
    score = 100.0 * len(killed) / scored if scored else 0.0
    report.update(score=round(score, 1), killed=len(killed), survived=len(survived),
                  stillborn=len(stillborn), seconds=round(time.time() - started),
                  mutants=[asdict(m) for m in done])
    with open(report_path, "w") as f:
        json.dump(report, f, indent=1)
    print(f"\nscore {score:.1f} %: {len(killed)} killed, {len(survived)} survived "
          f"({len(stillborn)} did not build); {time.time() - started:.0f} s; "
          f"mean {sum(m.seconds for m in done) / max(1, len(done)):.0f} s per mutant")
    for m in survived:
        print(f"survived {m.kind:8} {m.file}:{m.line}\n       - {m.before}\n       + {m.after}")
    print(f"report: {report_path}")
    return 130 if interrupted else 0


if __name__ == "__main__":
    sys.exit(main())
