// src/enums/extrap_type.hpp: the ExtrapType enumeration
#pragma once

#include "enums/enum_info.hpp"

namespace vantorel {

enum class ExtrapType : std::uint8_t { Auto, Flat, Disabled };

template <>
struct EnumInfo<ExtrapType> {
    static constexpr std::string_view name = "ExtrapType";
    static constexpr std::array<std::string_view, 3> members{"Auto", "Flat", "Disabled"};
};

}  // namespace vantorel
