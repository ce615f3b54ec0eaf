// src/core/failure.hpp: the one exception the native core throws, for fatal conditions
#pragma once

#include <source_location>
#include <stdexcept>
#include <string>

namespace vantorel {

// A condition the core treats as impossible or unsupported ("not implemented",
// a date out of range, ...). Ordinary invalid input is reported through
// std::expected instead; nothing else in the core throws on purpose.
class Failure : public std::runtime_error {
public:
    explicit Failure(std::string text,
                     std::source_location where = std::source_location::current());

    [[nodiscard]] const std::source_location& where() const noexcept { return where_; }

private:
    std::source_location where_;
};

// Throws Failure(text) at the caller's position.
[[noreturn]] void fail(std::string text,
                       std::source_location where = std::source_location::current());

}  // namespace vantorel
