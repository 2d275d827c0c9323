#pragma once
#include "platform/Outcome.h"

#include <optional>

namespace zelvo::test {

// An outcome's value, or nullopt when it failed: one comparison checks both.
template <typename T> std::optional<T> ValueOf(const Outcome<T>& outcome)
{
    return outcome.Ok() ? std::optional<T>(outcome.Value()) : std::nullopt;
}

// What an outcome failed with, for comparing its number and showing its reason in one
// go; Failure{0} when it did not fail.
template <typename T> Failure FailureOf(const Outcome<T>& outcome)
{
    return outcome.Ok() ? Failure{0} : outcome.Error();
}

} // namespace zelvo::test
