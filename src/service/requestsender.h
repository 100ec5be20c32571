#pragma once

#include "platform/standardoutput.h"
#include "servicerequest.h"
#include "wirejson.h"

#include <QString>
#include <chrono>
#include <string>

namespace Qolvi_Desktop_Agent {

// Builds the exam service's JSON POST requests from the base URL, a path and a record.
class RequestSender {
public:
    static constexpr std::chrono::milliseconds requestTimeout{60'000};

    RequestSender(QString baseApiURL, LineWriter writeLine);

    // The base URL and the path are joined as text, with no separator added. An encoding failure
    // writes "Error encoding parameters: " and the reason, and leaves the request without a body.
    template <typename Record>
    [[nodiscard]] ServiceRequest sendRequest(const QString &path, const Record &body) const {
        return build(path, toJson(body));
    }

    [[nodiscard]] const QString &baseApiURL() const { return m_baseApiURL; }

private:
    [[nodiscard]] ServiceRequest build(const QString &path, const Json &body) const;

    QString m_baseApiURL;
    LineWriter m_writeLine;
};

} // namespace Qolvi_Desktop_Agent
