"""Workbooks locked with a password, written by a script of ours from the
published formats, for what LibreOffice does not write itself:

  encrypt_biff(stream, scheme, password, biff8=True, key_bits=128)
      a BIFF workbook stream with a FILEPASS record after its first BOF and
      its record bodies obfuscated ("xor") or encrypted with CryptoAPI RC4
      ("cryptoapi", a 128- or 40-bit key from SHA-1), in 1,024-byte blocks
      keyed by the block's number.
  agile_package(package, password, hash_name, key_bits)
      an Office Open XML package in a compound file (EncryptionInfo and
      EncryptedPackage) with Agile encryption: AES-CBC in 4,096-byte
      segments, the key wrapped under the password after 100,000 hash rounds.

Salts come from a fixed seed, so that the files come out the same each run.
Ciphers and hashes are hashlib's and python3-cryptography's.
"""
import hashlib
import hmac
import struct

from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

from cfb_writer import compound_file

# --------------------------------------------------------------------------
# XOR obfuscation: a 16-bit key and verifier and a 16-byte array made from
# the password's bytes (at most 15).
# --------------------------------------------------------------------------

INITIAL_CODE = [0xE1F0, 0x1D0F, 0xCC9C, 0x84C0, 0x110C, 0x0E10, 0xF1CE, 0x313E, 0x1872, 0xE139,
                0xD40F, 0x84F9, 0x280C, 0xA96A, 0x4EC3]
XOR_MATRIX = [
    0xAEFC, 0x4DD9, 0x9BB2, 0x2745, 0x4E8A, 0x9D14, 0x2A09, 0x7B61, 0xF6C2, 0xFDA5, 0xEB6B, 0xC6F7,
    0x9DCF, 0x2BBF, 0x4563, 0x8AC6, 0x05AD, 0x0B5A, 0x16B4, 0x2D68, 0x5AD0, 0x0375, 0x06EA, 0x0DD4,
    0x1BA8, 0x3750, 0x6EA0, 0xDD40, 0xD849, 0xA0B3, 0x5147, 0xA28E, 0x553D, 0xAA7A, 0x44D5, 0x6F45,
    0xDE8A, 0xAD35, 0x4A4B, 0x9496, 0x390D, 0x721A, 0xEB23, 0xC667, 0x9CEF, 0x29FF, 0x53FE, 0xA7FC,
    0x5FD9, 0x47D3, 0x8FA6, 0x0F6D, 0x1EDA, 0x3DB4, 0x7B68, 0xF6D0, 0xB861, 0x60E3, 0xC1C6, 0x93AD,
    0x377B, 0x6EF6, 0xDDEC, 0x45A0, 0x8B40, 0x06A1, 0x0D42, 0x1A84, 0x3508, 0x6A10, 0xAA51, 0x4483,
    0x8906, 0x022D, 0x045A, 0x08B4, 0x1168, 0x76B4, 0xED68, 0xCAF1, 0x85C3, 0x1BA7, 0x374E, 0x6E9C,
    0x3730, 0x6E60, 0xDCC0, 0xA9A1, 0x4363, 0x86C6, 0x1DAD, 0x3331, 0x6662, 0xCCC4, 0x89A9, 0x0373,
    0x06E6, 0x0DCC, 0x1021, 0x2042, 0x4084, 0x8108, 0x1231, 0x2462, 0x48C4]
PAD = [0xBB, 0xFF, 0xFF, 0xBA, 0xFF, 0xFF, 0xB9, 0x80, 0x00, 0xBE, 0x0F, 0x00, 0xBF, 0x0F, 0x00]


def xor_key(pw):
    key = INITIAL_CODE[len(pw) - 1]
    element = 0x68
    for ch in reversed(pw):
        for _ in range(7):
            if ch & 0x40:
                key ^= XOR_MATRIX[element]
            ch = (ch << 1) & 0xFF
            element -= 1
    return key


