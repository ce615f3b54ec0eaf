// src/enums/put_call_flag.hpp: the PutCallFlag enumeration
#pragma once

#include "enums/enum_info.hpp"

namespace vantorel {

enum class PutCallFlag : std::uint8_t { Put, Call };

template <>
struct EnumInfo<PutCallFlag> {
    static constexpr std::string_view name = "PutCallFlag";
    static constexpr std::array<std::string_view, 2> members{"Put", "Call"};
};

// +1.0 for a call, -1.0 for a put. Any code other than Put counts as a call.
constexpr double sign(PutCallFlag flag) noexcept {
    return flag == PutCallFlag::Put ? -1.0 : 1.0;
}

}  // namespace vantorel
