#pragma once

#include <set>
#include <string>
#include <string_view>

namespace Qolvi_Desktop_Agent::tools {

// The exam service's rules, apart from HTTP: which keys open an exam and which running
// applications end it.
class ExamService {
public:
    static constexpr std::string_view demoKey = "QOLVI-DEMO-2026";

    struct Reply {
        int status = 200;
        std::string body;
        std::string summary; // for the service's own log line
    };

    ExamService(std::set<std::string> acceptedKeys, std::set<std::string> deniedApplications);

    [[nodiscard]] Reply initDesktop(std::string_view body) const;
    [[nodiscard]] Reply checkApplication(std::string_view body) const;

private:
    template <typename Record>
    [[nodiscard]] Reply answer(std::string_view body, std::string_view refusedKeyMessage) const;

    std::set<std::string> m_acceptedKeys;
    std::set<std::string> m_deniedApplications;
};

} // namespace Qolvi_Desktop_Agent::tools
