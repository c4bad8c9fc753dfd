#include "compound/EncryptedPackage.h"

#include "WorkbookData.h"
#include "common/Bytes.h"
#include "common/DefaultPassword.h"

#include <QXmlStreamReader>

#include <nettle/cbc.h>

#include <algorithm>

namespace plivan {

namespace {

// EncryptionInfo holds a few hundred bytes, or a few KB of XML.
constexpr qint64 MaxEncryptionInfo = 1 << 20;
constexpr int MaxXmlTokens = 10000;
// The most hash rounds the format allows a file to ask for.
constexpr qint64 MaxSpinCount = 10'000'000;
// Standard encryption always hashes this many rounds.
constexpr qint64 StandardSpinCount = 50'000;
// Agile encryption encrypts the package in segments of this size, each
// with an IV of its own.
constexpr qint64 Segment = 4096;
constexpr qint64 AesBlock = 16;

constexpr quint32 FlagCryptoApi = 0x04;
constexpr quint32 FlagAes = 0x20;
constexpr quint32 AlgorithmAes128 = 0x660E;
constexpr quint32 AlgorithmAes256 = 0x6610;
constexpr quint32 AlgorithmSha1 = 0x8004;

const QString PasswordNamespace
    = QStringLiteral("http://schemas.microsoft.com/office/2006/keyEncryptor/password");

QString Damaged(const QString &reason)
{
    return QStringLiteral("is damaged (%1)").arg(reason);
}

// Cut to `size` bytes, or filled up to it with 0x36 bytes.
QByteArray Fit(QByteArray bytes, qint64 size)
{
    if (bytes.size() >= size)
        bytes.truncate(size);
    else
        bytes.append(QByteArray(size - bytes.size(), '\x36'));
    return bytes;
}

// The password's hash over `spins` rounds, each hashing the round's number
// and the hash before.
QByteArray SpunHash(const nettle_hash &hash, const QByteArray &salt, qint64 spins)
{
    QByteArray value = HashOf(hash, { salt, DefaultPasswordBytes() });
    std::unique_ptr<quint8[]> context(new quint8[hash.context_size]);
    auto *digest = reinterpret_cast<quint8 *>(value.data());
    for (qint64 i = 0; i < spins; ++i) {
        quint8 round[4];
        qToLittleEndian(quint32(i), round);
        hash.init(context.get());
        hash.update(context.get(), 4, round);
        hash.update(context.get(), hash.digest_size, digest);
        hash.digest(context.get(), hash.digest_size, digest);
    }
    return value;
}

class Aes {
public:
    bool setKey(const QByteArray &key)
    {
        m_cipher = key.size() == 16 ? &nettle_aes128
            : key.size() == 24      ? &nettle_aes192
            : key.size() == 32      ? &nettle_aes256
                                    : nullptr;
        if (!m_cipher)
            return false;
        m_context.reset(new quint8[m_cipher->context_size]);
        m_cipher->set_decrypt_key(m_context.get(), reinterpret_cast<const quint8 *>(key.constData()));
        return true;
    }

    // Whole 16-byte blocks, each on its own (ECB), or chained from `iv` (CBC).
    void decrypt(char *data, qint64 length, QByteArray iv = {})
    {
        auto *bytes = reinterpret_cast<quint8 *>(data);
        if (iv.isEmpty())
            m_cipher->decrypt(m_context.get(), size_t(length), bytes, bytes);
        else
            cbc_decrypt(m_context.get(), m_cipher->decrypt, AesBlock, reinterpret_cast<quint8 *>(iv.data()),
                size_t(length), bytes, bytes);
    }

