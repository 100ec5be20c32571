#pragma once

#include "codingkeys.h"

#include <string>

namespace Qolvi_Desktop_Agent {

// One per-item message of the exam service: Key names the item, Value is the message.
struct ValidationError {
    enum class CodingKeys { Key, Value };
    static constexpr CodingKeyTable<CodingKeys, 2> codingKeys{{{
        {CodingKeys::Key, "key"},
        {CodingKeys::Value, "value"},
    }}};

    std::string Key;
    std::string Value;

    friend bool operator==(const ValidationError &, const ValidationError &) = default;
};

} // namespace Qolvi_Desktop_Agent
