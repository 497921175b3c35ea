"""The large, compressible file both the build and the install benchmarks package."""
import os


def big_file(path, size):
    """A file of SIZE bytes: text-like runs with some noise; kept when it is already there."""
    if os.path.exists(path) and os.path.getsize(path) == size:
        return
    os.makedirs(os.path.dirname(path), exist_ok=True)
    block = b"".join((b"record %08d value %s\r\n" % (i, os.urandom(6).hex().encode()))
                     for i in range(20000))
    with open(path, "wb") as f:
        written = 0
        while written < size:
            piece = block[: size - written]
            f.write(piece)
            written += len(piece)
