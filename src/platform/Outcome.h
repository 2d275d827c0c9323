#pragma once
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace zelvo {

// Why a step failed: an errno value (for an FTP step, its result number, kFtp*) and, for
// the log, the reason the layer below gave, when it gave one.
struct Failure
{
    explicit Failure(int code, std::string reason = {}) : code(code), reason(std::move(reason)) {}
    int code;
    std::string reason;
};

// What a step that can fail gives back: its value, or why it failed. A failure is a value
// like any other; nothing here throws. Value() only when Ok(), Error() only when not.
template <typename T> class [[nodiscard]] Outcome
{
public:
    Outcome() = default; // holds T{}
    Outcome(T value) : m_held(std::in_place_index<0>, std::move(value)) {}
    Outcome(Failure failure) : m_held(std::in_place_index<1>, std::move(failure)) {}

    bool Ok() const { return m_held.index() == 0; }
    T& Value() { return *std::get_if<0>(&m_held); }
    const T& Value() const { return *std::get_if<0>(&m_held); }
    T ValueOr(T otherwise) const { return Ok() ? Value() : otherwise; }
    const Failure& Error() const { return *std::get_if<1>(&m_held); }
    // The failure's number; 0 when Ok.
    int Code() const { return Ok() ? 0 : Error().code; }

private:
    std::variant<T, Failure> m_held;
};

template <> class [[nodiscard]] Outcome<void>
{
public:
    Outcome() = default;
    Outcome(Failure failure) : m_failure(std::move(failure)) {}

    bool Ok() const { return !m_failure; }
    const Failure& Error() const { return *m_failure; }
    int Code() const { return m_failure ? m_failure->code : 0; }

private:
    std::optional<Failure> m_failure;
};

} // namespace zelvo
