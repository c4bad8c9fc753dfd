#pragma once

#include "common/CellValue.h"
#include "zip/SharedTexts.h"

#include <QHash>

#include <climits>
#include <optional>
#include <vector>

namespace plivan {

// Which cell formats of a package's styles show numbers as dates: each cell
// format names a number format, one the styles define or a built-in one.
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

} // namespace plivan
