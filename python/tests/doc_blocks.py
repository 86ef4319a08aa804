"""The command and Python blocks of the README and the user guide (docs/*.md).

Every fenced ```sh and ```python block carries a mark on the line before it:
`<!-- run: NAME -->` for a block a test runs (the test takes it by `doc_block("NAME")`), or
`<!-- not run: REASON -->` for one no test can run (it installs, starts a window, ...)."""

import re

from conftest import ROOT

PAGES = [ROOT / "README.md"] + sorted((ROOT / "docs").glob("*.md"))
RUN_LANGUAGES = ("sh", "python")

_FENCE = re.compile(r"^```(\w*)\n(.*?)^```$", re.S | re.M)
_MARK = re.compile(r"<!-- (run|not run): (.+?) -->")


class Block:
    """One fenced block: its page, line, language, text and mark (None, "run" or "not run")."""

    def __init__(self, page, line, language, text, mark, name):
        self.page, self.line, self.language, self.text = page, line, language, text
        self.mark, self.name = mark, name

    def where(self):
        return f"{self.page.relative_to(ROOT)}:{self.line}"


def page_blocks(page):
    """The fenced blocks of one page, in order."""
    text = page.read_text()
    found = []
    for fence in _FENCE.finditer(text):
        line = text.count("\n", 0, fence.start()) + 1
        before = text[:fence.start()].rstrip("\n").rsplit("\n", 1)[-1]
        mark = _MARK.fullmatch(before.strip())
        found.append(Block(page, line, fence.group(1), fence.group(2),
                           mark.group(1) if mark else None, mark.group(2) if mark else None))
    return found


def all_blocks():
    return [block for page in PAGES for block in page_blocks(page)]


def doc_block(name):
    """The text of the block marked `<!-- run: name -->`."""
    named = [b for b in all_blocks() if b.mark == "run" and b.name == name]
    assert len(named) == 1, f"{len(named)} blocks are marked 'run: {name}'"
    return named[0].text
