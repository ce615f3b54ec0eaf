// src/enums/tenor_unit.hpp: the TenorUnit enumeration
#pragma once

#include "enums/enum_info.hpp"

namespace vantorel {

enum class TenorUnit : std::uint8_t { D, B, W, M, Y };

template <>
struct EnumInfo<TenorUnit> {
    static constexpr std::string_view name = "TenorUnit";
    static constexpr std::array<std::string_view, 5> members{"D", "B", "W", "M", "Y"};
};

}  // namespace vantorel
