#pragma once

#include "Internal.h"
#include "compound/CompoundFile.h"

namespace plivan {

// An Office Open XML workbook (.xlsx, .xlsm, .xlsb) in a compound file with
// EncryptionInfo and EncryptedPackage streams, decrypted with the default
// password (common/DefaultPassword.h) into memory (at most
// MaxDecryptedPackage bytes) and opened as a ZIP workbook. Standard
// (AES-ECB, SHA-1) and Agile (AES-CBC, SHA-1 to SHA-512) encryption.
OpenedWorkbook OpenEncryptedPackage(const CompoundFile &file);
constexpr qint64 MaxDecryptedPackage = qint64(128) << 20;

// The same from the EncryptionInfo stream's bytes and the EncryptedPackage
// stream (also for the fuzz target).
OpenedWorkbook OpenEncryptedParts(const QByteArray &info, ByteSource &package);

} // namespace plivan
