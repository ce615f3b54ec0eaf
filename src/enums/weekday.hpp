// src/enums/weekday.hpp: the Weekday enumeration
#pragma once

#include "enums/enum_info.hpp"

namespace vantorel {

enum class Weekday : std::uint8_t { Monday, Tuesday, Wednesday, Thursday, Friday, Saturday, Sunday };

template <>
struct EnumInfo<Weekday> {
    static constexpr std::string_view name = "Weekday";
    static constexpr std::array<std::string_view, 7> members{"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};
};

}  // namespace vantorel
