#pragma once

#include "agentrecords.h"
#include "apiresponse.h"
#include "decodeerror.h"
#include "jsonobjectreader.h"
#include "jsonshape.h"
#include "validationerror.h"

#include <string>
#include <string_view>

namespace Qolvi_Desktop_Agent {

// Encoding writes members in declaration order under the names of each record's CodingKeys.
[[nodiscard]] Json toJson(const ValidationError &record);
[[nodiscard]] Json toJson(const InitAgent &record);
[[nodiscard]] Json toJson(const CheckAgent &record);
[[nodiscard]] Json responseToJson(const std::vector<ValidationError> &validationErrors,
                                  bool hasError, const std::optional<std::string> &message);

template <typename Payload>
[[nodiscard]] Json toJson(const ApiResponse<Payload> &record) {
    return responseToJson(record.ValidationErrors, record.HasError, record.Message);
}

// Compact UTF-8 JSON text; throws nlohmann::json::exception when a text is not valid UTF-8.
[[nodiscard]] std::string encodeCompact(const Json &json);

// Decoding: one function per record, reading an already parsed JSON value. They throw
// DecodeFailure; decode<Record>() below turns that into a value.
[[nodiscard]] ValidationError validationErrorFromJson(const Json &json,
                                                      const std::string &codingPath = {});
[[nodiscard]] InitAgent initAgentFromJson(const Json &json);
[[nodiscard]] CheckAgent checkAgentFromJson(const Json &json);
[[nodiscard]] ServiceResponse serviceResponseFromJson(const Json &json);

// What each record reads of its JSON; the parser keeps nothing else.
[[nodiscard]] const JsonShape &validationErrorShape();
[[nodiscard]] const JsonShape &requestShape();
[[nodiscard]] const JsonShape &serviceResponseShape();

template <typename Record>
struct JsonDecoder;

template <>
struct JsonDecoder<ValidationError> {
    static const JsonShape &shape() { return validationErrorShape(); }
    static ValidationError fromJson(const Json &json) { return validationErrorFromJson(json); }
};
template <>
struct JsonDecoder<InitAgent> {
    static const JsonShape &shape() { return requestShape(); }
    static InitAgent fromJson(const Json &json) { return initAgentFromJson(json); }
};
template <>
struct JsonDecoder<CheckAgent> {
    static const JsonShape &shape() { return requestShape(); }
    static CheckAgent fromJson(const Json &json) { return checkAgentFromJson(json); }
};
template <typename Payload>
struct JsonDecoder<ApiResponse<Payload>> {
    static const JsonShape &shape() { return serviceResponseShape(); }
    static ApiResponse<Payload> fromJson(const Json &json) {
        ServiceResponse fields = serviceResponseFromJson(json);
        return {std::move(fields.ValidationErrors), fields.HasError, std::move(fields.Message)};
    }
};

// Parses JSON text and decodes one record from it: the record, or the first error met. Total:
// whatever the bytes, the result is a value and nothing is thrown.
template <typename Record>
[[nodiscard]] Decoded<Record> decode(std::string_view text) noexcept {
    try {
        return JsonDecoder<Record>::fromJson(parseJson(text, JsonDecoder<Record>::shape()));
    } catch (const DecodeFailure &failure) {
        return failure.error;
    } catch (const std::exception &error) {
        return DecodeError{DecodeErrorKind::invalidJson, {}, error.what()};
    }
}

} // namespace Qolvi_Desktop_Agent
