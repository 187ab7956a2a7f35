"""The library's Base64 and MD5 family, called in-process, against Python's
hashlib, hmac and base64 on random inputs."""

import base64
import ctypes
import hashlib
import hmac
import os
import random
import re

import pytest

from conftest import BIN, SANITIZED

# An ASan-built library needs its runtime loaded before the interpreter.
pytestmark = pytest.mark.skipif(SANITIZED, reason="the sanitized library cannot load into python")

ALPHABET = b"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"


@pytest.fixture(scope="module")
def lib():
    lib = ctypes.CDLL(str(BIN / "libzezarur.so"))
    int_p = ctypes.POINTER(ctypes.c_int)
    for name, args in (("base64_encode", [ctypes.c_char_p, int_p]),
                       ("base64_decode", [ctypes.c_char_p, int_p]),
                       ("base64_detach", [int_p])):
        getattr(lib, name).argtypes = args
        getattr(lib, name).restype = ctypes.c_void_p
    lib.MD5Update.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_uint32]
    lib.hmac_md5.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.c_char_p, ctypes.c_int,
                             ctypes.c_char_p]
    lib.crammd5digest.argtypes = [ctypes.c_char_p, ctypes.c_char_p,
                                  ctypes.POINTER(ctypes.c_char_p)]
    return lib


def kept(lib, ptr):
    """Takes the codec's latest result over and returns its bytes."""
    length = ctypes.c_int()
    assert lib.base64_detach(ctypes.byref(length)) == ptr and ptr
    try:
        return ctypes.string_at(ptr, length.value)
    finally:
        libc.free(ctypes.c_void_p(ptr))


libc = ctypes.CDLL(None)
libc.free.argtypes = [ctypes.c_void_p]


def encode(lib, data):
    n = ctypes.c_int(len(data))
    return kept(lib, lib.base64_encode(data, ctypes.byref(n)))


def decode(lib, text, given=True):
    n = ctypes.c_int(len(text))
    return kept(lib, lib.base64_decode(text, ctypes.byref(n) if given else None))


def md5(lib, data, rnd):
    context = ctypes.create_string_buffer(88)
    lib.MD5Init(context)
    at = 0
    while at < len(data):
        piece = data[at:at + rnd.randint(0, 150)]
        lib.MD5Update(context, piece, len(piece))
        at += len(piece)
    digest = ctypes.create_string_buffer(16)
    lib.MD5Final(digest, context)
    return digest.raw


def decode_oracle(text):
    """What the codec's rules give: the text ends at the first NUL or '=',
    bytes outside the alphabet are skipped and a lone trailing value is lost."""
    values = bytes(c for c in re.split(rb"[=\0]", text)[0] if c in ALPHABET)
    values = values[:len(values) - (len(values) % 4 == 1)]
    return base64.b64decode(values + b"=" * (-len(values) % 4))


@pytest.mark.parametrize("seed", range(4))
def test_md5_and_hmac_match_hashlib(lib, seed):
    rnd = random.Random(seed)
    for n in range(301):
        data = rnd.randbytes(n)
        assert md5(lib, data, rnd) == hashlib.md5(data).digest(), n
        key = rnd.randbytes(rnd.randint(0, 200))
        out = ctypes.create_string_buffer(16)
        lib.hmac_md5(data, n, key, len(key), out)
        assert out.raw == hmac.new(key, data, hashlib.md5).digest(), (n, len(key))


def test_md5_of_large_inputs(lib):
    rnd = random.Random(7)
    for n in (1 << 20, (5 << 20) + 3):
        data = os.urandom(n)
        assert md5(lib, data, rnd) == hashlib.md5(data).digest()


def test_crammd5_is_the_hex_hmac(lib, capfd):
    rnd = random.Random(3)
    for _ in range(200):
        secret = bytes(rnd.randint(1, 255) for _ in range(rnd.randint(0, 80)))
        challenge = bytes(rnd.randint(1, 255) for _ in range(rnd.randint(0, 120)))
        response = ctypes.create_string_buffer(33)
        ptr = ctypes.c_char_p(ctypes.addressof(response))
        assert lib.crammd5digest(secret, challenge, ctypes.byref(ptr)) == 0
        assert response.value == hmac.new(secret, challenge, hashlib.md5).hexdigest().encode()
    capfd.readouterr()


@pytest.mark.parametrize("seed", range(4))
def test_base64_encode_matches_python(lib, seed):
    rnd = random.Random(seed)
    for n in range(301):
        data = rnd.randbytes(n)
        text = encode(lib, data)
        assert text.replace(b"\n", b"") == base64.b64encode(data), n
        lines = text.split(b"\n")
        assert all(len(line) == 76 for line in lines[:-1]) and len(lines[-1]) <= 76, n
        assert decode(lib, text) == data and decode(lib, text, given=False) == data, n


@pytest.mark.parametrize("seed", range(4))
def test_base64_decode_follows_its_rules_on_random_text(lib, seed):
    rnd = random.Random(seed)
    noise = ALPHABET * 3 + b" \t\r\n-_.*\x80\xff="
    for n in range(301):
        text = bytes(rnd.choice(noise) for _ in range(n))
        assert decode(lib, text) == decode_oracle(text), text
