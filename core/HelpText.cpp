#include "HelpText.h"

namespace plivan {

namespace {
// The help panel's text: 47 lines, each ending in CR LF, with its tabs and
// trailing spaces as written. Line 3 names the settings file.
const char16_t HelpLines[] = u"\t\tPlivan Details\r\n"
                             u"\r\n"
                             u"Plivan reads a text file (c:\\plivan\\plivan.txt) in order to get \r\n"
                             u"information about teacher name, class names and the students in \r\n"
                             u"those classes. The file records look like:\r\n"
                             u"\r\n"
                             u"#Teacher Name\r\n"
                             u"Mrs. Tolvane\r\n"
                             u"#Rows of seats, Cols of Seats\r\n"
                             u"5,6\r\n"
                             u"#Class Names and student xls files\r\n"
                             u"Period 1 Geometry#period1.xls\r\n"
                             u"Period 2 Geometry#period2.xls\r\n"
                             u"Period 3 Geometry#period3.xls\r\n"
                             u"Period 4 Algebra#period4.xls\r\n"
                             u"Period 6 Algebra#period6.xls\r\n"
                             u"Period 7 Pre-Algebra#period7.xls\r\n"
                             u"\r\n"
                             u"\r\n"
                             u"Where:\r\n"
                             u"\r\n"
                             u" '#Teacher Name' is a place holder for the name that follows it\r\n"
                             u" '#Rows of seats, Cols of Seats' is a descriptive place holder for \r\n"
                             u"\tthe numbers that follow it\r\n"
                             u" '#Class Names and student xls files' is a place holder for some\r\n"
                             u"\tnumber of entries of class names and the EXCEL file that\r\n"
                             u"\tcontains the student names. The '#' between the class \r\n"
                             u"\tname and the student file is simply a delimiter separating\r\n"
                             u"\tclass name and the students file name for that class.\r\n"
                             u"\r\n"
                             u"You will need to enter your own info for your situation and put \r\n"
                             u"the student names for each class in separate '.xls' worksheets.\r\n"
                             u"\r\n"
                             u"Once that is done you simply click the 'Select Class' button to get\r\n"
                             u"a list of the classes. Clicking a class from the class list will \r\n"
                             u"get the student names from the associated EXCEl file and list those\r\n"
                             u"names. If the number of seats exceeds the number of students 'empty'\r\n"
                             u"names are generated.\r\n"
                             u"\r\n"
                             u"At this point you have several options as to how you populate the \r\n"
                             u"seats. You can click on any student and subsequently click on the \r\n"
                             u"seat location where you would like to seat him. You may want to \r\n"
                             u"seat the remaining students randomly or sequentially by clicking the\r\n"
                             u"appropriate button. When the list of students is blank, seating is\r\n"
                             u"complete and you can 'Print' 'Exit' or select another class to seat.\r\n"
                             u"\r\n"
                             u"Simply click the 'Help' button again to exit help.\r\n";
} // namespace

QString HelpText(const QString &settingsPath)
{
    QString text = QString::fromUtf16(HelpLines);
    if (!settingsPath.isEmpty())
        text.replace(HelpSettingsPath, settingsPath);
    return text;
}

} // namespace plivan
