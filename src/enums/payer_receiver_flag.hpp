// src/enums/payer_receiver_flag.hpp: the PayerReceiverFlag enumeration
#pragma once

#include "enums/enum_info.hpp"

namespace vantorel {

enum class PayerReceiverFlag : std::uint8_t { Payer, Receiver };

template <>
struct EnumInfo<PayerReceiverFlag> {
    static constexpr std::string_view name = "PayerReceiverFlag";
    static constexpr std::array<std::string_view, 2> members{"Payer", "Receiver"};
};

}  // namespace vantorel
