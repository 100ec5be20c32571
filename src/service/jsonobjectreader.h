#pragma once

#include "decodeerror.h"

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Qolvi_Desktop_Agent {

using Json = nlohmann::ordered_json;

// Thrown by the reader, caught at the decoding boundary and handed on as a value.
struct DecodeFailure {
    DecodeError error;
};

// Reads the members of one JSON object under the keyed rules of the wire records: a required
// member must be present and not null, an optional one may be missing or null, members the
// record does not name are ignored, and every failure names where it happened.
class JsonObjectReader {
public:
    JsonObjectReader(const Json &value, std::string codingPath);

    [[nodiscard]] std::string requiredString(std::string_view member) const;
    [[nodiscard]] bool requiredBool(std::string_view member) const;
    [[nodiscard]] std::optional<std::string> optionalString(std::string_view member) const;
    [[nodiscard]] std::vector<std::string> requiredStringList(std::string_view member) const;

    // Decodes each element with `decodeElement(element, elementPath)`; the first bad element
    // fails the whole list.
    template <typename Element, typename ElementDecoder>
    [[nodiscard]] std::vector<Element> requiredList(std::string_view member,
                                                    ElementDecoder decodeElement) const {
        const Json &list = requiredArray(member);
        std::vector<Element> elements;
        elements.reserve(list.size());
        for (std::size_t index = 0; index < list.size(); ++index) {
            const std::string path = elementPath(member, index);
            try {
                elements.push_back(decodeElement(list[index], path));
            } catch (const DecodeFailure &failure) {
                throw badElement(member, index, failure.error);
            }
        }
        return elements;
    }

private:
    [[nodiscard]] const Json &required(std::string_view member) const;
    [[nodiscard]] const Json &requiredArray(std::string_view member) const;
    [[nodiscard]] std::string memberPath(std::string_view member) const;
    [[nodiscard]] std::string elementPath(std::string_view member, std::size_t index) const;
    [[nodiscard]] DecodeFailure badElement(std::string_view member, std::size_t index,
                                           const DecodeError &cause) const;

    const Json &m_object;
    std::string m_codingPath;
};

[[nodiscard]] DecodeFailure typeMismatch(const std::string &codingPath, std::string_view expected,
                                         const Json &found);

} // namespace Qolvi_Desktop_Agent
