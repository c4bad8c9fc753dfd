#pragma once

#include "Internal.h"
#include "biff/BiffStream.h"

#include <QHash>

#include <vector>

namespace plivan {

class CodePageDecoder;

// The number formats (FORMAT records) and cell formats (XF records) of a
// BIFF workbook, and which of them show numbers as dates. Each cell format
// names a number format; a number format shows dates when its code does, or,
// from BIFF5 on, when it is a built-in date format the workbook leaves out.
class BiffFormats {
public:
    // Forgets the formats read: those of Excel 2.x-4.0 belong to their sheet.
    void clear();

    // The next XF record (RecXf, RecXf2, RecXf3 or RecXf4) and a FORMAT
    // record of a workbook of BIFF version `biff`, whose 8-bit codes
    // `decoder` turns into text. False when the body cannot be read.
    bool readXf(RecordReader &records, const Record &r);
    bool readFormat(RecordReader &records, const Record &r, int biff, CodePageDecoder &decoder);

    // True when number format `format`, or cell format `xf`, shows dates.
    bool isDateFormat(quint16 format, int biff) const;
    bool xfIsDate(quint16 xf, int biff) const
    {
        return xf < m_xfFormats.size() && isDateFormat(m_xfFormats[xf], biff);
    }

private:
    std::vector<quint16> m_xfFormats; // number format of each cell format
    QHash<quint16, bool> m_formatIsDate; // number formats the workbook defines
    quint16 m_formatCount = 0; // Excel 2.x-4.0 number their formats in order
};

} // namespace plivan
