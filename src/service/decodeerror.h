#pragma once

#include <string>
#include <variant>

namespace Qolvi_Desktop_Agent {

enum class DecodeErrorKind {
    invalidJson,   // the bytes are not JSON text
    notAnObject,   // a record's JSON value is not an object
    keyNotFound,   // a required member is missing
    valueNotFound, // a required member is null
    typeMismatch,  // a member has the wrong JSON type
    badElement,    // an element of a list failed to decode
};

struct DecodeError {
    DecodeErrorKind kind;
    std::string codingPath; // e.g. "validationErrors[1].value"; empty for the top level
    std::string description;
};

// A decoded record or the reason why there is none; never a partly filled record.
template <typename Record>
using Decoded = std::variant<Record, DecodeError>;

} // namespace Qolvi_Desktop_Agent
