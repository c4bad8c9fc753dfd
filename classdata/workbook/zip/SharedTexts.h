#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace plivan {

// Limits on what one Office Open XML workbook (.xlsx, .xlsm or .xlsb) may make
// us unpack or hold. A roster needs only the first rows of its sheet; the
// limits also bound the time a hostile file can cost, as XML is parsed at some
// tens of megabytes a second.
namespace PackageLimits {
constexpr qint64 MaxSheetBytes = 64 * 1024 * 1024;
constexpr qint64 MaxSharedStringBytes = 128 * 1024 * 1024;
constexpr qint64 MaxWorkbookBytes = 64 * 1024 * 1024;
constexpr qint64 MaxStylesBytes = 64 * 1024 * 1024;
constexpr int MaxSheets = 100000;
constexpr std::size_t MaxCellFormats = 1000000;
constexpr qsizetype MaxSharedStrings = 4 * 1024 * 1024;
constexpr qint64 MaxSharedStringChars = 64 * 1024 * 1024;
} // namespace PackageLimits

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
