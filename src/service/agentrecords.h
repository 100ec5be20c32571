#pragma once

#include "codingkeys.h"

#include <string>
#include <vector>

namespace Qolvi_Desktop_Agent {

// The request body of "exam/InitDesktop": the exam key and the running applications.
struct InitAgent {
    enum class CodingKeys { AccessKey, ProcessNames };
    static constexpr CodingKeyTable<CodingKeys, 2> codingKeys{{{
        {CodingKeys::AccessKey, "accessKey"},
        {CodingKeys::ProcessNames, "processNames"},
    }}};
    static constexpr std::string_view typeName = "InitAgent";

    std::string AccessKey;
    std::vector<std::string> ProcessNames;

    friend bool operator==(const InitAgent &, const InitAgent &) = default;
};

// The request body of "exam/CheckApplication": same fields and shape, a type of its own.
struct CheckAgent {
    enum class CodingKeys { AccessKey, ProcessNames };
    static constexpr CodingKeyTable<CodingKeys, 2> codingKeys{{{
        {CodingKeys::AccessKey, "accessKey"},
        {CodingKeys::ProcessNames, "processNames"},
    }}};
    static constexpr std::string_view typeName = "CheckAgent";

    std::string AccessKey;
    std::vector<std::string> ProcessNames;

    friend bool operator==(const CheckAgent &, const CheckAgent &) = default;
};

} // namespace Qolvi_Desktop_Agent
