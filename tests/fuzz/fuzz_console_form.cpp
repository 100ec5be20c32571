// The console form of any bytes: valid UTF-8, in quotes, with nothing raw between them that
// could end the quotes or the line.

#include "service/textualform.h"

#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>

using namespace Qolvi_Desktop_Agent;

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void checkQuoted(std::string_view quoted) {
    check(quoted.size() >= 2 && quoted.front() == '"' && quoted.back() == '"');
    const std::string_view inside = quoted.substr(1, quoted.size() - 2);
    for (std::size_t i = 0; i < inside.size(); ++i) {
        const auto byte = static_cast<unsigned char>(inside[i]);
        if (byte == '\\') {
            check(i + 1 < inside.size());
            const char escaped = inside[++i];
            check(std::string_view("\"'\\0tnru").find(escaped) != std::string_view::npos);
            continue;
        }
        check(byte != '"' && byte != '\'' && byte >= 0x20 && byte != 0x7F);
        // The C1 controls, U+0080 to U+009F, are escaped too.
        check(!(byte == 0xC2 && i + 1 < inside.size() &&
                static_cast<unsigned char>(inside[i + 1]) <= 0x9F));
    }
    // Throws, and so fails the run, on invalid UTF-8.
    static_cast<void>(nlohmann::json(std::string(quoted)).dump());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    checkQuoted(quotedText(text));
    const std::string form = textualForm(CheckAgent{text, {text, "x"}});
    check(form.starts_with("CheckAgent(AccessKey: \"") && form.ends_with("\"x\"])"));
    static_cast<void>(nlohmann::json(form).dump());
    return 0;
}
