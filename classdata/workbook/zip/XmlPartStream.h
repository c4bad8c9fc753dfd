#pragma once

#include "Internal.h"
#include "common/XmlStream.h"
#include "zip/ZipArchive.h"

namespace plivan {

// An XML part of a ZIP archive parsed incrementally: the entry is unpacked a
// chunk at a time, only as far as the tokens asked for need, and at most
// `limit` unpacked bytes of it.
class XmlPartStream final : public XmlStream {
public:
    XmlPartStream(ZipArchive &archive, std::uint64_t index, qint64 limit);

private:
    ZipEntryStream m_entry;
};

} // namespace plivan
