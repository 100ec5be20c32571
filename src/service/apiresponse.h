#pragma once

#include "codingkeys.h"
#include "validationerror.h"

#include <optional>
#include <string>
#include <vector>

namespace Qolvi_Desktop_Agent {

// The envelope the exam service answers with. The payload type is declared for the service's
// sake but no field carries it, so the JSON shape does not depend on it.
template <typename Payload>
struct ApiResponse {
    using PayloadType = Payload;

    enum class CodingKeys { ValidationErrors, HasError, Message };
    static constexpr CodingKeyTable<CodingKeys, 3> codingKeys{{{
        {CodingKeys::ValidationErrors, "validationErrors"},
        {CodingKeys::HasError, "hasError"},
        {CodingKeys::Message, "message"},
    }}};

    std::vector<ValidationError> ValidationErrors;
    bool HasError = false;
    std::optional<std::string> Message;

    friend bool operator==(const ApiResponse &, const ApiResponse &) = default;
};

// Both exam service paths answer with this envelope.
using ServiceResponse = ApiResponse<bool>;

} // namespace Qolvi_Desktop_Agent
