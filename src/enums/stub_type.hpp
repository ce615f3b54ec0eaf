// src/enums/stub_type.hpp: the StubType enumeration
#pragma once

#include "enums/enum_info.hpp"

namespace vantorel {

enum class StubType : std::uint8_t { FrontShort, FrontLong, BackShort, BackLong, NoStub };

template <>
struct EnumInfo<StubType> {
    static constexpr std::string_view name = "StubType";
    static constexpr std::array<std::string_view, 5> members{"FrontShort", "FrontLong", "BackShort", "BackLong", "NoStub"};
};

}  // namespace vantorel
