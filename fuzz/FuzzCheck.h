#pragma once
// What every fuzz target shares: a check that turns a broken promise of a parser into a
// crash libFuzzer keeps as a finding, and a reader that cuts the input into the small
// parameters a target needs before the bytes under test.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#define ZELVO_FUZZ_CHECK(condition)                                                                \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: broken promise: %s\n", __FILE__, __LINE__, #condition);   \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

namespace zelvo::fuzz {

// Takes parameters off the front of the input; a short input gives zeros.
class InputReader
{
public:
    InputReader(const uint8_t* data, std::size_t size) : m_bytes(data, size) {}

    uint8_t U8()
    {
        if (m_bytes.empty())
            return 0;
        const uint8_t v = m_bytes[0];
        m_bytes = m_bytes.subspan(1);
        return v;
    }
    uint16_t Be16() { return static_cast<uint16_t>((U8() << 8) | U8()); }
    std::span<const uint8_t> Rest() const { return m_bytes; }

private:
    std::span<const uint8_t> m_bytes;
};

} // namespace zelvo::fuzz
