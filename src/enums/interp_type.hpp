// src/enums/interp_type.hpp: the InterpType enumeration
#pragma once

#include "enums/enum_info.hpp"

namespace vantorel {

enum class InterpType : std::uint8_t { Linear, Geometric, CubicSpline, LogCubicSpline };

template <>
struct EnumInfo<InterpType> {
    static constexpr std::string_view name = "InterpType";
    static constexpr std::array<std::string_view, 4> members{"Linear", "Geometric", "CubicSpline", "LogCubicSpline"};
};

}  // namespace vantorel
