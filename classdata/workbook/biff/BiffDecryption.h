#pragma once

// Workbooks locked with a password that the spreadsheet program writes when
// a workbook is protected without a password to open: its built-in default
// password, "VelvetSweatshop", opens them without asking. These are opened
// with it; any other password is refused ("is protected by a password").
// Ciphers and hashes are nettle's.

#include "compound/CompoundFile.h"

#include <QByteArray>
#include <QByteArrayView>

#include <nettle/nettle-meta.h>

#include <initializer_list>
#include <memory>

namespace plivan {

inline const QString PasswordReason = QStringLiteral("is protected by a password");

// Decrypts the record bodies of a BIFF workbook stream behind a FILEPASS
// record. Every byte is decrypted by its place in the stream, so that records
// can be read in any order.
class BiffDecryptor {
public:
    virtual ~BiffDecryptor() = default;

    // Decrypts in place `length` bytes that lie at `offset` in the stream,
    // in the body of a record of `recordLength` bytes.
    virtual void decrypt(quint8 *data, qint64 offset, qint64 length, quint16 recordLength) = 0;

    // The same key, with a place in the stream of its own.
    virtual std::unique_ptr<BiffDecryptor> clone() const = 0;
};

// The decryptor for the FILEPASS record whose body is `body` (`length`
// bytes; BIFF8, or else BIFF5 and earlier), when the default password opens
// the workbook; null when it does not, or the method is not one of XOR
// obfuscation, RC4 and CryptoAPI RC4.
std::unique_ptr<BiffDecryptor> DefaultPasswordDecryptor(const quint8 *body, qint64 length, bool biff8);

// False for the records left readable in an encrypted stream (BOF, FILEPASS,
// INTERFACEHDR and a few more); BOUNDSHEET keeps only its first four bytes,
// the sheet's place, readable.
bool RecordIsEncrypted(quint16 type);
constexpr quint16 BoundSheetRecord = 0x0085;

// An Office Open XML workbook (.xlsx, .xlsm, .xlsb) in a compound file with
// EncryptionInfo and EncryptedPackage streams, decrypted with the default
// password into memory (at most MaxDecryptedPackage bytes) and opened as a
// ZIP workbook. Standard (AES-ECB, SHA-1) and Agile (AES-CBC, SHA-1 to
// SHA-512) encryption.
OpenedWorkbook OpenEncryptedPackage(const CompoundFile &file);
constexpr qint64 MaxDecryptedPackage = qint64(128) << 20;

// The same from the EncryptionInfo stream's bytes and the EncryptedPackage
// stream (also for the fuzz target).
OpenedWorkbook OpenEncryptedParts(const QByteArray &info, ByteSource &package);

// The hash of the parts, one after another.
inline QByteArray HashOf(const nettle_hash &hash, std::initializer_list<QByteArrayView> parts)
{
    std::unique_ptr<quint8[]> context(new quint8[hash.context_size]);
    hash.init(context.get());
    for (const QByteArrayView part : parts)
        hash.update(context.get(), size_t(part.size()), reinterpret_cast<const quint8 *>(part.data()));
    QByteArray digest(hash.digest_size, Qt::Uninitialized);
    hash.digest(context.get(), hash.digest_size, reinterpret_cast<quint8 *>(digest.data()));
    return digest;
}

// The default password as UTF-16LE bytes, the form the keys are made from.
QByteArray DefaultPasswordBytes();

// A 32-bit number as 4 little-endian bytes.
QByteArray Le32(quint32 value);

} // namespace plivan
