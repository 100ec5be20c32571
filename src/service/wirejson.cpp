#include "wirejson.h"

namespace Qolvi_Desktop_Agent {

namespace {

template <typename Record>
Json requestToJson(const Record &record) {
    using Keys = typename Record::CodingKeys;
    Json json = Json::object();
    json[Record::codingKeys.stringValue(Keys::AccessKey)] = record.AccessKey;
    json[Record::codingKeys.stringValue(Keys::ProcessNames)] = Json(record.ProcessNames);
    return json;
}

template <typename Record>
Record requestFromJson(const Json &json) {
    using Keys = typename Record::CodingKeys;
    const JsonObjectReader reader(json, {});
    Record record;
    record.AccessKey = reader.requiredString(Record::codingKeys.stringValue(Keys::AccessKey));
    record.ProcessNames =
        reader.requiredStringList(Record::codingKeys.stringValue(Keys::ProcessNames));
    return record;
}

} // namespace

Json toJson(const ValidationError &record) {
    using Keys = ValidationError::CodingKeys;
    Json json = Json::object();
    json[ValidationError::codingKeys.stringValue(Keys::Key)] = record.Key;
    json[ValidationError::codingKeys.stringValue(Keys::Value)] = record.Value;
    return json;
}

Json toJson(const InitAgent &record) {
    return requestToJson(record);
}

Json toJson(const CheckAgent &record) {
    return requestToJson(record);
}

Json responseToJson(const std::vector<ValidationError> &validationErrors, bool hasError,
                    const std::optional<std::string> &message) {
    using Keys = ServiceResponse::CodingKeys;
    constexpr const auto &keys = ServiceResponse::codingKeys;
    Json errors = Json::array();
    for (const ValidationError &error : validationErrors) {
        errors.push_back(toJson(error));
    }
    Json json = Json::object();
    json[keys.stringValue(Keys::ValidationErrors)] = std::move(errors);
    json[keys.stringValue(Keys::HasError)] = hasError;
    if (message) {
        json[keys.stringValue(Keys::Message)] = *message;
    }
    return json;
}

std::string encodeCompact(const Json &json) {
    return json.dump();
}

ValidationError validationErrorFromJson(const Json &json, const std::string &codingPath) {
    using Keys = ValidationError::CodingKeys;
    const JsonObjectReader reader(json, codingPath);
    ValidationError record;
    record.Key = reader.requiredString(ValidationError::codingKeys.stringValue(Keys::Key));
    record.Value = reader.requiredString(ValidationError::codingKeys.stringValue(Keys::Value));
    return record;
}

InitAgent initAgentFromJson(const Json &json) {
    return requestFromJson<InitAgent>(json);
}

CheckAgent checkAgentFromJson(const Json &json) {
    return requestFromJson<CheckAgent>(json);
}

ServiceResponse serviceResponseFromJson(const Json &json) {
    using Keys = ServiceResponse::CodingKeys;
    constexpr const auto &keys = ServiceResponse::codingKeys;
    const JsonObjectReader reader(json, {});
    ServiceResponse record;
    record.ValidationErrors = reader.requiredList<ValidationError>(
        keys.stringValue(Keys::ValidationErrors), validationErrorFromJson);
    record.HasError = reader.requiredBool(keys.stringValue(Keys::HasError));
    record.Message = reader.optionalString(keys.stringValue(Keys::Message));
    return record;
}

const JsonShape &validationErrorShape() {
    using Keys = ValidationError::CodingKeys;
    constexpr const auto &keys = ValidationError::codingKeys;
    static const JsonShape shape =
        JsonShape().member(keys.stringValue(Keys::Key)).member(keys.stringValue(Keys::Value));
    return shape;
}

const JsonShape &requestShape() {
    // Both request records share their member names.
    using Keys = InitAgent::CodingKeys;
    constexpr const auto &keys = InitAgent::codingKeys;
    static const JsonShape shape =
        JsonShape()
            .member(keys.stringValue(Keys::AccessKey))
            .member(keys.stringValue(Keys::ProcessNames), JsonShape().elements({}));
    return shape;
}

const JsonShape &serviceResponseShape() {
    using Keys = ServiceResponse::CodingKeys;
    constexpr const auto &keys = ServiceResponse::codingKeys;
    static const JsonShape shape = JsonShape()
                                       .member(keys.stringValue(Keys::ValidationErrors),
                                               JsonShape().elements(validationErrorShape()))
                                       .member(keys.stringValue(Keys::HasError))
                                       .member(keys.stringValue(Keys::Message));
    return shape;
}

} // namespace Qolvi_Desktop_Agent
