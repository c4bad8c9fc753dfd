#pragma once

#include "Internal.h"
#include "zip/Package.h"

#include <QList>
#include <QString>

#include <optional>

namespace plivan {

// A package's shared text table, read only as far as the highest entry asked
// for. Each format gives its entries in order through readNext().
class SharedTexts {
public:
    virtual ~SharedTexts() = default;

    // The entry, or empty with error() set.
    std::optional<QString> at(qint64 index);

    const QString &error() const { return m_error; }

protected:
    // The table's next entry; empty at the table's end (or when the package
    // has none), or at damage with `error` set.
    virtual std::optional<QString> readNext(QString &error) = 0;

private:
    QList<QString> m_strings;
    qint64 m_chars = 0;
    bool m_atEnd = false;
    QString m_error;
};

} // namespace plivan
