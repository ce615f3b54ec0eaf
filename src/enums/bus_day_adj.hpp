// src/enums/bus_day_adj.hpp: the BusDayAdj enumeration
#pragma once

#include "enums/enum_info.hpp"

namespace vantorel {

enum class BusDayAdj : std::uint8_t { Unadjusted, Preceding, Following, ModFollowing };

template <>
struct EnumInfo<BusDayAdj> {
    static constexpr std::string_view name = "BusDayAdj";
    static constexpr std::array<std::string_view, 4> members{"Unadjusted", "Preceding", "Following", "ModFollowing"};
};

}  // namespace vantorel
