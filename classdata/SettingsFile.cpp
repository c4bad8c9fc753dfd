#include "SettingsFile.h"

#include "DataFolder.h"
#include "SeatGrid.h"
#include "TextDecoding.h"

#include <QFile>
#include <QRegularExpression>

namespace plivan {

namespace {

// Settings files are a few hundred bytes; anything far larger is not one.
constexpr qint64 MaxSettingsBytes = 1 << 20;

// Splits at CR LF, LF or a lone CR. A line end at the very end of the text
// ends the last line; it does not start an empty one.
QStringList SplitLines(const QString &text)
{
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != u'\r' && c != u'\n')
            continue;
        lines.append(text.mid(start, i - start));
        if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.append(text.mid(start));
    return lines;
}

SettingsLoad Stop(const QString &message)
{
    return { false, message };
}

} // namespace

SettingsLoad LoadSettings(const QString &folder, WindowState &state)
{
    const QString path = SettingsFilePath(folder);
    QFile file(path);
    if (!file.exists()) {
        return Stop(QStringLiteral("The settings file %1 was not found.\n\n"
                                   "Press Help to see what it must hold.")
                        .arg(path));
    }
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxSettingsBytes) {
        const QString reason
            = file.isOpen() ? QStringLiteral("it is too large to be a settings file") : file.errorString();
        return Stop(QStringLiteral("The settings file %1 could not be read: %2.\n\n"
                                   "Press Help to see what it must hold.")
                        .arg(path, reason));
    }
    const QByteArray bytes = file.read(MaxSettingsBytes);
    if (file.error() != QFileDevice::NoError) {
        return Stop(
            QStringLiteral("The settings file %1 could not be read: %2.").arg(path, file.errorString()));
    }
    const QStringList lines = SplitLines(DecodeText(bytes));
    const auto line = [&lines](int number) { return lines.value(number - 1); };

    if (lines.size() < 1 || !line(1).startsWith(u"#Teacher"))
        return Stop(SettingsMessage::TeacherMissing);
    state.TeacherName = line(2);

    if (lines.size() < 3 || !line(3).startsWith(u"#Row"))
        return Stop(SettingsMessage::RowMissing);

    static const QRegularExpression size(QStringLiteral(R"(^\s*(\d{1,9})\s*,\s*(\d{1,9})\s*$)"));
    const QRegularExpressionMatch match = size.match(line(4));
    const int rows = match.hasMatch() ? match.captured(1).toInt() : 0;
    const int cols = match.hasMatch() ? match.captured(2).toInt() : 0;
    if (rows < 1 || cols < 1) {
        return Stop(QStringLiteral("Line 4 of Plivan.txt must hold the number of seat rows and the "
                                   "number of seat columns: two whole numbers of at least 1 "
                                   "separated by a comma, for example 5,6"));
    }
    if (qint64(rows) * cols > MaxSeats) {
        return Stop(QStringLiteral("Plivan.txt asks for %1 rows of %2 seats, which is %3 seats; "
                                   "Plivan can seat at most %4.")
                        .arg(rows)
                        .arg(cols)
                        .arg(qint64(rows) * cols)
                        .arg(MaxSeats));
    }
    SetRoom(state, rows, cols);

    if (lines.size() < 5 || !line(5).startsWith(u"#Class"))
        return Stop(SettingsMessage::ClassMissing);

    for (qsizetype i = 5; i < lines.size(); ++i) {
        const QString &classLine = lines.at(i);
        const qsizetype hash = classLine.indexOf(u'#');
        if (hash < 0)
            return Stop(SettingsMessage::NoSeparator);
        state.ClassNames.append(classLine.left(hash));
        state.RosterFiles.append(classLine.mid(hash + 1));
    }
    return { true, QString() };
}

} // namespace plivan
