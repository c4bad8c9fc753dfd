// libFuzzer target for the .xlsb reader. An input starting with "PK" is a
// whole archive; any other is sheet, shared strings, styles and workbook
// parts, separated by the four bytes of PartSeparator (binary parts may hold
// any single byte), packed into a stored archive around them. Without a
// workbook part, one with two sheets, the second active, is used.
#include "FuzzZip.h"

namespace {

using namespace plivan::fuzz;

const QByteArray PartSeparator("\xFF\xFE\xFD\xFC", 4);

QList<QByteArray> SplitParts(const QByteArray &input)
{
    QList<QByteArray> parts;
    qsizetype from = 0;
    for (qsizetype at; (at = input.indexOf(PartSeparator, from)) >= 0; from = at + PartSeparator.size())
        parts.append(input.mid(from, at - from));
    parts.append(input.mid(from));
    return parts;
}

// A record: its type and size, seven bits a byte, then its bytes.
QByteArray Record(std::uint32_t type, const QByteArray &data = {})
{
    QByteArray out;
    for (std::uint32_t value : { type, std::uint32_t(data.size()) }) {
        do {
            out.append(char((value & 0x7F) | (value > 0x7F ? 0x80 : 0)));
            value >>= 7;
        } while (value);
    }
    return out + data;
}

QByteArray WideString(const char *text)
{
    QByteArray out;
    const QByteArray latin1(text);
    Put32(out, std::uint32_t(latin1.size()));
    for (const char c : latin1) {
        out.append(c);
        out.append('\0');
    }
    return out;
}

QByteArray DefaultWorkbook()
{
    QByteArray view;
    for (const std::uint32_t field : { 0u, 0u, 20000u, 10000u, 600u, 0u, 1u })
        Put32(view, field);
    view.append('\x78');
    QByteArray first, second;
    Put32(first, 0);
    Put32(first, 1);
    Put32(second, 0);
    Put32(second, 2);
    return Record(131) + Record(135) + Record(158, view) + Record(136) + Record(143)
        + Record(156, first + WideString("rId9") + WideString("A"))
        + Record(156, second + WideString("rId1") + WideString("B")) + Record(144) + Record(132);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    if (input.startsWith("PK")) {
        ReadWorkbook(input);
        return 0;
    }
    QList<QByteArray> parts = SplitParts(input);
    while (parts.size() < 4)
        parts.append(QByteArray());
    if (parts[3].isEmpty())
        parts[3] = DefaultWorkbook();
    // Whichever of the first five relationship ids the workbook names for its
    // active sheet is the sheet part; rId9 is a chart sheet.
    QByteArray workbookRels
        = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    const QByteArray type = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
    for (int i = 1; i <= 5; ++i)
        workbookRels += "<Relationship Id=\"rId" + QByteArray::number(i) + "\" Type=\"" + type
            + "worksheet\" Target=\"worksheets/sheet1.bin\"/>";
    workbookRels += "<Relationship Id=\"rId9\" Type=\"" + type
        + "chartsheet\" Target=\"chartsheets/sheet1.bin\"/><Relationship Id=\"rIdS\" Type=\"" + type
        + "sharedStrings\" Target=\"sharedStrings.bin\"/><Relationship Id=\"rIdT\" Type=\"" + type
        + "styles\" Target=\"/xl/styles.bin\"/></Relationships>";
    const QByteArray rels
        = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
          "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
          "relationships/officeDocument\" Target=\"xl/workbook.bin\"/></Relationships>";
    ReadWorkbook(StoredZip({ { "_rels/.rels", rels }, { "xl/workbook.bin", parts[3] },
        { "xl/_rels/workbook.bin.rels", workbookRels }, { "xl/worksheets/sheet1.bin", parts[0] },
        { "xl/sharedStrings.bin", parts[1] }, { "xl/styles.bin", parts[2] } }));
    return 0;
}
