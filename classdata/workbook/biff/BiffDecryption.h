#pragma once

// BIFF workbooks locked with the default password (common/DefaultPassword.h):
// their record bodies decrypted as they are read.

#include "Internal.h"

#include <memory>

namespace plivan {

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

} // namespace plivan
