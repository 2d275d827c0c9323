#pragma once
#include "platform/Outcome.h"

#include <optional>

namespace zelvo::test {

// An outcome's value, or nullopt when it failed: one comparison checks both.
template <typename T> std::optional<T> ValueOf(const Outcome<T>& outcome)
{
    return outcome.Ok() ? std::optional<T>(outcome.Value()) : std::nullopt;
}

} // namespace zelvo::test
