// libFuzzer target for the .xlsx reader. An input starting with "PK" is a
// whole archive; any other is sheet \x01 shared strings \x01 styles
// [\x01 workbook], packed into a stored archive around them.
#include "FuzzZip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace plivan::fuzz;
    return FuzzZipInput(data, size, 4, [](QList<QByteArray> parts) {
        if (parts[3].isEmpty())
            parts[3] = "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                       "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
                       "<bookViews><workbookView activeTab=\"1\"/></bookViews><sheets>"
                       "<sheet name=\"A\" sheetId=\"1\" r:id=\"rId1\"/><sheet name=\"B\" sheetId=\"2\" "
                       "r:id=\"rId4\"/></sheets></workbook>";
        const QByteArray rels
            = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
              "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
              "relationships/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>";
        const QByteArray workbookRels
            = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
              "<Relationship Id=\"rId4\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
              "relationships/worksheet\" Target=\"worksheets/sheet1.xml\"/>"
              "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
              "relationships/sharedStrings\" Target=\"/xl/sharedStrings.xml\"/>"
              "<Relationship Id=\"rId3\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
              "relationships/styles\" Target=\"styles.xml\"/></Relationships>";
        return StoredZip({ { "_rels/.rels", rels }, { "xl/workbook.xml", parts[3] },
            { "xl/_rels/workbook.xml.rels", workbookRels }, { "xl/worksheets/sheet1.xml", parts[0] },
            { "xl/sharedStrings.xml", parts[1] }, { "xl/styles.xml", parts[2] } });
    });
}
