#include "RosterImport.h"

#include "DataFolder.h"
#include "NameLayout.h"
#include "Numbers.h"
#include "StudentList.h"
#include "Workbook.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace plivan {

int NameMeasure(const QString &name)
{
    const int b = BreakPosition(name);
    return b != 0 ? b : int(name.size());
}

std::int16_t NameFontSizeFor(int widestMeasure, float seatWidth)
{
    const float product = float(widestMeasure) * seatWidth;
    const double size = double(RoundHalfEven(std::floor(double(product)) * 1.5));
    return std::int16_t(std::clamp(size, -32768.0, 32767.0));
}

RosterImport ImportRoster(const QString &path, int seats, float seatWidth, StudentList &list)
{
    list.clear();
    RosterImport result;
    const auto report = [&](const QString &reason) {
        result.message = QStringLiteral("The class list %1 %2.").arg(QDir::toNativeSeparators(path), reason);
    };

    OpenedWorkbook opened;
#ifdef Q_OS_WIN
    // Windows would open a device, or another file, for such a name.
    if (const QString problem = WindowsNameProblem(QFileInfo(path).fileName()); !problem.isEmpty())
        opened.error = problem;
    else
#endif
        opened = OpenWorkbook(path);
    if (!opened.workbook)
        report(opened.error);

    int r = 1;
    if (opened.workbook) {
        for (; r <= seats; ++r) {
            const std::optional<QString> text = opened.workbook->cellText(r);
            if (!text || text->isEmpty())
                break;
            list.append(*text);
        }
        if (!opened.workbook->error().isEmpty())
            report(opened.workbook->error());
        opened.workbook.reset(); // the file is let go before anything else happens
    }
    for (int j = r; j <= seats; ++j)
        list.append(QStringLiteral("Empty"));

    int widest = 0;
    for (int k = 0; k < list.count(); ++k)
        widest = std::max(widest, NameMeasure(list.text(k)));
    result.NameFontSize = NameFontSizeFor(widest, seatWidth);
    return result;
}

} // namespace plivan
