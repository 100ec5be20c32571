#include "oneshotbody.h"

#include <algorithm>
#include <cstring>

namespace Qolvi_Desktop_Agent {

OneShotBody::OneShotBody(QByteArray bytes, QObject *parent)
    : QIODevice(parent)
    , m_bytes(std::move(bytes)) {
    open(QIODevice::ReadOnly);
}

qint64 OneShotBody::readData(char *data, qint64 maxSize) {
    if (pos() >= m_bytes.size()) {
        return -1;
    }
    const qint64 count = std::min(maxSize, m_bytes.size() - pos());
    std::memcpy(data, m_bytes.constData() + pos(), std::size_t(count));
    return count;
}

} // namespace Qolvi_Desktop_Agent
