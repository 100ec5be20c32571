#pragma once

#include <QtGlobal>
#include <chrono>

namespace Qolvi_Desktop_Agent {

// Limits of every exchange on the agent's session.
struct SessionLimits {
    // An exchange fails when no data arrives for this long...
    std::chrono::milliseconds inactivity{45'000};
    // ...and when it has not finished this long after it started.
    std::chrono::milliseconds wholeExchange{45'000};
    // A larger response body is cut off, so memory stays bounded whatever the service sends.
    qint64 maxBodyBytes = qint64{1} << 20;
};

} // namespace Qolvi_Desktop_Agent
