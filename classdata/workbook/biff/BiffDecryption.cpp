#include "biff/BiffDecryption.h"

#include "common/Bytes.h"
#include "common/DefaultPassword.h"

#include <nettle/arcfour.h>

#include <algorithm>
#include <array>

namespace plivan {

namespace {

// XOR obfuscation with the default password: the 16-bit key and verifier a
// FILEPASS record names, and the 16 bytes the record bodies are combined
// with, all made from the password as the format describes
// (tests/data/rosters/office_crypto.py makes them from it).
constexpr quint16 XorKey = 0xB359;
constexpr quint16 XorVerifier = 0x9A0A;
constexpr std::array<quint8, 16> XorArray
    = { 0x87, 0x6B, 0x9A, 0xE2, 0x1E, 0xE3, 0x05, 0x62, 0x1E, 0x69, 0x96, 0x60, 0x98, 0x6E, 0x94, 0x04 };

// RC4 starts afresh with a key of its own every this many bytes of the stream.
constexpr qint64 Rc4Block = 1024;

constexpr quint32 AlgorithmRc4 = 0x6801;
constexpr quint32 AlgorithmSha1 = 0x8004;

QByteArrayView Bytes(const quint8 *p, qint64 length)
{
    return QByteArrayView(reinterpret_cast<const char *>(p), length);
}

// Each byte combined with the array at a place set by its offset and its
// record's length, then rotated.
class XorDecryptor final : public BiffDecryptor {
public:
    void decrypt(quint8 *data, qint64 offset, qint64 length, quint16 recordLength) override
    {
        for (qint64 i = 0; i < length; ++i) {
            const quint8 value = data[i] ^ XorArray[size_t((offset + i + recordLength) % 16)];
            data[i] = quint8((value >> 5) | (value << 3));
        }
    }

    std::unique_ptr<BiffDecryptor> clone() const override { return std::make_unique<XorDecryptor>(); }
};

// RC4 keyed afresh for each 1,024-byte block of the stream by the block's
// number: MD5 of a 5-byte hash of the password and salt for the original
// method, SHA-1 of the salted password's hash for CryptoAPI.
class Rc4Decryptor final : public BiffDecryptor {
public:
    // The key for each block: the first `keyBytes` bytes of the hash,
    // followed by zeros up to 16 bytes when `zeroFilled`.
    Rc4Decryptor(QByteArray base, bool cryptoApi, int keyBytes, bool zeroFilled = false)
        : m_base(std::move(base))
        , m_cryptoApi(cryptoApi)
        , m_keyBytes(keyBytes)
        , m_zeroFilled(zeroFilled)
    {
    }

    // Starts the cipher at the beginning of block `block`.
    void start(quint32 block)
    {
        QByteArray key = HashOf(m_cryptoApi ? nettle_sha1 : nettle_md5, { m_base, Le32(block) });
        key.truncate(m_keyBytes);
        if (m_zeroFilled)
            key.append(QByteArray(16 - m_keyBytes, '\0'));
        arcfour_set_key(&m_cipher, size_t(key.size()), reinterpret_cast<const quint8 *>(key.constData()));
        m_block = block;
        m_at = 0;
    }

    void crypt(quint8 *data, qint64 length)
    {
        arcfour_crypt(&m_cipher, size_t(length), data, data);
        m_at += length;
    }

    void decrypt(quint8 *data, qint64 offset, qint64 length, quint16) override
    {
        while (length > 0) {
            const qint64 block = offset / Rc4Block;
            const qint64 within = offset % Rc4Block;
            if (block != m_block || within < m_at)
                start(quint32(block));
            quint8 skipped[Rc4Block];
            if (within > m_at)
                crypt(skipped, within - m_at);
            const qint64 run = std::min(length, Rc4Block - within);
            crypt(data, run);
            data += run;
            offset += run;
            length -= run;
        }
    }