    QByteArray decrypted(QByteArray data, const QByteArray &iv = {})
    {
        data.truncate(data.size() / AesBlock * AesBlock);
        decrypt(data.data(), data.size(), iv);
        return data;
    }

private:
    const nettle_cipher *m_cipher = nullptr;
    std::unique_ptr<quint8[]> m_context;
};

// How the package is encrypted, once the default password proved right.
struct PackageKey {
    Aes aes;
    bool agile = false;
    const nettle_hash *hash = nullptr; // Agile: makes each segment's IV
    QByteArray salt; // Agile: the key data's salt
};

// ECMA-376 Standard encryption: AES-ECB, its key from SHA-1 of the salted
// password over 50,000 rounds.
bool StandardKey(const QByteArray &info, PackageKey &key)
{
    if (info.size() < 12)
        return false;
    const qint64 headerSize = U32(info.constData() + 8);
    if (headerSize < 32 || headerSize > info.size() - 12)
        return false;
    const char *header = info.constData() + 12;
    const quint32 flags = U32(header);
    quint32 algorithm = U32(header + 8);
    const quint32 hash = U32(header + 12);
    const quint32 keyBits = U32(header + 16);
    if (algorithm == 0)
        algorithm = AlgorithmAes128;
    if (!(flags & FlagCryptoApi) || !(flags & FlagAes) || algorithm < AlgorithmAes128
        || algorithm > AlgorithmAes256 || keyBits != 128 + 64 * (algorithm - AlgorithmAes128)
        || (hash != 0 && hash != AlgorithmSha1))
        return false;
    // The verifier: salt size, salt, encrypted verifier, hash size, its
    // encrypted SHA-1 (32 bytes: two AES blocks).
    const QByteArray verifier = info.mid(12 + headerSize);
    if (verifier.size() < 4 + 16 + 16 + 4 + 32 || U32(verifier.constData()) != 16)
        return false;

    const QByteArray spun = SpunHash(nettle_sha1, verifier.mid(4, 16), StandardSpinCount);
    const QByteArray final = HashOf(nettle_sha1, { spun, Le32(0) });
    QByteArray inner(64, '\x36'), outer(64, '\x5C');
    for (int i = 0; i < final.size(); ++i) {
        inner[i] = char(inner[i] ^ final[i]);
        outer[i] = char(outer[i] ^ final[i]);
    }
    const QByteArray derived = HashOf(nettle_sha1, { inner }) + HashOf(nettle_sha1, { outer });
    if (!key.aes.setKey(derived.left(keyBits / 8)))
        return false;
    const QByteArray plain = key.aes.decrypted(verifier.mid(20, 16) + verifier.mid(40, 32));
    return HashOf(nettle_sha1, { plain.left(16) }) == plain.mid(16, 20);
}

const nettle_hash *HashNamed(const QStringView name)
{
    if (name == u"SHA1")
        return &nettle_sha1;
    if (name == u"SHA256")
        return &nettle_sha256;
    if (name == u"SHA384")
        return &nettle_sha384;
    if (name == u"SHA512")
        return &nettle_sha512;
    if (name == u"MD5")
        return &nettle_md5;
    return nullptr;
}

// The attributes of Agile's keyData and password encryptedKey elements
// that matter here.
struct AgileParameters {
    const nettle_hash *hash = nullptr;
    int keyBytes = 0;
    QByteArray salt;
    bool aesCbc = false;
    qint64 spinCount = 0;
    QByteArray verifierInput, verifierValue, keyValue; // encrypted
};

bool ReadParameters(const QXmlStreamAttributes &attributes, AgileParameters &out)
{
    const auto bytes = [&](const QString &name) {
        const auto decoded = QByteArray::fromBase64Encoding(
            attributes.value(name).toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        return decoded ? *decoded : QByteArray();
    };
    out.hash = HashNamed(attributes.value(QStringLiteral("hashAlgorithm")));
    out.keyBytes = attributes.value(QStringLiteral("keyBits")).toInt() / 8;
    out.salt = bytes(QStringLiteral("saltValue"));
    out.aesCbc = attributes.value(QStringLiteral("cipherAlgorithm")) == u"AES"
        && attributes.value(QStringLiteral("cipherChaining")) == u"ChainingModeCBC"
        && attributes.value(QStringLiteral("blockSize")).toInt() == AesBlock;
    out.spinCount = attributes.value(QStringLiteral("spinCount")).toLongLong();
    out.verifierInput = bytes(QStringLiteral("encryptedVerifierHashInput"));
    out.verifierValue = bytes(QStringLiteral("encryptedVerifierHashValue"));
    out.keyValue = bytes(QStringLiteral("encryptedKeyValue"));
    return out.hash && out.aesCbc && !out.salt.isEmpty() && out.salt.size() <= 1024
        && (out.keyBytes == 16 || out.keyBytes == 24 || out.keyBytes == 32);
}

// Agile encryption: the package's key, wrapped with a key made from the
// password (its salted hash over the rounds the file names), and checked
// with a verifier wrapped the same way; AES-CBC throughout.
bool AgileKey(const QByteArray &info, PackageKey &key, bool &damaged)
{
    QXmlStreamReader xml(info.mid(8));
    AgileParameters data, password;
    bool haveData = false, havePassword = false;
    for (int tokens = 0; !xml.atEnd() && tokens < MaxXmlTokens; ++tokens) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"keyData")
            haveData = ReadParameters(xml.attributes(), data);
        else if (xml.name() == u"encryptedKey" && xml.namespaceUri() == PasswordNamespace)
            havePassword = ReadParameters(xml.attributes(), password);
    }
    if (xml.hasError() || !xml.atEnd()) {
        damaged = true;
        return false;
    }
    if (!haveData || !havePassword || password.spinCount < 0 || password.spinCount > MaxSpinCount)
        return false;

