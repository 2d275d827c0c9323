#pragma once
// Builders of DNS-style messages for the parser tests, written the way a responder writes
// them, so that the parsers are checked against independently made bytes.
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace zelvo::test {

struct Bytes
{
    std::vector<uint8_t> data;

    Bytes& U8(uint8_t v) { return data.push_back(v), *this; }
    Bytes& Be16(uint16_t v) { return U8(static_cast<uint8_t>(v >> 8)).U8(static_cast<uint8_t>(v)); }
    Bytes& Be32(uint32_t v)
    {
        return Be16(static_cast<uint16_t>(v >> 16)).Be16(static_cast<uint16_t>(v));
    }
    Bytes& Raw(const std::string& s) { return data.insert(data.end(), s.begin(), s.end()), *this; }
    Bytes& Pointer(uint16_t offset) { return Be16(static_cast<uint16_t>(0xC000 | offset)); }
    // A dotted name as length-prefixed labels and the root label.
    Bytes& Name(const std::string& dotted)
    {
        for (std::size_t start = 0; start < dotted.size();) {
            const std::size_t dot = std::min(dotted.find('.', start), dotted.size());
            U8(static_cast<uint8_t>(dot - start)).Raw(dotted.substr(start, dot - start));
            start = dot + 1;
        }
        return U8(0);
    }
};

// "*" and 15 NULs, first-level encoded: the node status question's name.
inline const std::string kEncodedWildcard = "CK" + std::string(30, 'A');

struct NodeName
{
    std::string name; // padded with spaces to 15 bytes
    uint8_t suffix;
    uint16_t flags; // 0x8000: group name
};

struct NodeStatusShape
{
    uint16_t id = 0x4D2A;
    uint16_t flags = 0x8400;         // response, authoritative
    bool questionAndPointer = false; // repeat the question; the answer's name points at it
    uint16_t type = 0x0021;
    int rdlengthDelta = 0;
    int nameCountDelta = 0;
    std::size_t statistics = 46;
};

inline std::vector<uint8_t> NodeStatusReply(const std::vector<NodeName>& names,
                                            const NodeStatusShape& s = {})
{
    Bytes b;
    b.Be16(s.id).Be16(s.flags).Be16(s.questionAndPointer ? 1 : 0).Be16(1).Be16(0).Be16(0);
    if (s.questionAndPointer)
        b.U8(32).Raw(kEncodedWildcard).U8(0).Be16(0x21).Be16(1).Pointer(12);
    else
        b.U8(32).Raw(kEncodedWildcard).U8(0);
    b.Be16(s.type).Be16(1).Be32(0);
    b.Be16(static_cast<uint16_t>(1 + names.size() * 18 + s.statistics + s.rdlengthDelta));
    b.U8(static_cast<uint8_t>(names.size() + s.nameCountDelta));
    for (const NodeName& n : names)
        b.Raw((n.name + std::string(15, ' ')).substr(0, 15)).U8(n.suffix).Be16(n.flags);
    b.Raw(std::string(s.statistics, '\x11'));
    return b.data;
}

// Feeds check with many randomly damaged (changed and cut) copies of a valid message.
inline void ForEachMangled(const std::vector<uint8_t>& valid,
                           const std::function<void(const std::vector<uint8_t>&)>& check)
{
    std::mt19937 random(20240601);
    for (int round = 0; round < 20000; ++round) {
        std::vector<uint8_t> m = valid;
        for (int f = 1 + static_cast<int>(random() % 4); f > 0; --f)
            m[random() % m.size()] = static_cast<uint8_t>(random());
        if (random() % 3 == 0)
            m.resize(random() % m.size());
        check(m);
    }
}

} // namespace zelvo::test
