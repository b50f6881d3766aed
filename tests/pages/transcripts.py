#!/usr/bin/env python3
"""Runs the transcripts of the users' pages and compares what the commands
print with what the pages show.

A transcript is a fenced block marked `console` in Markdown, or a block
between .EX and .EE in a manual page. A line that starts with "$ " is a
command (one that ends with a backslash goes on in the next line), the
lines after it are what it prints, and a last line "[N]" is its exit status
where that is not 0. The commands of a page run one after the other in the
folder given, each by bash on a pseudo-terminal of its own, as a person
sees them: with LANG=C.UTF-8 (the programs convert their messages for a
terminal) and TERM=dumb (no progress line).

In a plain text page (.txt), the zip's page for Windows, a transcript is a
block of lines indented by four spaces whose first line is a command, one
that starts with "> ". With --wine each block runs as a batch file of
Command Prompt under Wine (wine cmd /c), as a person types it in one
window: a cd or an exit status (%ERRORLEVEL%) holds for the lines after it,
up to a command of ffmpeg, which has no Windows build here and is run by
the host's ffmpeg in FOLDER. Wine takes its code pages from
LANG=ja_JP.UTF-8, those of a Japanese Windows, and reads the batch file as
Shift_JIS; the programs write that to the pipe, with CR LF, and it is
compared as a console shows it. A page's lines "PS> " are PowerShell's,
which Wine cannot run.

Every text in Japanese that a page quotes (in Markdown an inline code span,
in a manual page a bold or bold-italic line, anywhere in a plain text page)
must be the program's own: each run of Japanese characters is found as
Shift_JIS bytes in the program given with --program.

usage: transcripts.py [--times N] [--program FILE] [--wine] FOLDER PAGE...
  --times N   run each page's transcripts N times over, in the same folder:
              a recipe must run again over what it left
"""
import argparse
import difflib
import itertools
import os
import pty
import re
import subprocess
import sys
import tempfile

# The Japanese of a quoted text: each run of Japanese characters with kana
# among them (a file name such as 録音.wav is no text of the program's); a
# placeholder (N, X) or a word in Latin letters splits a text into runs.
JAPANESE = re.compile(r"[\u3000-\u30ff\u4e00-\u9fff\uff01-\uff60]*[\u3040-\u30ff]"
                      r"[\u3000-\u30ff\u4e00-\u9fff\uff01-\uff60]*")


def roff_text(line):
    """A line of a manual page as it reads."""
    for escape, text in (("\\-", "-"), ("\\e", "\\"), ("\\(aq", "'"), ("\\(dq", '"'),
                         ("\\&", ""), ("\\ ", " ")):
        line = line.replace(escape, text)
    return line


def blocks(path):
    """The transcripts of a page, each a list of lines, and its quoted texts."""
    lines = open(path, encoding="utf-8").read().split("\n")
    found, quoted, block = [], [], None
    roff = not path.endswith((".md", ".txt"))
    for line in lines:
        if path.endswith(".txt"):
            quoted += JAPANESE.findall(line)
            if line.startswith("    > ") or block is not None and line.startswith("    "):
                block = (block or []) + [line[4:]]
            elif block is not None:
                found.append(block)
                block = None
        elif roff:
            if line == ".EX":
                block = []
            elif line == ".EE":
                found.append(block)
                block = None
            elif block is not None:
                block.append(roff_text(line))
            elif line.startswith((".B ", ".BI ")):
                quoted += JAPANESE.findall(roff_text(line).replace('"', ""))
        else:
            if block is None and line.strip() == "```console":
                block, indent = [], line.index("`")
            elif block is not None and line.strip() == "```":
                found.append(block)
                block = None
            elif block is not None:
                block.append(line[indent:])
            else:
                for span in re.findall(r"`([^`]+)`", line):
                    quoted += JAPANESE.findall(span)
    return found, quoted


def commands(block):
    """(command, expected output) pairs of a transcript."""
    pairs = []
    for line in block:
        if line.startswith(("$ ", "> ")):
            pairs.append([line[2:], []])
        elif pairs and pairs[-1][0].endswith("\\") and not pairs[-1][1]:
            pairs[-1][0] += "\n" + line
        elif pairs:
            pairs[-1][1].append(line)
    return [(command, "\n".join(output)) for command, output in pairs]


def run(command, folder):
    """What the command prints on a terminal, with its exit status."""
    env = dict(os.environ, LANG="C.UTF-8", TERM="dumb")
    env.pop("LC_ALL", None)
    env.pop("LC_CTYPE", None)
    master, slave = pty.openpty()
    process = subprocess.Popen(["bash", "-c", command], cwd=folder, env=env,
                               stdin=subprocess.DEVNULL, stdout=slave, stderr=slave)
    os.close(slave)
    shown = b""
    while True:
        try:
            piece = os.read(master, 65536)
        except OSError:  # the terminal is closed
            break
        if not piece:
            break
        shown += piece
    os.close(master)
    status = process.wait()
    text = shown.decode("utf-8", "replace").replace("\r\n", "\n")
    if status != 0:
        text += "[%d]\n" % status
    return text.rstrip("\n")


def printed(argv, folder, env, encoding):
    """What a command writes to a pipe, standard error too, as text."""
    return subprocess.run(argv, cwd=folder, env=env, stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          check=False).stdout.decode(encoding, "replace")


def run_wine(commands, folder):
    """What a block's commands show in a Command Prompt window."""
    env = dict(os.environ, LANG="ja_JP.UTF-8")
    env.pop("LC_ALL", None)
    shown = ""
    for host, group in itertools.groupby(commands, lambda command: command.startswith("ffmpeg ")):
        if host:
            shown += "".join(printed(["bash", "-c", command], folder, env, "utf-8")
                             for command in group)
            continue
        with tempfile.TemporaryDirectory() as scratch:
            batch = os.path.join(scratch, "block.cmd")
            with open(batch, "wb") as file:
                file.write("\r\n".join(["@echo off", *group, ""]).encode("cp932"))
            shown += printed(["wine", "cmd", "/c", "Z:" + batch.replace("/", "\\")], folder, env,
                             "cp932")
    return shown.replace("\r\n", "\n").rstrip("\n")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--times", type=int, default=1)
    parser.add_argument("--program")
    parser.add_argument("--wine", action="store_true")
    parser.add_argument("folder")
    parser.add_argument("pages", nargs="+")
    args = parser.parse_args()
    program = open(args.program, "rb").read() if args.program else None
    failed = 0
    for page in args.pages:
        transcripts, quoted = blocks(page)
        for text in quoted if program else []:
            if text.encode("cp932") not in program:
                print("%s: quotes a text the program does not have: %s" % (page, text))
                failed += 1
        for time in range(args.times):
            for block in transcripts:
                pairs = [([command], expected) for command, expected in commands(block)]
                if args.wine:  # a block is one window
                    pairs = [([command for [command], _ in pairs],
                              "\n".join(expected for _, expected in pairs if expected))]
                for lines, expected in pairs:
                    got = run_wine(lines, args.folder) if args.wine else run(lines[0], args.folder)
                    if got != expected:
                        failed += 1
                        print("%s (run %d): $ %s" % (page, time + 1, " & ".join(lines)))
                        for line in difflib.unified_diff(expected.split("\n"), got.split("\n"),
                                                         "shown", "printed", lineterm=""):
                            print("  " + line)
        print("%s: %d transcripts, %d quoted texts" % (page, len(transcripts), len(quoted)))
    sys.exit(1 if failed else 0)


main()
