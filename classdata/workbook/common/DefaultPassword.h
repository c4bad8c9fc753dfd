#pragma once

// Workbooks locked with a password that the spreadsheet program writes when
// a workbook is protected without a password to open: its built-in default
// password, "VelvetSweatshop", opens them without asking. The readers open
// them with it (biff/BiffDecryption.h, compound/EncryptedPackage.h); any
// other password is refused ("is protected by a password"). Ciphers and
// hashes are nettle's.

#include "Internal.h"

#include <QByteArray>
#include <QByteArrayView>

#include <nettle/nettle-meta.h>

#include <initializer_list>
#include <memory>

namespace plivan {

inline const QString PasswordReason = QStringLiteral("is protected by a password");

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

} // namespace plivan
