#include "examservice.h"

#include "service/wirejson.h"

#include <utility>

namespace Qolvi_Desktop_Agent::tools {

namespace {

std::string refusal(const std::string &key, const std::string &value, const std::string &message) {
    return encodeCompact(toJson(ServiceResponse{{{key, value}}, true, message}));
}

} // namespace

ExamService::ExamService(std::set<std::string> acceptedKeys,
                         std::set<std::string> deniedApplications)
    : m_acceptedKeys(std::move(acceptedKeys))
    , m_deniedApplications(std::move(deniedApplications)) {}

ExamService::Reply ExamService::initDesktop(std::string_view body) const {
    return answer<InitAgent>(body, "This exam key is not valid for any exam.");
}

ExamService::Reply ExamService::checkApplication(std::string_view body) const {
    return answer<CheckAgent>(body, "This exam key is not valid; enter it again.");
}

template <typename Record>
ExamService::Reply ExamService::answer(std::string_view body,
                                       std::string_view refusedKeyMessage) const {
    const Decoded<Record> decoded = decode<Record>(body);
    if (const auto *error = std::get_if<DecodeError>(&decoded)) {
        return {400, R"({"error":"bad request"})", "bad request: " + error->description};
    }
    const Record &record = std::get<Record>(decoded);
    const std::string applications = std::to_string(record.ProcessNames.size()) + " applications";
    if (!m_acceptedKeys.contains(record.AccessKey)) {
        return {200, refusal("accessKey", "Unknown exam key", std::string(refusedKeyMessage)),
                "refused key, " + applications};
    }
    for (const std::string &application : record.ProcessNames) {
        if (m_deniedApplications.contains(application)) {
            return {200,
                    refusal("processNames", application + " is not allowed",
                            "Close " + application + ": it is not allowed during the exam."),
                    "refused " + application + ", " + applications};
        }
    }
    return {200, encodeCompact(toJson(ServiceResponse{{}, false, std::nullopt})),
            "accepted, " + applications};
}

} // namespace Qolvi_Desktop_Agent::tools
