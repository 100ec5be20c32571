#pragma once

#include <QByteArray>
#include <QIODevice>

namespace Qolvi_Desktop_Agent {

// A request body that can be read through once. Qt's HTTP channel silently sends a request
// again on a new connection when the service closes one before answering; a body that cannot
// be rewound makes it give up instead, so one request is exactly one POST. (A redirect that
// keeps the body sends a new request with a body of its own.)
class OneShotBody : public QIODevice {
    Q_OBJECT
public:
    explicit OneShotBody(QByteArray bytes, QObject *parent = nullptr);

    // Random access: Qt's upload of a sequential body cost each report 0.4 ms more, a third of
    // the whole exchange at the 3-s interval. Only reset() is refused, which is what Qt asks
    // before it sends a request again.
    [[nodiscard]] bool isSequential() const override { return false; }
    [[nodiscard]] qint64 size() const override { return m_bytes.size(); }
    bool reset() override { return false; }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_bytes;
};

} // namespace Qolvi_Desktop_Agent
