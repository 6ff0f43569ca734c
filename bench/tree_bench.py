#!/usr/bin/env python3
"""kva seal/open on folder trees next to tar piped through openssl enc, in one run.

Two trees of the same shape are generated once with random content: about
2,000 files of 1 to 64 KiB in nested folders plus four large files making up
the rest of 256 MiB, and a 64 MiB tree with a quarter of the small files and
large files a quarter the size. For each tree this times

    kva open CONTAINER DEST --password-file F
    openssl enc -d -aes-128-cbc -K <key> -iv <iv> -nosalt -in TREE.tar.enc | tar -x -C DEST
    kva seal TREE OUT --cipher 3 -f --password-file F
    tar -c -C PARENT TREE | openssl enc -aes-128-cbc -K <key> -iv <iv> -nosalt -out OUT

as separate processes (the pipelines under one bash), kva and the pipeline
alternated run by run (who goes first flips every run), and reports medians.
The fixed cost of an operation (process start, kva's password digest, about
73 ms) cancels in the marginal cost time(256 MiB tree) - time(64 MiB tree),
which is what the two are compared on.

Every extraction goes into a fresh folder; the folders are all deleted at
the end, never between runs (on this ext4 without a journal, creating many
files right after deleting many is several times slower for minutes; a probe
that times creating empty files waits, before the runs, until that is over).
Before each timed run the previous seal output is deleted, `sync` is called
and a scratch file about the run's size is written and deleted, all untimed:
no run pays for another's write-back, and each finds page-cache memory the
machine has just used (see Bench.warm_pages).

Every output is checked against the source tree's manifest (relative names,
sizes, SHA-256 of the content): each extracted tree, each kva container
(decrypted by openssl with the key and IV derived here independently, its
package parsed here) and each tar.enc (decrypted by openssl, read with
tarfile).

Peak memory (ru_maxrss through a small launcher, see bench_common.py) is
taken from every kva run, and from a seal and an open of a 1 GiB tree of the
same shape, to show that it does not grow with the tree.

Run from the repository after a Release build:

    python3 bench/tree_bench.py            # full run, about 2 minutes
    python3 bench/tree_bench.py --quick    # smoke run, small trees

Scratch files go to a fresh folder under build/ and are deleted at the end.
Standard library only.
"""

import argparse
import hashlib
import os
import random
import shutil
import subprocess
import sys
import tarfile
import tempfile
import time

from bench_common import (HEADER_SIZE, MIB, PASSWORD, REPO, Launcher, check, check_header,
                          derive, fresh_destination, log, machine_note, median, quotient)

# kva/peer targets for the marginal cost.
TARGETS = {"open": 1.0, "seal": 1.2}
MEMORY_LIMIT_KIB = 32 * 1024
MEMORY_SLACK_KIB = 2048

# Creating an empty file takes about 20 us here; right after many files
# were deleted it takes ten times that or more, for a few minutes.
PROBE_FILES = 1000
PROBE_SLOW_US = 35

# The 256 MiB tree's shape; other sizes scale the number of small files and
# the size of the large ones.
REFERENCE_SIZE = 256 * MIB
SMALL_FILES = 2000
SMALL_MIN, SMALL_MAX = 1024, 64 * 1024
LARGE_FILES = 4
FILES_PER_TOP_FOLDER = 250

CIPHER_ID = 3
OPENSSL_CIPHER = "aes-128-cbc"

RECORD_SIZE = 532
RECORD_PATH_BYTES = 520

# ------------------------------------------------------------------- the trees


