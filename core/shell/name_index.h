#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

namespace brindle {

// Names to numbers, for the tens of thousands of names of one rename run: a lookup touches
// one small slot and, where its hash matches, the one entry it names, instead of a bucket, a
// node and a key each somewhere else in memory. The names are not copied: whoever holds them
// keeps them until the index goes.
class NameIndex {
public:
    void reserve(std::size_t n) {
        entries_.reserve(n);
        if (n * 2 > slots_.size()) {
            Grow(n * 2);
        }
    }

    // Adds `name` with `value` unless it is there; the value it holds, and whether it is new.
    std::pair<std::size_t, bool> emplace(std::string_view name, std::size_t value) {
        if ((entries_.size() + 1) * 2 > slots_.size()) {
            Grow(std::max<std::size_t>(slots_.size() * 2, 16));
        }
        const std::size_t hash = std::hash<std::string_view>()(name);
        std::size_t at = hash & mask_;
        for (; slots_[at].entry != 0; at = (at + 1) & mask_) {
            const Entry& entry = entries_[slots_[at].entry - 1];
            if (slots_[at].tag == Tag(hash) && entry.name == name) {
                return {entry.value, false};
            }
        }
        entries_.push_back({name, value});
        slots_[at] = {static_cast<std::uint32_t>(entries_.size()), Tag(hash)};
        return {value, true};
    }

    // The value `name` holds; nullptr when it is not there.
    const std::size_t* find(std::string_view name) const {
        if (entries_.empty()) {
            return nullptr;
        }
        const std::size_t hash = std::hash<std::string_view>()(name);
        for (std::size_t at = hash & mask_; slots_[at].entry != 0; at = (at + 1) & mask_) {
            const Entry& entry = entries_[slots_[at].entry - 1];
            if (slots_[at].tag == Tag(hash) && entry.name == name) {
                return &entry.value;
            }
        }
        return nullptr;
    }

    std::size_t size() const { return entries_.size(); }

private:
    struct Entry {
        std::string_view name;
        std::size_t value;
    };
    struct Slot {
        std::uint32_t entry = 0;  // 1 + its place in entries_; 0: free
        std::uint32_t tag = 0;    // the hash's high bits, which the slot's place does not tell
    };

    static std::uint32_t Tag(std::size_t hash) { return static_cast<std::uint32_t>(hash >> 32); }

    void Grow(std::size_t least) {
        std::size_t size = 16;
        while (size < least) {
            size *= 2;
        }
        slots_.assign(size, Slot{});
        mask_ = size - 1;
        for (std::size_t e = 0; e < entries_.size(); ++e) {
            const std::size_t hash = std::hash<std::string_view>()(entries_[e].name);
            std::size_t at = hash & mask_;
            while (slots_[at].entry != 0) {
                at = (at + 1) & mask_;
            }
            slots_[at] = {static_cast<std::uint32_t>(e + 1), Tag(hash)};
        }
    }

    std::vector<Entry> entries_;
    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
};

}  // namespace brindle
