#!/usr/bin/env python3
"""Every relative link and anchor in the project's Markdown files resolves:
the file exists and, for #anchor, one of its headings gives that anchor as
GitHub makes them. Prints each broken link and exits 1 when there is one.
A link's text may wrap across lines, as Markdown allows. --self-test first
shows on a made-up tree that a broken file link, a broken anchor and a broken
link wrapped across two lines are caught, and a good link is not."""
import os
import re
import sys
import tempfile

LINK = re.compile(r"!?\[[^\]]*\]\(([^)\s]+)\)")
SKIPPED = ("build", "dist", ".git", "node_modules")


def anchors(path):
    """GitHub's heading anchors: lower case, punctuation dropped, blanks to
    hyphens, a repeated heading numbered."""
    found, seen = set(), {}
    fenced = False
    for line in open(path, encoding="utf-8"):
        if line.startswith("```"):
            fenced = not fenced
        if fenced or not re.match(r"#{1,6} ", line):
            continue
        text = line.lstrip("#").strip().lower()
        slug = re.sub(r"[^\w\- ]", "", text).replace(" ", "-")
        count = seen.get(slug, 0)
        seen[slug] = count + 1
        found.add(slug if count == 0 else "%s-%d" % (slug, count))
    return found


def links(path):
    """(line number, target) of each link, its text wrapped or not: the file
    read whole, with fenced blocks and code spans blanked in place."""
    kept, fenced = [], False
    for line in open(path, encoding="utf-8"):
        if line.startswith("```"):
            fenced = not fenced
        kept.append("\n" if fenced or line.startswith("```") else
                    re.sub(r"`[^`\n]*`", lambda code: " " * len(code.group(0)), line))
    text = "".join(kept)
    return [(text.count("\n", 0, m.start()) + 1, m.group(1)) for m in LINK.finditer(text)]


def broken_links(root):
    problems = []
    for folder, subfolders, files in os.walk(root):
        subfolders[:] = [s for s in subfolders if s not in SKIPPED]
        for name in files:
            if not name.endswith(".md"):
                continue
            path = os.path.join(folder, name)
            for number, target in links(path):
                if re.match(r"[a-z]+:", target):
                    continue  # a web address: not checked here
                file_part, _, anchor = target.partition("#")
                resolved = os.path.normpath(os.path.join(folder, file_part)) if file_part else path
                where = "%s:%d: %s" % (os.path.relpath(path, root), number, target)
                if not os.path.exists(resolved):
                    problems.append(where + " (no such file)")
                elif anchor and (not resolved.endswith(".md") or anchor not in anchors(resolved)):
                    problems.append(where + " (no such heading)")
    return problems


def self_test():
    with tempfile.TemporaryDirectory() as tree:
        os.makedirs(os.path.join(tree, "docs"))
        with open(os.path.join(tree, "README.md"), "w") as f:
            f.write("# Top\n## Is it for you?\n[a](docs/page.md#the-page) [b](docs/gone.md) [c](#is-it-for-you)"
                    " [d](docs/page.md#no-such-part) [e](https://example.com/x)\nA [link wrapped\nacross lines]"
                    "(docs/wrapped.md) and [one\nthat is good](docs/page.md).\n")
        with open(os.path.join(tree, "docs", "page.md"), "w") as f:
            f.write("# The page\n[back](../README.md#top)\n")
        found = sorted(p.split(": ", 1)[1] for p in broken_links(tree))
    expected = ["docs/gone.md (no such file)", "docs/page.md#no-such-part (no such heading)",
                "docs/wrapped.md (no such file)"]
    if found != expected:
        print("self-test: found %s, expected %s" % (found, expected))
        return False
    print("self-test: a broken file link, a broken anchor and a broken wrapped link are caught, good links pass")
    return True


def main():
    root = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
    if "--self-test" in sys.argv and not self_test():
        return 1
    problems = broken_links(root)
    for problem in problems:
        print(problem)
    count = sum(len(links(os.path.join(f, n)))
                for f, s, ns in os.walk(root) if not any(part in SKIPPED for part in f.split(os.sep))
                for n in ns if n.endswith(".md"))
    print("%d links in the Markdown files, %d broken" % (count, len(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
