#include "oneshotbody.h"

#include <algorithm>
#include <cstring>

namespace Qolvi_Desktop_Agent {

OneShotBody::OneShotBody(QByteArray bytes, QObject *parent)
    : QIODevice(parent)
    , m_bytes(std::move(bytes)) {
    open(QIODevice::ReadOnly);
}

qint64 OneShotBody::bytesAvailable() const {
    return m_bytes.size() - m_position + QIODevice::bytesAvailable();
}

qint64 OneShotBody::readData(char *data, qint64 maxSize) {
    const qint64 count = std::min(maxSize, m_bytes.size() - m_position);
    if (count <= 0) {
        return m_bytes.isEmpty() || m_position >= m_bytes.size() ? -1 : 0;
    }
    std::memcpy(data, m_bytes.constData() + m_position, std::size_t(count));
    m_position += count;
    return count;
}

} // namespace Qolvi_Desktop_Agent
