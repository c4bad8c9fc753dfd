#pragma once

// A Plivan folder in a temporary directory, and a message box that records
// instead of blocking: what the window tests need around a real Form1.

#include "app/MessageBox.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

class TestFolder {
public:
    QString path() const { return dir.path() + QLatin1Char('/'); }

    void write(const QString &name, const QByteArray &content) const
    {
        QFile file(path() + name);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }

    // A settings file for a room of `rows` x `cols` with the given classes,
    // each "<name>#<file>".
    void writeSettings(int rows, int cols, const QStringList &classLines,
                       const QByteArray &teacher = "Mrs. Tolvane") const
    {
        QByteArray content = "#Teacher Name\r\n" + teacher + "\r\n#Rows of seats, Cols of Seats\r\n"
                             + QByteArray::number(rows) + "," + QByteArray::number(cols)
                             + "\r\n#Class Names and student xls files\r\n";
        for (const QString &line : classLines)
            content += line.toUtf8() + "\r\n";
        write(QStringLiteral("Plivan.txt"), content);
    }

    // A roster as comma-separated text, one name a line.
    void writeRoster(const QString &name, const QStringList &names) const
    {
        QByteArray content;
        for (const QString &n : names)
            content += "\"" + n.toUtf8().replace("\"", "\"\"") + "\"\r\n";
        write(name, content);
    }

private:
    QTemporaryDir dir;
};

// Records every message instead of showing a modal box, for as long as it lives.
class MessageRecorder {
public:
    MessageRecorder()
        : previous(plivan::SetMessageBoxHandler(
              [this](QWidget *, const QString &text) { messages.append(text); }))
    {
    }
    ~MessageRecorder() { plivan::SetMessageBoxHandler(previous); }
    MessageRecorder(const MessageRecorder &) = delete;
    MessageRecorder &operator=(const MessageRecorder &) = delete;

    QStringList messages;

private:
    plivan::MessageBoxHandler previous;
};