def xor_verifier(pw):
    v = 0
    for b in reversed(bytes([len(pw)]) + pw):
        v = (((v >> 14) & 1) | ((v << 1) & 0x7FFF)) ^ b
    return v ^ 0xCE4B


def xor_array(pw):
    key = xor_key(pw)
    hi, lo = key >> 8, key & 0xFF
    out = [0] * 16

    def xor_ror(a, b):
        v = a ^ b
        return ((v >> 1) | (v << 7)) & 0xFF

    i = len(pw)
    if i % 2 == 1:
        out[i] = xor_ror(PAD[0], hi)
        i -= 1
        out[i] = xor_ror(pw[-1], lo)
    while i > 0:
        i -= 1
        out[i] = xor_ror(pw[i], hi)
        i -= 1
        out[i] = xor_ror(pw[i], lo)
    i, pad = 15, 15 - len(pw)
    while pad > 0:
        out[i] = xor_ror(PAD[pad], hi)
        i, pad = i - 1, pad - 1
        out[i] = xor_ror(PAD[pad], lo)
        i, pad = i - 1, pad - 1
    return out


# --------------------------------------------------------------------------
# BIFF streams
# --------------------------------------------------------------------------

# Records whose bodies stay readable: BOF, FILEPASS, INTERFACEHDR, USREXCL,
# FILELOCK, RRDINFO, RRDHEAD; and BOUNDSHEET's first four bytes (the sheet's
# place in the stream).
CLEAR = {0x0809, 0x002F, 0x00E1, 0x0194, 0x0195, 0x0196, 0x0138}
BOUNDSHEET, INDEX, EXTSST = 0x0085, 0x020B, 0x00FF


def records(stream):
    out, pos = [], 0
    while pos + 4 <= len(stream):
        rtype, length = struct.unpack_from("<HH", stream, pos)
        out.append((rtype, bytearray(stream[pos + 4:pos + 4 + length])))
        pos += 4 + length
    return out


def seed_bytes(label, n):
    out = b""
    while len(out) < n:
        out += hashlib.sha256((label + str(len(out))).encode()).digest()
    return out[:n]


def rc4(key, data):
    return Cipher(algorithms.ARC4(key), mode=None).encryptor().update(data)


