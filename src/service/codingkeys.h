#pragma once

#include <array>
#include <optional>
#include <string_view>
#include <utility>

namespace Qolvi_Desktop_Agent {

// The fixed table between a record's key enumeration and its JSON member names. Member names are
// never derived from field names by a naming rule; they come from this table only.
template <typename Key, std::size_t Count>
class CodingKeyTable {
public:
    using Entry = std::pair<Key, std::string_view>;

    constexpr explicit CodingKeyTable(std::array<Entry, Count> entries)
        : m_entries(entries) {}

    [[nodiscard]] constexpr std::string_view stringValue(Key key) const {
        for (const auto &[candidate, name] : m_entries) {
            if (candidate == key) {
                return name;
            }
        }
        return {};
    }

    // Only a full, case-sensitive match of a member name gives a key.
    [[nodiscard]] constexpr std::optional<Key> fromString(std::string_view text) const {
        for (const auto &[key, name] : m_entries) {
            if (name == text) {
                return key;
            }
        }
        return std::nullopt;
    }

    // Keys have no integer form.
    [[nodiscard]] static constexpr std::optional<Key> fromInt(int /*value*/) {
        return std::nullopt;
    }
    [[nodiscard]] static constexpr std::optional<int> intValue(Key /*key*/) { return std::nullopt; }

    [[nodiscard]] constexpr const std::array<Entry, Count> &entries() const { return m_entries; }

private:
    std::array<Entry, Count> m_entries;
};

} // namespace Qolvi_Desktop_Agent
