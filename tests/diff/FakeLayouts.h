#pragma once
// Record layouts a diff test makes up: a map from record id to its fields,
// where an id not in the map has no known layout.
#include "diff/Differences.h"

#include <cstdint>
#include <map>

namespace difftest {

class FakeLayouts : public diff::Layouts {
public:
    std::map<std::uint32_t, diff::RecordLayout> layouts;
    diff::RecordLayout layoutOf(std::uint32_t id) const override
    {
        auto it = layouts.find(id);
        return it == layouts.end() ? diff::RecordLayout{} : it->second;
    }
};

} // namespace difftest
