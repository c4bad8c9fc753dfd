#pragma once

#include "Internal.h"
#include "common/CellValue.h"
#include "zip/Package.h"

#include <QHash>

#include <climits>
#include <optional>
#include <vector>

namespace plivan {

// Which cell formats of a package's styles show numbers as dates: each cell
// format names a number format, one the styles define or a built-in one.
// Each format reads its styles part into one of these.
class CellDateFormats {
public:
    // A number format the styles define, by its code.
    void define(qint64 id, const QString &code)
    {
        if (id >= 0 && id < INT_MAX)
            m_defined.insert(int(id), IsDateFormat(code));
    }

    // The next cell format, showing number format `id` (none: not a date).
    // False once there are as many as a workbook may hold.
    bool add(std::optional<qint64> id)
    {
        if (m_cellFormats.size() >= PackageLimits::MaxCellFormats)
            return false;
        bool date = false;
        if (id && *id >= 0 && *id < INT_MAX) {
            const auto defined = m_defined.constFind(int(*id));
            date = defined != m_defined.cend() ? *defined : IsBuiltInDateFormat(int(*id));
        }
        m_cellFormats.push_back(date);
        return true;
    }

    // For each cell format in order, whether it shows a date.
    std::vector<bool> take() { return std::move(m_cellFormats); }

private:
    QHash<int, bool> m_defined;
    std::vector<bool> m_cellFormats;
};

// The same for a package's styles part, read by `read` only once a number
// needs it.
class DateStyles {
public:
    using Read = std::vector<bool> (*)(ZipArchive &archive, std::uint64_t part);

    DateStyles(ZipArchive &archive, std::optional<std::uint64_t> part, Read read)
        : m_archive(archive)
        , m_part(part)
        , m_read(read)
    {
    }

    // True when cell format `style` shows its number as a date.
    bool isDate(qint64 style)
    {
        if (m_part) {
            m_dateFormats = m_read(m_archive, *m_part);
            m_part.reset();
        }
        return style >= 0 && std::uint64_t(style) < m_dateFormats.size() && m_dateFormats[std::size_t(style)];
    }

private:
    ZipArchive &m_archive;
    std::optional<std::uint64_t> m_part; // until read
    Read m_read;
    std::vector<bool> m_dateFormats;
};

} // namespace plivan
