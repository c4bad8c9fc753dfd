#include "zip/SharedTexts.h"

namespace plivan {

std::optional<QString> SharedTexts::at(qint64 index)
{
    using namespace PackageLimits;
    if (index >= 0 && index < MaxSharedStrings) {
        while (m_strings.size() <= index && !m_atEnd && m_error.isEmpty()) {
            std::optional<QString> text = readNext(m_error);
            if (!text) {
                m_atEnd = true;
                break;
            }
            m_chars += text->size();
            if (m_chars > MaxSharedStringChars) {
                m_error = QStringLiteral("is damaged (its shared texts are too long)");
                break;
            }
            m_strings.append(std::move(*text));
        }
        if (index < m_strings.size())
            return m_strings.at(qsizetype(index));
    }
    if (m_error.isEmpty())
        m_error = QStringLiteral("is damaged (a cell names a shared text that does not exist)");
    return std::nullopt;
}

} // namespace plivan
