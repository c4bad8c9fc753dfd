#include "common/DefaultPassword.h"

#include "common/Bytes.h"

namespace plivan {

QByteArray DefaultPasswordBytes()
{
    static const QByteArray bytes = [] {
        QByteArray out;
        for (const char16_t c : u"VelvetSweatshop") {
            if (c)
                out += Le32(c).left(2);
        }
        return out;
    }();
    return bytes;
}

} // namespace plivan