    const QByteArray spun = SpunHash(*password.hash, password.salt, password.spinCount);
    const QByteArray iv = Fit(password.salt, AesBlock);
    const auto unwrap = [&](const char *block, const QByteArray &wrapped) {
        Aes aes;
        aes.setKey(Fit(HashOf(*password.hash, { spun, QByteArray::fromHex(block) }), password.keyBytes));
        return aes.decrypted(wrapped, iv);
    };
    const QByteArray input = unwrap("fea7d2763b4b9e79", password.verifierInput).left(password.salt.size());
    const QByteArray value = unwrap("d7aa0f6d3061344e", password.verifierValue);
    const QByteArray inputHash = HashOf(*password.hash, { input });
    if (input.size() != password.salt.size() || value.left(inputHash.size()) != inputHash)
        return false;
    const QByteArray secret = unwrap("146e0be7abacd0d6", password.keyValue);
    if (secret.size() < data.keyBytes || !key.aes.setKey(secret.left(data.keyBytes)))
        return false;
    key.agile = true;
    key.hash = data.hash;
    key.salt = data.salt;
    return true;
}

// The package, decrypted: its size, then the encrypted bytes.
OpenedWorkbook DecryptPackage(ByteSource &stream, PackageKey &key)
{
    quint8 head[8];
    if (!stream.read(0, 8, head))
        return { nullptr, Damaged(QStringLiteral("its locked package is cut short")) };
    const quint64 size = U64(head);
    if (size > quint64(MaxDecryptedPackage))
        return { nullptr, QStringLiteral("is too large to open (a locked workbook of more than 128 MB)") };
    const qint64 padded = (qint64(size) + AesBlock - 1) / AesBlock * AesBlock;
    if (padded > stream.size() - 8)
        return { nullptr, Damaged(QStringLiteral("its locked package is cut short")) };
    QByteArray package(padded, Qt::Uninitialized);
    if (!stream.read(8, padded, reinterpret_cast<quint8 *>(package.data()))) {
        const QString error = stream.error();
        return { nullptr,
            error.isEmpty() ? Damaged(QStringLiteral("its locked package is cut short")) : error };
    }
    if (!key.agile) {
        key.aes.decrypt(package.data(), padded);
    } else {
        for (qint64 at = 0; at < padded; at += Segment) {
            const QByteArray iv = Fit(HashOf(*key.hash, { key.salt, Le32(quint32(at / Segment)) }), AesBlock);
            key.aes.decrypt(package.data() + at, std::min(Segment, padded - at), iv);
        }
    }
    package.truncate(qint64(size));
    return OpenZipWorkbookData(package);
}

} // namespace

OpenedWorkbook OpenEncryptedPackage(const CompoundFile &file)
{
    const CompoundFile::Entry *infoEntry = file.find(u"EncryptionInfo");
    const CompoundFile::Entry *packageEntry = file.find(u"EncryptedPackage");
    if (!infoEntry || !packageEntry || !infoEntry->stream || !packageEntry->stream)
        return { nullptr, PasswordReason };
    QString error;
    std::unique_ptr<ByteSource> infoStream = file.stream(*infoEntry, &error);
    std::unique_ptr<ByteSource> packageStream = infoStream ? file.stream(*packageEntry, &error) : nullptr;
    if (!packageStream)
        return { nullptr, error };
    if (infoStream->size() > MaxEncryptionInfo)
        return { nullptr, Damaged(QStringLiteral("its encryption details cannot be read")) };
    QByteArray info(infoStream->size(), Qt::Uninitialized);
    if (!infoStream->read(0, info.size(), reinterpret_cast<quint8 *>(info.data())))
        return { nullptr,
            infoStream->error().isEmpty() ? Damaged(QStringLiteral("its encryption details cannot be read"))
                                          : infoStream->error() };
    return OpenEncryptedParts(info, *packageStream);
}

OpenedWorkbook OpenEncryptedParts(const QByteArray &info, ByteSource &package)
{
    if (info.size() < 8 || info.size() > MaxEncryptionInfo)
        return { nullptr, Damaged(QStringLiteral("its encryption details cannot be read")) };
    // The version says which kind: 3.2 or 4.2 Standard, 4.4 Agile.
    const quint16 major = U16(info.constData());
    const quint16 minor = U16(info.constData() + 2);
    PackageKey key;
    bool damaged = false;
    const bool opened = (major == 3 || major == 4) && minor == 2 ? StandardKey(info, key)
        : major == 4 && minor == 4                               ? AgileKey(info, key, damaged)
                                                                 : false;
    if (damaged)
        return { nullptr, Damaged(QStringLiteral("its encryption details cannot be read")) };
    if (!opened)
        return { nullptr, PasswordReason };
    return DecryptPackage(package, key);
}

} // namespace plivan