def tree_layout(size):
    """(folders, files) of a tree of `size` content bytes, relative to its root:
    folders as '/'-joined paths, parents first; files as (path, size). The
    layout is the same for a size on every run; only the content is random."""
    rng = random.Random(size)
    scale = size / REFERENCE_SIZE
    small_count = max(4, round(SMALL_FILES * scale))
    tops = max(2, small_count // FILES_PER_TOP_FOLDER)
    folders = []
    for t in range(tops):
        top = "dir%02d" % t
        folders.append(top)
        for s in range(4):
            sub = "%s/sub%d" % (top, s)
            folders.append(sub)
            if s % 2 == 0:
                folders.append("%s/deep%d" % (sub, s))
    # Small files anywhere, the root included.
    places = [""] + folders
    files = []
    for i in range(small_count):
        folder = rng.choice(places)
        name = "file%05d.bin" % i
        files.append((folder + "/" + name if folder else name,
                      rng.randint(SMALL_MIN, SMALL_MAX)))
    rest = size - sum(s for _, s in files)
    check(rest > LARGE_FILES * SMALL_MAX, "tree of %d bytes: room for the large files" % size)
    large = rest // LARGE_FILES
    for i in range(LARGE_FILES):
        folder = "" if i % 2 == 0 else folders[i]
        name = "large%d.bin" % i
        files.append((folder + "/" + name if folder else name,
                      large if i < LARGE_FILES - 1 else rest - large * (LARGE_FILES - 1)))
    return folders, files


class Tree:
    """A generated source tree and its manifest, keyed by paths that start
    with the root's own name (as both kinds of extraction recreate it)."""

    def __init__(self, parent, name, size):
        self.parent = parent
        self.name = name
        self.size = size
        self.root = os.path.join(parent, name)
        self.folders = set()
        self.files = {}  # path -> (size, sha256 hex)

    def generate(self):
        folders, files = tree_layout(self.size)
        os.mkdir(self.root)
        self.folders.add(self.name)
        for folder in folders:
            os.mkdir(os.path.join(self.root, folder))
            self.folders.add(self.name + "/" + folder)
        for relative, size in files:
            digest = hashlib.sha256()
            with open(os.path.join(self.root, relative), "wb") as f:
                left = size
                while left:
                    block = os.urandom(min(left, 8 * MIB))
                    f.write(block)
                    digest.update(block)
                    left -= len(block)
            self.files[self.name + "/" + relative] = (size, digest.hexdigest())
        return self

    def describe(self):
        small = [s for s, _ in self.files.values() if s <= SMALL_MAX]
        large = [s for s, _ in self.files.values() if s > SMALL_MAX]
        return ("%d MiB: %d folders, %d files of 1-64 KiB (%.1f MiB), %d large files of %.1f MiB"
                % (self.size // MIB, len(self.folders), len(small), sum(small) / MIB,
                   len(large), median(large) / MIB))

    def compare(self, folders, files, what):
        """Checks a tree seen elsewhere (folders: set of paths, files: path ->
        (size, hash)) against this one."""
        missing = sorted(self.folders - folders)
        extra = sorted(folders - self.folders)
        check(not missing and not extra,
              "%s: folders differ (missing %s, extra %s)" % (what, missing[:3], extra[:3]))
        missing = sorted(set(self.files) - set(files))
        extra = sorted(set(files) - set(self.files))
        check(not missing and not extra,
              "%s: files differ (missing %s, extra %s)" % (what, missing[:3], extra[:3]))
        for path, expected in self.files.items():
            check(files[path] == expected, "%s: %s has other content or size" % (what, path))


def hash_file(path):
    digest = hashlib.sha256()
    size = 0
    with open(path, "rb") as f:
        while True:
            block = f.read(4 * MIB)
            if not block:
                break
            size += len(block)
            digest.update(block)
    return size, digest.hexdigest()


def scan_extraction(destination):
    """Folders and files below an extraction folder, as Tree.compare wants
    them. Anything that is neither (a link, a device) fails the check."""
    folders, files = set(), {}
    for top, dirnames, filenames in os.walk(destination):
        relative = os.path.relpath(top, destination)
        for name in dirnames:
            path = os.path.join(top, name)
            check(not os.path.islink(path), "link in the extraction: " + path)
            folders.add(os.path.normpath(os.path.join(relative, name)))
        for name in filenames:
            path = os.path.join(top, name)
            check(os.path.isfile(path) and not os.path.islink(path),
                  "not a regular file in the extraction: " + path)
            files[os.path.normpath(os.path.join(relative, name))] = hash_file(path)
    return folders, files


class Decrypted:
    """openssl enc -d of a file from an offset, read as a stream."""

    def __init__(self, openssl, key, iv, path, offset):
        self.source = open(path, "rb")
        self.source.seek(offset)
        self.process = subprocess.Popen(
            [openssl, "enc", "-d", "-" + OPENSSL_CIPHER, "-K", key, "-iv", iv, "-nosalt"],
            stdin=self.source, stdout=subprocess.PIPE)
        self.stream = self.process.stdout

    def read_exactly(self, size):
        data = self.stream.read(size)
        check(len(data) == size, "decrypted stream ends early")
        return data

    def finish(self, what):
        rest = self.stream.read()
        code = self.process.wait()
        self.source.close()
        check(code == 0, "%s: openssl enc -d failed (%d)" % (what, code))
        return rest


def parse_package(stream_reader, what):
    """Reads a KVA package from a Decrypted stream: the folders and files it
    holds, by their relative paths (the last depth + 1 components)."""
    check(stream_reader.read_exactly(4) == b"~KVA", what + ": package magic")
    header = stream_reader.read_exactly(RECORD_SIZE)
    count = int.from_bytes(header[RECORD_PATH_BYTES:RECORD_PATH_BYTES + 4], "little")
    total = int.from_bytes(header[RECORD_PATH_BYTES + 4:RECORD_PATH_BYTES + 8], "little")
    folders, files = set(), {}
    content = 0
    for _ in range(count):
        record = stream_reader.read_exactly(RECORD_SIZE)
        raw = record[:RECORD_PATH_BYTES].decode("utf-16-le")
        full = raw.split("\0", 1)[0]
        kind, size, depth = (int.from_bytes(record[RECORD_PATH_BYTES + 4 * i:
                                                   RECORD_PATH_BYTES + 4 * i + 4], "little")
                             for i in range(3))
        parts = full.split("\\")
        check(depth + 1 <= len(parts), what + ": depth beyond the path: " + full)
        relative = "/".join(parts[len(parts) - depth - 1:])
        if kind == 0:
            folders.add(relative)
            continue
        digest = hashlib.sha256()
        left = size
        while left:
            block = stream_reader.read_exactly(min(left, 4 * MIB))
            digest.update(block)
            left -= len(block)
        content += size
        files[relative] = (size, digest.hexdigest())
    check(content == total, what + ": the header's content total")
    return folders, files, 4 + RECORD_SIZE * (count + 1) + content


def parse_tar(stream_reader, what):
    folders, files = set(), {}
    with tarfile.open(fileobj=stream_reader.stream, mode="r|") as archive:
        for member in archive:
            name = member.name.rstrip("/")
            if member.isdir():
                folders.add(name)
            elif member.isfile():
                digest = hashlib.sha256()
                data = archive.extractfile(member)
                while True:
                    block = data.read(4 * MIB)
                    if not block:
                        break
                    digest.update(block)
                files[name] = (member.size, digest.hexdigest())
            else:
                check(False, "%s: unexpected member %s" % (what, name))
    return folders, files


# ---------------------------------------------------------------------- bench

OPEN_PIPELINE = ('set -o pipefail; "$0" enc -d -%s -K "$1" -iv "$2" -nosalt -in "$3" '
                 '| "$4" -x -C "$5"' % OPENSSL_CIPHER)
# The application's worker path done by hand: decrypt to a file, unpack it,
# remove it.
WORKER_PEER = ('"$0" enc -d -%s -K "$1" -iv "$2" -nosalt -in "$3" -out "$4" && '
               '"$5" -x -f "$4" -C "$6" && rm "$4"' % OPENSSL_CIPHER)
SEAL_PIPELINE = ('set -o pipefail; "$4" -c -C "$0" "$1" '
                 '| "$5" enc -%s -K "$2" -iv "$3" -nosalt -out "$6"' % OPENSSL_CIPHER)


class Bench:
    def __init__(self, args, scratch):
        self.args = args
        self.scratch = scratch
        self.err = os.path.join(scratch, "stderr.txt")
        self.pwfile = os.path.join(scratch, "password")
        fd = os.open(self.pwfile, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
        with os.fdopen(fd, "w") as f:
            f.write(PASSWORD + "\n")
        keys = derive(PASSWORD)
        self.verifier = keys["verifier"]
        self.key, self.iv = keys[CIPHER_ID]
        self.launcher = Launcher()
        self.sources = os.path.join(scratch, "src")
        self.extractions = os.path.join(scratch, "x")
        os.mkdir(self.sources)
        os.mkdir(self.extractions)
        self.trees = {}
        self.samples = {}  # (operation, tool, size) -> [Run]
        self.memory = []  # (operation, size, Run)
        self.extraction_count = 0
        self.ballast_block = bytes(8 * MIB)
        self.probes = []  # (when, microseconds per created file)

    def run(self, argv):
        return self.launcher.run(argv, self.err)

    def path(self, name):
        return os.path.join(self.scratch, name)

    def container(self, size):
        return self.path("tree-%d.kva" % size)

    def tar_enc(self, size):
        return self.path("tree-%d.tar.enc" % size)

    def fresh_folder(self, label):
        """An extraction folder that never existed, made untimed (tar wants it
        to exist; kva accepts an existing empty one)."""
        self.extraction_count += 1
        folder = os.path.join(self.extractions, "%04d-%s" % (self.extraction_count, label))
        os.mkdir(folder)
        return folder

    # -- commands

    def kva_seal(self, tree, out):
        return [self.args.kva, "seal", tree.root, out, "--cipher", str(CIPHER_ID), "-f",
                "--password-file", self.pwfile]

    def kva_open(self, container, destination):
        return [self.args.kva, "open", container, destination, "--password-file", self.pwfile]

    def pipe_seal(self, tree, out):
        return ["bash", "-c", SEAL_PIPELINE, tree.parent, tree.name, self.key, self.iv,
                self.args.tar, self.args.openssl, out]

    def pipe_open(self, tar_enc, destination):
        return ["bash", "-c", OPEN_PIPELINE, self.args.openssl, self.key, self.iv, tar_enc,
                self.args.tar, destination]

    # -- checks

    def verify_container(self, tree, container):
        what = "kva seal of the %d MiB tree" % (tree.size // MIB)
        stream = Decrypted(self.args.openssl, self.key, self.iv, container, HEADER_SIZE)
        folders, files, package_size = parse_package(stream, what)
        check(stream.finish(what) == b"", what + ": bytes after the package")
        check_header(container, CIPHER_ID, package_size, self.verifier)
        tree.compare(folders, files, what)

    def verify_tar_enc(self, tree, tar_enc):
        what = "tar | openssl enc of the %d MiB tree" % (tree.size // MIB)
        stream = Decrypted(self.args.openssl, self.key, self.iv, tar_enc, 0)
        folders, files = parse_tar(stream, what)
        stream.finish(what)
        tree.compare(folders, files, what)

    def verify_extraction(self, tree, destination, what):
        folders, files = scan_extraction(destination)
        tree.compare(folders, files, "%s of the %d MiB tree" % (what, tree.size // MIB))

    def warm_pages(self, size):
        """Untimed, right before a timed run: writes a scratch file a little
        larger than what the run will write, and deletes it. The run then
        gets page-cache pages this machine has just used. On this VM the
        host takes back memory the guest leaves free, and the first write to
        such a page costs about ten times the copy itself (256 MiB: 0.5 s
        instead of 0.05 s), at random depending on the host's state; without
        this step that cost, not the tools, decides the figures."""
        if self.args.no_warm_pages:
            return
        path = self.path("ballast")
        with open(path, "wb") as f:
            for _ in range((size + 64 * MIB) // len(self.ballast_block)):
                f.write(self.ballast_block)
        os.unlink(path)

    def creation_probe(self, when):
        """Microseconds to create one empty file in a fresh folder (the files
        stay until the end, like the extractions)."""
        folder = self.fresh_folder("probe")
        os.sync()
        start = time.perf_counter()
        for i in range(PROBE_FILES):
            os.close(os.open(os.path.join(folder, "f%04d" % i),
                             os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600))
        micro = (time.perf_counter() - start) / PROBE_FILES * 1e6
        self.probes.append((when, micro))
        return micro

    def settle(self, minutes):
        """Waits (up to `minutes`) until creating files costs what it usually
        does, so that a mass deletion shortly before (another run's clean-up)
        does not inflate both tools' extraction times."""
        deadline = time.monotonic() + minutes * 60
        while True:
            micro = self.creation_probe("start")
            if micro <= PROBE_SLOW_US:
                return
            if time.monotonic() >= deadline:
                log("  creating a file takes %.0f us (usually about 20); measuring anyway" % micro)
                return
            log("  creating a file takes %.0f us (usually about 20): files were deleted "
                "recently; waiting" % micro)
            time.sleep(30)

    # -- runs

    def prepare(self, size):
        """Untimed: the tree, the tar.enc the pipeline opens and the container
        kva opens, both checked. Also warms every program up."""
        tree = Tree(self.sources, "tree%d" % (size // MIB), size).generate()
        self.trees[size] = tree
        self.run(self.pipe_seal(tree, self.tar_enc(size)))
        self.verify_tar_enc(tree, self.tar_enc(size))
        self.run(self.kva_seal(tree, self.container(size)))
        self.verify_container(tree, self.container(size))
        log("  tree " + tree.describe())

    def timed(self, operation, tool, size):
        tree = self.trees[size]
        if operation == "worker":
            destination = self.fresh_folder("%s-%d" % (tool, size // MIB))
            argv = (["bash", "-c", WORKER_PEER, self.args.openssl, self.key, self.iv,
                     self.tar_enc(size), self.path("decrypted.tar"), self.args.tar, destination]
                    if tool == "pipe" else [worker_tools(self.args)[tool], self.container(size),
                                            destination, PASSWORD])
            os.sync()
            self.warm_pages(size)
            result = self.run(argv)
            self.verify_extraction(tree, destination, tool)
        elif operation == "open":
            destination = self.fresh_folder("%s-%d" % (tool, size // MIB))
            argv = (self.kva_open(self.container(size), destination) if tool == "kva"
                    else self.pipe_open(self.tar_enc(size), destination))
            os.sync()
            self.warm_pages(size)
            result = self.run(argv)
            self.verify_extraction(tree, destination, "kva open" if tool == "kva" else "tar -x")
        else:
            out = self.path("seal-%s.out" % tool)
            fresh_destination(out)
            self.warm_pages(size)
            result = self.run(self.kva_seal(tree, out) if tool == "kva"
                              else self.pipe_seal(tree, out))
            if tool == "kva":
                self.verify_container(tree, out)
            else:
                self.verify_tar_enc(tree, out)
        self.samples.setdefault((operation, tool, size), []).append(result)
        return result

    def timed_runs(self, runs, sizes):
        for r in range(runs):
            order = ("kva", "pipe") if r % 2 == 0 else ("pipe", "kva")
            for size in sizes:
                for operation in operations_of(self.args):
                    shown = []
                    tools = TOOLS_OF[operation](self.args)
                    for tool in tools[r % len(tools):] + tools[:r % len(tools)]:
                        shown.append("%s %.3f s" % (tool, self.timed(operation, tool,
                                                                     size).wall))
                    log("  run %d/%d %4d MiB %-4s  %s"
                        % (r + 1, runs, size // MIB, operation, ", ".join(shown)))

    def memory_runs(self, size, count):
        """kva seal and open of a large tree, once or twice each; only their
        peak memory is of interest (their outputs are checked all the same)."""
        tree = self.trees.get(size) or Tree(self.sources, "tree%d" % (size // MIB),
                                            size).generate()
        self.trees[size] = tree
        container = self.path("memory.kva")
        for _ in range(count):
            fresh_destination(container)
            self.memory.append(("seal", size, self.run(self.kva_seal(tree, container))))
            self.verify_container(tree, container)
            destination = self.fresh_folder("memory-%d" % (size // MIB))
            os.sync()
            self.memory.append(("open", size, self.run(self.kva_open(container, destination))))
            self.verify_extraction(tree, destination, "kva open")
            log("  memory %d MiB: seal %d KiB, open %d KiB"
                % (size // MIB, self.memory[-2][2].maxrss, self.memory[-1][2].maxrss))


# The tools each operation is timed with; --worker times the application's
# worker path (bench/worker_bench.cpp: now, and as built from an earlier
# tree with --worker-before) next to doing it by hand.
def worker_tools(args):
    tools = {"worker": args.worker_bench}
    if args.worker_before:
        tools["before"] = args.worker_before
    return tools


TOOLS_OF = {"open": lambda args: ["kva", "pipe"], "seal": lambda args: ["kva", "pipe"],
            "worker": lambda args: list(worker_tools(args)) + ["pipe"]}


def operations_of(args):
    return ("worker",) if args.worker else ("open", "seal")


# ---------------------------------------------------------------------- report

NAMES = {
    ("worker", "worker"): "the worker (now)",
    ("worker", "before"): "the worker (--worker-before)",
    ("worker", "pipe"): "openssl enc -d to a file, tar -x, rm",
    ("open", "kva"): "kva open",
    ("open", "pipe"): "openssl enc -d \\| tar -x",
    ("seal", "kva"): "kva seal",
    ("seal", "pipe"): "tar -c \\| openssl enc",
}


def summary(bench, operation, tool, sizes):
    runs = [bench.samples[(operation, tool, s)] for s in sizes]
    walls = [median([r.wall for r in rs]) for rs in runs]
    cpus = [median([r.cpu for r in rs]) for rs in runs]
    best = [min(r.wall for r in rs) for rs in runs]
    rss = max(r.maxrss for rs in runs for r in rs)
    return {"walls": walls, "marginal": walls[-1] - walls[0], "cpu": cpus[-1] - cpus[0],
            "best": best[-1] - best[0], "rss": rss}


def report(bench, sizes, note):
    small, large = sizes[0], sizes[-1]
    span = large - small
    lines = []
    add = lines.append
    add("Machine: " + note + ".")
    add("")
    add("Creating an empty file: %s (usually about 20 us; slower right after mass deletions)."
        % ", ".join("%.0f us at the %s" % (micro, when) for when, micro in bench.probes))
    add("")
    add("Trees: " + "; ".join(bench.trees[s].describe() for s in sorted(bench.trees)) + ".")
    add("")
    add("Medians of %d runs per tree, separate processes, kva and the pipeline alternated run "
        "by run. Marginal = t(%d MiB tree) - t(%d MiB tree); MB/s = %d MiB (10^6 bytes) / "
        "marginal; kva/pipeline = ratio of the marginals. CPU = user + system seconds "
        "(the pipeline's programs together), marginal. Peak RSS = largest ru_maxrss of kva over "
        "all its runs (launcher floor %d KiB)."
        % (bench.args.runs, large // MIB, small // MIB, span // MIB, bench.floor_kib))
    add("")
    heads = " | ".join("t %d MiB tree (s)" % (s // MIB) for s in sizes)
    add("| Operation | Tool | %s | Marginal (s) | MB/s | kva/pipeline | CPU marginal (s) "
        "| Peak RSS (KiB) |" % heads)
    add("|---|---|" + "---:|" * (5 + len(sizes)))
    verdicts = []
    for operation in ("open", "seal"):
        rows = {tool: summary(bench, operation, tool, sizes) for tool in ("kva", "pipe")}
        ratio = quotient(rows["kva"]["marginal"], rows["pipe"]["marginal"])
        cpu_ratio = quotient(rows["kva"]["cpu"], rows["pipe"]["cpu"])
        best_ratio = quotient(rows["kva"]["best"], rows["pipe"]["best"])
        paired_ratio = median(paired_ratios(bench, operation, sizes))
        for tool in ("kva", "pipe"):
            row = rows[tool]
            add("| %s | %s | %s | %.3f | %s | %s | %.3f | %s |" % (
                operation, NAMES[(operation, tool)],
                " | ".join("%.3f" % w for w in row["walls"]), row["marginal"],
                "%.0f" % (span / row["marginal"] / 1e6) if row["marginal"] > 0 else "n/a",
                "**%.2f**" % ratio if tool == "kva" else "", row["cpu"],
                "%d" % row["rss"] if tool == "kva" else "-"))
        verdicts.append((operation, ratio, cpu_ratio, best_ratio, paired_ratio))
    add("")
    for operation, ratio, cpu_ratio, best_ratio, paired_ratio in verdicts:
        target = TARGETS[operation]
        add("- kva %s: marginal %.2fx the pipeline's (CPU time %.2fx, fastest runs %.2fx, "
            "median of the per-run ratios %.2fx), target <= %.1fx: %s"
            % (operation, ratio, cpu_ratio, best_ratio, paired_ratio, target,
               "met" if ratio <= target else "NOT met"))
    add("")

    add("| Peak memory, kva | %s |" % " | ".join(
        "%d MiB tree (KiB)" % (s // MIB) for s in memory_sizes(bench, sizes)))
    add("|---|" + "---:|" * len(memory_sizes(bench, sizes)))
    verdict = []
    for operation in ("seal", "open"):
        figures = memory_figures(bench, operation, sizes)
        add("| kva %s | %s |" % (operation, " | ".join("%d" % figures[s]
                                                       for s in memory_sizes(bench, sizes))))
        values = list(figures.values())
        verdict.append((operation, max(values), max(values) - min(values)))
    add("")
    for operation, peak, spread in verdict:
        add("- kva %s memory: at most %d KiB (target under %d KiB: %s), spread across sizes "
            "%d KiB (within %d KiB: %s)"
            % (operation, peak, MEMORY_LIMIT_KIB, "met" if peak < MEMORY_LIMIT_KIB else "NOT met",
               spread, MEMORY_SLACK_KIB, "yes" if spread <= MEMORY_SLACK_KIB else "NO"))
    return "\n".join(lines)


def worker_report(bench, sizes, note):
    small, large = sizes[0], sizes[-1]
    lines = ["Machine: " + note + ".", "",
             "Trees: " + "; ".join(bench.trees[s].describe() for s in sorted(bench.trees)) + ".",
             "", "Medians of %d runs per tree, the tools rotated run by run. Marginal = t(%d MiB "
             "tree) - t(%d MiB tree); the ratios are to doing it by hand, whole runs and marginals."
             % (bench.args.runs, large // MIB, small // MIB), ""]
    heads = " | ".join("t %d MiB tree (s)" % (s // MIB) for s in sizes)
    lines += ["| Worker path | %s | Marginal (s) | / by hand, %d MiB | / by hand, marginal |"
              % (heads, large // MIB), "|---|" + "---:|" * (3 + len(sizes))]
    rows = {tool: summary(bench, "worker", tool, sizes) for tool in TOOLS_OF["worker"](bench.args)}
    for tool, row in rows.items():
        lines.append("| %s | %s | %.3f | %.2f | %.2f |" % (
            NAMES[("worker", tool)], " | ".join("%.3f" % w for w in row["walls"]),
            row["marginal"], quotient(row["walls"][-1], rows["pipe"]["walls"][-1]),
            quotient(row["marginal"], rows["pipe"]["marginal"])))
    return "\n".join(lines)


def memory_sizes(bench, sizes):
    return sorted(set(sizes) | {size for _, size, _ in bench.memory})


def memory_figures(bench, operation, sizes):
    figures = {s: max(r.maxrss for r in bench.samples[(operation, "kva", s)]) for s in sizes}
    for op, size, result in bench.memory:
        if op == operation:
            figures[size] = max(figures.get(size, 0), result.maxrss)
    return figures


def paired_ratios(bench, operation, sizes):
    """kva's marginal over the pipeline's within each run: the four runs
    behind one ratio follow each other within seconds."""
    marginals = {}
    for tool in ("kva", "pipe"):
        small = bench.samples[(operation, tool, sizes[0])]
        large = bench.samples[(operation, tool, sizes[-1])]
        marginals[tool] = [b.wall - a.wall for a, b in zip(small, large)]
    return [k / p for k, p in zip(marginals["kva"], marginals["pipe"]) if p > 0]


def details(bench, sizes):
    """Per-run figures, for judging the noise behind the medians."""
    out = ["", "Per-run seconds, wall(user+system):"]
    for operation in operations_of(bench.args):
        for tool in TOOLS_OF[operation](bench.args):
            for size in sizes:
                runs = bench.samples[(operation, tool, size)]
                out.append("  %-4s %-4s %4d MiB: %s" % (
                    operation, tool, size // MIB,
                    " ".join("%.3f(%.2f+%.2f)" % (r.wall, r.user, r.system) for r in runs)))
        paired = paired_ratios(bench, operation, sizes) if operation != "worker" else []
        if paired:
            out.append("  %-4s ratio of per-run marginals: median %.2f (%s)" % (
                operation, median(paired), " ".join("%.2f" % p for p in paired)))
    return "\n".join(out)


# ------------------------------------------------------------------------ main

def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--kva", default=os.path.join(REPO, "build", "bin", "kva"))
    parser.add_argument("--openssl", default="openssl")
    parser.add_argument("--tar", default="tar")
    parser.add_argument("--runs", type=int, default=9, help="timed runs per tree and tool")
    parser.add_argument("--sizes", default="64,256",
                        help="comma-separated tree sizes in MiB; marginal = largest - smallest")
    parser.add_argument("--memory-size", type=int, default=1024,
                        help="MiB of the tree for the peak-memory runs (0: skip)")
    parser.add_argument("--memory-runs", type=int, default=1)
    parser.add_argument("--no-warm-pages", action="store_true",
                        help="do not write and delete a scratch file before each timed run")
    parser.add_argument("--settle-minutes", type=float, default=10,
                        help="wait up to this long for file creation to be fast again")
    parser.add_argument("--scratch-parent", default=os.path.join(REPO, "build"),
                        help="a fresh folder is made (and removed) inside it")
    parser.add_argument("--worker", action="store_true",
                        help="time the application's worker path instead of kva open and seal")
    parser.add_argument("--worker-bench", default=os.path.join(REPO, "build", "bin", "worker_bench"))
    parser.add_argument("--worker-before", default=None,
                        help="a worker_bench built from an earlier tree, timed alongside")
    parser.add_argument("--quick", action="store_true",
                        help="smoke run: 8 and 32 MiB trees, 2 runs, 64 MiB memory run, "
                             "at most a minute's wait")
    args = parser.parse_args()
    if args.quick:
        args.sizes, args.runs, args.memory_size = "8,32", 2, 64
        args.settle_minutes = min(args.settle_minutes, 1)

    sizes = sorted({int(s) * MIB for s in args.sizes.split(",")})
    if len(sizes) < 2 or args.runs < 1:
        parser.error("need two sizes or more and one run or more")
    args.kva = os.path.abspath(args.kva)
    if not os.access(args.kva, os.X_OK):
        parser.error("no kva at %s (build first)" % args.kva)

    os.makedirs(args.scratch_parent, exist_ok=True)
    scratch = tempfile.mkdtemp(prefix="tree-bench-", dir=args.scratch_parent)
    bench = None
    try:
        bench = Bench(args, scratch)
        log("scratch: %s" % scratch)
        for size in sizes:
            bench.prepare(size)
        bench.settle(args.settle_minutes)
        log("%d runs" % args.runs)
        bench.timed_runs(args.runs, sizes)
        bench.creation_probe("end")
        if args.memory_size and not args.worker:
            bench.memory_runs(args.memory_size * MIB, args.memory_runs)
        bench.floor_kib = bench.run(["true"]).maxrss
        print((worker_report if args.worker else report)(bench, sizes,
                                                         machine_note(scratch, args.openssl)))
        print(details(bench, sizes))
    finally:
        if bench is not None:
            bench.launcher.close()
        log("deleting %s" % scratch)
        shutil.rmtree(scratch, ignore_errors=True)
        # Written-back inode tables shorten the time during which ext4 (without
        # a journal) avoids the freed inodes and new files are slow to create.
        os.sync()


if __name__ == "__main__":
    sys.exit(main())
