"""What the help tests and the end-to-end test both know of WinHelp 3.1."""


def keyword_order(word):
    """3.1 compares keywords without case, letters and digits after all other characters."""
    return [(chr(c).isalnum(), ord(chr(c).lower())) for c in word]
