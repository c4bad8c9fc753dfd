#pragma once

#include <QString>
#include <QStringList>

namespace plivan {

// The student list as the seating code sees it: rows counted from 0, read and
// replaced in place. The window's list box and a plain string list both serve.
class StudentList {
public:
    virtual ~StudentList() = default;
    virtual int count() const = 0;
    virtual QString text(int row) const = 0;
    virtual void setText(int row, const QString &text) = 0;
    virtual void clear() = 0;
    virtual void append(const QString &text) = 0;
};

class StringStudentList : public StudentList {
public:
    StringStudentList() = default;
    explicit StringStudentList(QStringList rows)
        : rows(std::move(rows))
    {
    }

    int count() const override { return int(rows.size()); }
    QString text(int row) const override { return rows.value(row); }
    void setText(int row, const QString &text) override { rows[row] = text; }
    void clear() override { rows.clear(); }
    void append(const QString &text) override { rows.append(text); }

    QStringList rows;
};

} // namespace plivan
