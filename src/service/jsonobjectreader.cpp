#include "jsonobjectreader.h"

#include <utility>

namespace Qolvi_Desktop_Agent {

namespace {

std::string describePath(const std::string &codingPath) {
    return codingPath.empty() ? std::string("the top-level value") : "\"" + codingPath + "\"";
}

} // namespace

DecodeFailure typeMismatch(const std::string &codingPath, std::string_view expected,
                           const Json &found) {
    return {{DecodeErrorKind::typeMismatch, codingPath,
             "Expected " + std::string(expected) + " at " + describePath(codingPath) +
                 " but found " + found.type_name() + "."}};
}

JsonObjectReader::JsonObjectReader(const Json &value, std::string codingPath)
    : m_object(value)
    , m_codingPath(std::move(codingPath)) {
    if (!m_object.is_object()) {
        throw DecodeFailure{{DecodeErrorKind::notAnObject, m_codingPath,
                             "Expected an object at " + describePath(m_codingPath) + " but found " +
                                 m_object.type_name() + "."}};
    }
}

const Json &JsonObjectReader::required(std::string_view member) const {
    const auto found = m_object.find(member);
    if (found == m_object.end()) {
        throw DecodeFailure{{DecodeErrorKind::keyNotFound, memberPath(member),
                             "No value associated with key \"" + std::string(member) + "\"."}};
    }
    if (found->is_null()) {
        throw DecodeFailure{
            {DecodeErrorKind::valueNotFound, memberPath(member),
             "Expected a value for key \"" + std::string(member) + "\" but found null."}};
    }
    return *found;
}

const Json &JsonObjectReader::requiredArray(std::string_view member) const {
    const Json &value = required(member);
    if (!value.is_array()) {
        throw typeMismatch(memberPath(member), "an array", value);
    }
    return value;
}

std::string JsonObjectReader::requiredString(std::string_view member) const {
    const Json &value = required(member);
    if (!value.is_string()) {
        throw typeMismatch(memberPath(member), "a string", value);
    }
    return value.get<std::string>();
}

bool JsonObjectReader::requiredBool(std::string_view member) const {
    const Json &value = required(member);
    if (!value.is_boolean()) {
        throw typeMismatch(memberPath(member), "a boolean", value);
    }
    return value.get<bool>();
}

std::optional<std::string> JsonObjectReader::optionalString(std::string_view member) const {
    const auto found = m_object.find(member);
    if (found == m_object.end() || found->is_null()) {
        return std::nullopt;
    }
    if (!found->is_string()) {
        throw typeMismatch(memberPath(member), "a string", *found);
    }
    return found->get<std::string>();
}

std::vector<std::string> JsonObjectReader::requiredStringList(std::string_view member) const {
    return requiredList<std::string>(member, [](const Json &element, const std::string &path) {
        if (!element.is_string()) {
            throw typeMismatch(path, "a string", element);
        }
        return element.get<std::string>();
    });
}

std::string JsonObjectReader::memberPath(std::string_view member) const {
    return m_codingPath.empty() ? std::string(member) : m_codingPath + "." + std::string(member);
}

std::string JsonObjectReader::elementPath(std::string_view member, std::size_t index) const {
    return memberPath(member) + "[" + std::to_string(index) + "]";
}

DecodeFailure JsonObjectReader::badElement(std::string_view member, std::size_t index,
                                           const DecodeError &cause) const {
    return {{DecodeErrorKind::badElement, cause.codingPath,
             "Element " + std::to_string(index) + " of \"" + memberPath(member) +
                 "\" is invalid: " + cause.description}};
}

} // namespace Qolvi_Desktop_Agent
