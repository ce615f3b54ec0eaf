// src/enums/enum_info.hpp: member names of the native enumerations, as data
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace vantorel {

// Specialised next to each enumeration: the class name and the member names in
// declaration order. A member's code is its position, starting at 0.
template <class E>
struct EnumInfo;

template <class E>
constexpr std::size_t enum_size = EnumInfo<E>::members.size();

template <class E>
constexpr std::uint8_t code_of(E e) noexcept {
    return static_cast<std::uint8_t>(e);
}

}  // namespace vantorel
