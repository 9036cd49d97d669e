#!/usr/bin/python3
# Makes the reference outputs of the Base64 and uuencode coders with Python's
# binascii. Run once by hand; the tests only read the files it writes.
#
# Input of length L: bytes (i * 151 + 7) mod 256 for i = 0 .. L-1.
# Record per length: "<L> <output length>\n", the output bytes, "\n".
import binascii

LENGTHS = list(range(0, 261)) + [1000, 4096]


def pattern(n):
    return bytes((i * 151 + 7) % 256 for i in range(n))


def base64_lines(data):
    out = b""
    for i in range(0, len(data), 45):
        out += binascii.b2a_base64(data[i:i + 45]).replace(b"\n", b"\r\n")
    return out


def uu_lines(data):
    out = b""
    for i in range(0, len(data), 45):
        chunk = data[i:i + 45]
        line = binascii.b2a_uu(chunk, backtick=True).rstrip(b"\n")
        # binascii pads the last group to four characters; the coder writes
        # only the characters that carry bits (two for one byte, three for two).
        n = len(chunk)
        chars = 4 * (n // 3) + (0, 2, 3)[n % 3]
        out += line[:1 + chars] + b"\r\n"
    return out + b"`\r\n"


for name, fn in (("base64.ref", base64_lines), ("uu.ref", uu_lines)):
    with open(name, "wb") as f:
        for n in LENGTHS:
            enc = fn(pattern(n))
            f.write(b"%d %d\n" % (n, len(enc)))
            f.write(enc)
            f.write(b"\n")
