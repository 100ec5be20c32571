#pragma once

#include "agentrecords.h"

#include <string>
#include <string_view>
#include <vector>

namespace Qolvi_Desktop_Agent {

// A text in double quotes with quotes, backslashes and control characters escaped. Total: bytes
// that are not UTF-8 become U+FFFD, so the result is always valid UTF-8.
[[nodiscard]] std::string quotedText(std::string_view text);

// A list of texts in square brackets, each quoted, separated by ", ".
[[nodiscard]] std::string quotedList(const std::vector<std::string> &texts);

// The reflective form of a request record used on the console, e.g.
// CheckAgent(AccessKey: "K-1", ProcessNames: ["org.example.A"]).
template <typename Record>
[[nodiscard]] std::string textualForm(const Record &record) {
    return std::string(Record::typeName) + "(AccessKey: " + quotedText(record.AccessKey) +
           ", ProcessNames: " + quotedList(record.ProcessNames) + ")";
}

} // namespace Qolvi_Desktop_Agent
