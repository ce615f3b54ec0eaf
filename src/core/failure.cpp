// src/core/failure.cpp: the core's fatal exception
#include "core/failure.hpp"

#include <utility>

namespace vantorel {

Failure::Failure(std::string text, std::source_location where)
    : std::runtime_error(std::move(text)), where_(where) {}

void fail(std::string text, std::source_location where) {
    throw Failure(std::move(text), where);
}

}  // namespace vantorel
