"""The program's wave files as resources/sounds.txt lists them: their names,
and which character of a spoken result each one says."""
import os

LIST = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "resources", "sounds.txt")


def _rows():
    with open(LIST) as f:
        return [line.split()[:2] for line in f if line.strip() and not line.startswith("#")]


NAMES = [name for name, _ in _rows()]
SPEECH = {says: name for name, says in _rows() if says != "none"}


def spoken(text):
    """The wave files that speak a result's text, one a character."""
    return [SPEECH[c] for c in text if c in SPEECH]