    std::unique_ptr<BiffDecryptor> clone() const override
    {
        return std::make_unique<Rc4Decryptor>(m_base, m_cryptoApi, m_keyBytes, m_zeroFilled);
    }

private:
    QByteArray m_base;
    bool m_cryptoApi;
    int m_keyBytes;
    bool m_zeroFilled;
    arcfour_ctx m_cipher {};
    qint64 m_block = -1; // the block the cipher is in, and how far
    qint64 m_at = 0;
};

// Whether block 0's key turns the encrypted verifier into the value whose
// hash follows it: the password is the right one.
bool Verifies(Rc4Decryptor &decryptor, const quint8 *verifier, const quint8 *hash, int hashSize)
{
    QByteArray plain = Bytes(verifier, 16).toByteArray() + Bytes(hash, hashSize).toByteArray();
    decryptor.start(0);
    decryptor.crypt(reinterpret_cast<quint8 *>(plain.data()), plain.size());
    const nettle_hash &h = hashSize == 16 ? nettle_md5 : nettle_sha1;
    return HashOf(h, { plain.left(16) }) == plain.mid(16);
}

std::unique_ptr<BiffDecryptor> Rc4Original(const quint8 *body, qint64 length)
{
    // Salt, encrypted verifier and its encrypted MD5, 16 bytes each.
    if (length < 6 + 48)
        return nullptr;
    const QByteArray start = HashOf(nettle_md5, { DefaultPasswordBytes() }).left(5);
    QByteArray repeated;
    for (int i = 0; i < 16; ++i)
        repeated += start + Bytes(body + 6, 16).toByteArray();
    auto decryptor = std::make_unique<Rc4Decryptor>(HashOf(nettle_md5, { repeated }).left(5), false, 16);
    return Verifies(*decryptor, body + 22, body + 38, 16) ? std::move(decryptor) : nullptr;
}

std::unique_ptr<BiffDecryptor> Rc4CryptoApi(const quint8 *body, qint64 length)
{
    // Flags, the header's size, the header; then the verifier: salt size,
    // salt, encrypted verifier, hash size, encrypted SHA-1 of the verifier.
    if (length < 14)
        return nullptr;
    const qint64 headerSize = U32(body + 10);
    const qint64 verifier = 14 + headerSize;
    if (headerSize < 20 || headerSize > length || verifier + 4 + 16 + 16 + 4 + 20 > length)
        return nullptr;
    const quint8 *header = body + 14;
    const quint32 algorithm = U32(header + 8);
    const quint32 hash = U32(header + 12);
    const quint32 keyBits = U32(header + 16) == 0 ? 40 : U32(header + 16);
    if ((algorithm != AlgorithmRc4 && algorithm != 0) || (hash != AlgorithmSha1 && hash != 0) || keyBits < 40
        || keyBits > 128 || keyBits % 8 != 0 || U32(body + verifier) != 16 || U32(body + verifier + 36) != 20)
        return nullptr;
    const QByteArray start = HashOf(nettle_sha1, { Bytes(body + verifier + 4, 16), DefaultPasswordBytes() });
    // A 40-bit key is used as 128 bits, the rest zero, as the format
    // describes; some writers use the 5 bytes alone. The verifier tells.
    for (const bool zeroFilled : { keyBits == 40, false }) {
        auto decryptor = std::make_unique<Rc4Decryptor>(start, true, int(keyBits / 8), zeroFilled);
        if (Verifies(*decryptor, body + verifier + 20, body + verifier + 40, 20))
            return decryptor;
    }
    return nullptr;
}

} // namespace

bool RecordIsEncrypted(quint16 type)
{
    switch (type) {
    case 0x0809: // BOF
    case 0x002F: // FILEPASS
    case 0x00E1: // INTERFACEHDR
    case 0x0194: // USREXCL
    case 0x0195: // FILELOCK
    case 0x0196: // RRDINFO
    case 0x0138: // RRDHEAD
        return false;
    default:
        return true;
    }
}

std::unique_ptr<BiffDecryptor> DefaultPasswordDecryptor(const quint8 *body, qint64 length, bool biff8)
{
    // BIFF5 and earlier know XOR obfuscation alone: key and verifier.
    if (!biff8)
        return length >= 4 && U16(body) == XorKey && U16(body + 2) == XorVerifier
            ? std::make_unique<XorDecryptor>()
            : nullptr;
    if (length < 2)
        return nullptr;
    if (U16(body) == 0)
        return length >= 6 && U16(body + 2) == XorKey && U16(body + 4) == XorVerifier
            ? std::make_unique<XorDecryptor>()
            : nullptr;
    if (U16(body) != 1 || length < 6)
        return nullptr;
    const quint16 major = U16(body + 2);
    const quint16 minor = U16(body + 4);
    if (major == 1 && minor == 1)
        return Rc4Original(body, length);
    if (major >= 2 && major <= 4 && minor == 2)
        return Rc4CryptoApi(body, length);
    return nullptr;
}

} // namespace plivan
