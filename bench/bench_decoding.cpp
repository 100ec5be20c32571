// Decoding an answer body on the main thread, for bodies the session lets through (up to
// 1 MiB): the window must not freeze whatever the service sends. Each body is compared with
// the plain accepted answer in the same run.

#include "service/wirejson.h"

#include <benchmark/benchmark.h>
#include <string>

using namespace Qolvi_Desktop_Agent;

namespace {

constexpr std::size_t limit = std::size_t{1} << 20;

std::string accepted() {
    return R"({"validationErrors":[],"hasError":false})";
}

// Distinct members the record ignores, beside the ones it reads.
std::string manyMembers() {
    std::string body = R"({"validationErrors":[],"hasError":false)";
    for (int i = 0; body.size() < limit - 32; ++i) {
        body += ",\"m" + std::to_string(i) + "\":" + std::to_string(i);
    }
    return body + "}";
}

// Arrays nested as deep as the limit allows, in a member the record ignores.
std::string deepNesting() {
    const std::size_t depth = (limit - 64) / 2;
    return R"({"validationErrors":[],"hasError":false,"x":)" + std::string(depth, '[') +
           std::string(depth, ']') + "}";
}

// One message as long as the limit allows.
std::string longMessage() {
    const std::string start = R"({"validationErrors":[],"hasError":true,"message":")";
    return start + std::string(limit - start.size() - 2, 'a') + "\"}";
}

// As many validation errors as fit.
std::string manyValidationErrors() {
    std::string body = R"({"hasError":true,"validationErrors":[)";
    for (int i = 0; body.size() < limit - 64; ++i) {
        body.append(i == 0 ? "" : ",").append(R"({"key":"k)");
        body.append(std::to_string(i)).append(R"(","value":"v"})");
    }
    return body + "]}";
}

void decodeBody(benchmark::State &state, const std::string &body) {
    for (auto _ : state) {
        auto decoded = decode<ServiceResponse>(body);
        benchmark::DoNotOptimize(decoded);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(body.size()));
    state.counters["bytes"] = double(body.size());
}

} // namespace

BENCHMARK_CAPTURE(decodeBody, accepted, accepted())->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(decodeBody, manyMembers, manyMembers())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decodeBody, deepNesting, deepNesting())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decodeBody, longMessage, longMessage())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decodeBody, manyValidationErrors, manyValidationErrors())
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
