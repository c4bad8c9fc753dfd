// libFuzzer target for the .ods reader. An input starting with "PK" is a
// whole archive; any other is content \x01 settings \x01 manifest, packed
// into a stored archive around them.
#include "FuzzZip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace plivan::fuzz;
    return FuzzZipInput(data, size, 3, [](const QList<QByteArray> &parts) {
        QList<std::pair<QByteArray, QByteArray>> zip {
            { "mimetype", "application/vnd.oasis.opendocument.spreadsheet" }, { "content.xml", parts[0] }
        };
        if (!parts[1].isEmpty())
            zip.append({ "settings.xml", parts[1] });
        if (!parts[2].isEmpty())
            zip.append({ "META-INF/manifest.xml", parts[2] });
        return StoredZip(zip);
    });
}
