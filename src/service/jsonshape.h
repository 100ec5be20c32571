#pragma once

#include "jsonobjectreader.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Qolvi_Desktop_Agent {

// The parts of a JSON text that a record reads: named members of objects and the elements of
// lists, to any depth. Parsing against a shape builds nothing else, so a body of thousands of
// members the record ignores costs a scan, not a tree.
class JsonShape {
public:
    JsonShape() = default;

    JsonShape &member(std::string_view name, JsonShape shape = {}) {
        m_members.emplace_back(std::string(name), std::move(shape));
        return *this;
    }
    JsonShape &elements(JsonShape shape) {
        m_elements = {std::move(shape)};
        return *this;
    }

    [[nodiscard]] const JsonShape *memberShape(std::string_view name) const {
        for (const auto &[memberName, shape] : m_members) {
            if (memberName == name) {
                return &shape;
            }
        }
        return nullptr;
    }
    [[nodiscard]] const JsonShape *elementShape() const {
        return m_elements.empty() ? nullptr : &m_elements.front();
    }

private:
    std::vector<std::pair<std::string, JsonShape>> m_members;
    std::vector<JsonShape> m_elements; // none or one
};

// Parses JSON text, building only what `shape` names. Every way the text can fail to parse
// (bad syntax, invalid UTF-8, a number beyond the range of a double, ...) throws DecodeFailure
// of kind invalidJson, whether or not the shape names the bad part.
[[nodiscard]] Json parseJson(std::string_view text, const JsonShape &shape);

} // namespace Qolvi_Desktop_Agent