def cryptoapi_filepass(password, key_bits=128):
    pw = password.encode("utf-16-le")
    salt = seed_bytes("cryptoapi salt " + password, 16)
    verifier = seed_bytes("cryptoapi verifier " + password, 16)
    h0 = hashlib.sha1(salt + pw).digest()

    def key(block):
        # A 40-bit key is used as 128 bits, the rest zero.
        return hashlib.sha1(h0 + struct.pack("<I", block)).digest()[:key_bits // 8].ljust(16, b"\0")

    sealed = rc4(key(0), verifier + hashlib.sha1(verifier).digest())
    provider = ("Microsoft Enhanced Cryptographic Provider v1.0\0" if key_bits > 40
                else "Microsoft Base Cryptographic Provider v1.0\0").encode("utf-16-le")
    header = struct.pack("<IIIIIIII", 0x04, 0, 0x6801, 0x8004, key_bits, 1, 0, 0) + provider
    body = struct.pack("<HHHII", 1, 4, 2, 0x04, len(header)) + header
    body += struct.pack("<I", 16) + salt + sealed[:16] + struct.pack("<I", 20) + sealed[16:]
    return body, key


def encrypt_biff(stream, scheme, password, biff8=True, key_bits=128):
    recs = records(stream)
    pw = password.encode("latin-1")
    if scheme == "xor":
        filepass = struct.pack("<HH", xor_key(pw), xor_verifier(pw))
        if biff8:
            filepass = struct.pack("<H", 0) + filepass
        key = None
    else:
        filepass, key = cryptoapi_filepass(password, key_bits)
    shift = 4 + len(filepass)
    recs.insert(1, (0x002F, bytearray(filepass)))
    # Offsets into the stream move by the FILEPASS record.
    for rtype, body in recs:
        if rtype == BOUNDSHEET:
            struct.pack_into("<I", body, 0, struct.unpack_from("<I", body, 0)[0] + shift)
        elif rtype == INDEX:
            for at in range(16, len(body) - 3, 4):
                struct.pack_into("<I", body, at, struct.unpack_from("<I", body, at)[0] + shift)
        elif rtype == EXTSST:
            for at in range(2, len(body) - 7, 8):
                struct.pack_into("<I", body, at, struct.unpack_from("<I", body, at)[0] + shift)
    out = bytearray()
    array = xor_array(pw) if scheme == "xor" else None
    for rtype, body in recs:
        start = len(out) + 4
        out += struct.pack("<HH", rtype, len(body))
        if rtype not in CLEAR:
            first = 4 if rtype == BOUNDSHEET else 0
            if scheme == "xor":
                for i in range(first, len(body)):
                    v = body[i]
                    v = ((v << 5) | (v >> 3)) & 0xFF
                    body[i] = v ^ array[(start + i + len(body)) % 16]
            else:
                for i in range(first, len(body)):
                    pos = start + i
                    body[i] ^= rc4(key(pos // 1024), bytes(pos % 1024 + 1))[-1]
        out += body
    return bytes(out)


# --------------------------------------------------------------------------
# Agile encryption of an Office Open XML package
# --------------------------------------------------------------------------

BLOCK_VERIFIER_INPUT = bytes.fromhex("fea7d2763b4b9e79")
BLOCK_VERIFIER_VALUE = bytes.fromhex("d7aa0f6d3061344e")
BLOCK_KEY_VALUE = bytes.fromhex("146e0be7abacd0d6")
BLOCK_HMAC_KEY = bytes.fromhex("5fb2ad010cb9e1f6")
BLOCK_HMAC_VALUE = bytes.fromhex("a0677f02b22c8433")
SEGMENT = 4096


def _fit(data, size, pad=b"\x36"):
    return data[:size] if len(data) >= size else data + pad * (size - len(data))


def _cbc(key, iv, data):
    data = data + b"\0" * (-len(data) % 16)
    return Cipher(algorithms.AES(key), modes.CBC(iv)).encryptor().update(data)


def agile_package(package, password, hash_name="sha512", key_bits=256, spins=100000):
    info, body = agile_parts(package, password, hash_name, key_bits, spins)
    return compound_file([("EncryptionInfo", info), ("EncryptedPackage", body)])


def agile_parts(package, password, hash_name="sha512", key_bits=256, spins=100000):
    """The EncryptionInfo and EncryptedPackage streams."""
    import base64
    h = lambda data: hashlib.new(hash_name, data).digest()  # noqa: E731
    hash_size = len(h(b""))
    key_bytes = key_bits // 8
    label = "agile %s %s %d " % (password, hash_name, key_bits)
    key_salt = seed_bytes(label + "key data salt", 16)
    pw_salt = seed_bytes(label + "password salt", 16)
    secret = seed_bytes(label + "secret", key_bytes)
    verifier_input = seed_bytes(label + "verifier", 16)

    hn = h(pw_salt + password.encode("utf-16-le"))
    for i in range(spins):
        hn = h(struct.pack("<I", i) + hn)

    def pw_key(block):
        return _fit(h(hn + block), key_bytes)

    enc_input = _cbc(pw_key(BLOCK_VERIFIER_INPUT), pw_salt, verifier_input)
    enc_value = _cbc(pw_key(BLOCK_VERIFIER_VALUE), pw_salt, h(verifier_input))
    enc_key = _cbc(pw_key(BLOCK_KEY_VALUE), pw_salt, secret)

    body = struct.pack("<Q", len(package))
    for i in range(0, len(package), SEGMENT):
        iv = _fit(h(key_salt + struct.pack("<I", i // SEGMENT)), 16)
        body += _cbc(secret, iv, package[i:i + SEGMENT])

    hmac_key = seed_bytes(label + "hmac key", hash_size)
    hmac_value = hmac.new(hmac_key, body, hash_name).digest()
    enc_hmac_key = _cbc(secret, _fit(h(key_salt + BLOCK_HMAC_KEY), 16), hmac_key)
    enc_hmac_value = _cbc(secret, _fit(h(key_salt + BLOCK_HMAC_VALUE), 16), hmac_value)

    b64 = lambda data: base64.b64encode(data).decode()  # noqa: E731
    algo = ('saltSize="16" blockSize="16" keyBits="%d" hashSize="%d" cipherAlgorithm="AES" '
            'cipherChaining="ChainingModeCBC" hashAlgorithm="%s"' % (key_bits, hash_size, hash_name.upper()))
    xml = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n'
           '<encryption xmlns="http://schemas.microsoft.com/office/2006/encryption" '
           'xmlns:p="http://schemas.microsoft.com/office/2006/keyEncryptor/password">'
           '<keyData %s saltValue="%s"/>'
           '<dataIntegrity encryptedHmacKey="%s" encryptedHmacValue="%s"/>'
           '<keyEncryptors><keyEncryptor uri="http://schemas.microsoft.com/office/2006/keyEncryptor/password">'
           '<p:encryptedKey spinCount="%d" %s saltValue="%s" encryptedVerifierHashInput="%s" '
           'encryptedVerifierHashValue="%s" encryptedKeyValue="%s"/>'
           '</keyEncryptor></keyEncryptors></encryption>'
           % (algo, b64(key_salt), b64(enc_hmac_key), b64(enc_hmac_value), spins, algo, b64(pw_salt),
              b64(enc_input), b64(enc_value), b64(enc_key)))
    return struct.pack("<HHI", 4, 4, 0x40) + xml.encode("utf-8"), body


# --------------------------------------------------------------------------
# The locked roster fixtures (make_rosters.py locked)
# --------------------------------------------------------------------------

DEFAULT_PASSWORD = "VelvetSweatshop"
OTHER_PASSWORD = "secret"


def _stream(path, names):
    from xlrd import compdoc
    with open(path, "rb") as f:
        doc = compdoc.CompDoc(f.read(), logfile=open("/dev/null", "w"))
    for name in names:
        data = doc.get_named_stream(name)
        if data:
            return data
    raise ValueError(path)


def _names(office, path, password=None):
    """Column 1 of the active sheet as LibreOffice reads it, down to the
    first empty cell; None when LibreOffice cannot open the file."""
    props = (office.prop("Hidden", True),) + ((office.prop("Password", password),) if password else ())
    try:
        doc = office.desktop.loadComponentFromURL("file://" + path, "_blank", 0, props)
    except Exception:
        return None
    if doc is None:
        return None
    try:
        sheet = doc.CurrentController.ActiveSheet
        out = []
        while sheet.getCellByPosition(0, len(out)).getString():
            out.append(sheet.getCellByPosition(0, len(out)).getString())
        return out
    finally:
        doc.close(True)


def make_agile_hashes(out, office):
    """The basic LibreOffice .xlsx locked with the default password under
    Agile encryption with SHA-256 and with SHA-384. LibreOffice 7.4 opens Agile files hashed with SHA-1 and
    SHA-512 only, so msoffcrypto-tool (python3-msoffcrypto-tool), which
    follows the format on its own, unlocks each file with the default
    password, and LibreOffice must read the package it gives as the names."""
    import io
    import os
    import tempfile
    import msoffcrypto
    with open(os.path.join(out, "basic.lo.xlsx"), "rb") as f:
        package = f.read()
    want = _names(office, os.path.join(out, "basic.lo.xlsx"))
    for hash_name, key_bits in (("sha256", 256), ("sha384", 256)):
        name = os.path.join(out, "basic.script-velvet-agile-%s.xlsx" % hash_name)
        with open(name, "wb") as f:
            f.write(agile_package(package, DEFAULT_PASSWORD, hash_name, key_bits))
        with open(name, "rb") as f:
            locked = msoffcrypto.OfficeFile(f)
            locked.load_key(password=DEFAULT_PASSWORD)
            plain = io.BytesIO()
            locked.decrypt(plain, verify_integrity=True)
        with tempfile.TemporaryDirectory() as tmp:
            unlocked = os.path.join(tmp, "unlocked.xlsx")
            with open(unlocked, "wb") as f:
                f.write(plain.getvalue())
            got = _names(office, unlocked)
        if got != want:
            raise RuntimeError("%s unlocks to a package LibreOffice reads as %r" % (name, got))


def make_locked_rosters(out, office, build_lo, case):
    """The basic names locked with the default password by LibreOffice (its
    .xls RC4 and its .xlsx Standard encryption) and by this script (XOR,
    BIFF5 XOR, CryptoAPI RC4, Agile with SHA-512 and with SHA-1, and the
    script's .xlsb with Agile), and with another password for each scheme
    of the script; and the Unicode names' Gnumeric .xlsx with Agile.
    LibreOffice must read every file back as the names it was made from:
    the default-password ones without a password, the others only with
    theirs."""
    import os
    import uno
    from com.sun.star.beans import NamedValue

    def path(name):
        return os.path.join(out, name)

    doc = build_lo(office, "basic", case)
    office.store(doc, path("basic.lo-velvet.xls"), "MS Excel 97", Password=DEFAULT_PASSWORD)
    data = tuple(NamedValue(Name=k, Value=v) for k, v in (("OOXPassword", DEFAULT_PASSWORD),
                                                          ("CryptoType", "Standard")))
    props = (office.prop("FilterName", "Calc MS Excel 2007 XML"), office.prop("Overwrite", True),
             office.prop("EncryptionData", uno.Any("[]com.sun.star.beans.NamedValue", data)))
    uno.invoke(doc, "storeToURL", ("file://" + path("basic.lo-velvet.xlsx"), props))
    doc.close(True)

    biff8 = _stream(path("basic.xlwt.xls"), ["Workbook"])
    biff5 = _stream(path("basic.gnumeric95.xls"), ["Book"])
    with open(path("basic.lo.xlsx"), "rb") as f:
        package = f.read()
    with open(path("basic.script.xlsb"), "rb") as f:
        binary = f.read()
    made = {}
    for password, name in ((DEFAULT_PASSWORD, "basic.script-velvet-%s"), (OTHER_PASSWORD, "bad-password.script-%s")):
        made[name % "xor.xls"] = compound_file([("Workbook", encrypt_biff(biff8, "xor", password))])
        made[name % "xor95.xls"] = compound_file([("Book", encrypt_biff(biff5, "xor", password, biff8=False))])
        made[name % "cryptoapi.xls"] = compound_file([("Workbook", encrypt_biff(biff8, "cryptoapi", password))])
        made[name % "agile.xlsx"] = agile_package(package, password)
    made["basic.script-velvet-agile-sha1.xlsx"] = agile_package(package, DEFAULT_PASSWORD, "sha1", 128)
    made["basic.script-velvet-agile.xlsb"] = agile_package(binary, DEFAULT_PASSWORD)
    # A package whose central directory runs past its first 4096-byte
    # segment, the next one under an IV of its own.
    with open(path("unicode.gnumeric.xlsx"), "rb") as f:
        made["unicode.script-velvet-agile.xlsx"] = agile_package(f.read(), DEFAULT_PASSWORD)
    for name, data in made.items():
        with open(path(name), "wb") as f:
            f.write(data)

    basic = [c for c in case["column1"]]
    for name in sorted(made) + ["basic.lo-velvet.xls", "basic.lo-velvet.xlsx"]:
        if name.startswith("basic."):
            checks = [(None, basic)]
        elif name.startswith("unicode."):
            checks = [(None, _names(office, path("unicode.gnumeric.xlsx"), None))]
        else:
            checks = [(None, None), (OTHER_PASSWORD, basic)]
        for password, want in checks:
            got = _names(office, path(name), password)
            if got != want:
                raise RuntimeError("LibreOffice reads %s (password %r) as %r" % (name, password, got))
