// The body of an answer as the flows decode it, and a request body as the local exam service
// decodes it: always a record or a decoding error, and a record re-encodes to itself.

#include "service/wirejson.h"

#include <cstdint>
#include <cstdlib>

using namespace Qolvi_Desktop_Agent;

namespace {

template <typename Record>
void decodesTotallyAndRoundTrips(std::string_view text) {
    const Decoded<Record> decoded = decode<Record>(text);
    const auto *record = std::get_if<Record>(&decoded);
    if (record == nullptr) {
        return;
    }
    const Decoded<Record> again = decode<Record>(encodeCompact(toJson(*record)));
    const auto *same = std::get_if<Record>(&again);
    if (same == nullptr || !(*same == *record)) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    decodesTotallyAndRoundTrips<ServiceResponse>(text);
    decodesTotallyAndRoundTrips<InitAgent>(text);
    decodesTotallyAndRoundTrips<CheckAgent>(text);
    return 0;
}
