#pragma once
// Small builders of DNS-style messages for the parser tests: they write the bytes the
// way a responder would, so the parsers are tested against independently made input.
#include <cstdint>
#include <string>
#include <vector>

namespace zelvo::test {

class Bytes
{
public:
    Bytes& U8(uint8_t v)
    {
        data.push_back(v);
        return *this;
    }
    Bytes& Be16(uint16_t v) { return U8(static_cast<uint8_t>(v >> 8)).U8(static_cast<uint8_t>(v)); }
    Bytes& Be32(uint32_t v)
    {
        return Be16(static_cast<uint16_t>(v >> 16)).Be16(static_cast<uint16_t>(v));
    }
    Bytes& Raw(const std::string& s)
    {
        data.insert(data.end(), s.begin(), s.end());
        return *this;
    }
    Bytes& Raw(const std::vector<uint8_t>& v)
    {
        data.insert(data.end(), v.begin(), v.end());
        return *this;
    }
    // A dotted name as length-prefixed labels, ending in the root label.
    Bytes& Name(const std::string& dotted)
    {
        std::size_t start = 0;
        while (start < dotted.size()) {
            std::size_t dot = dotted.find('.', start);
            if (dot == std::string::npos)
                dot = dotted.size();
            U8(static_cast<uint8_t>(dot - start)).Raw(dotted.substr(start, dot - start));
            start = dot + 1;
        }
        return U8(0);
    }
    Bytes& Pointer(uint16_t offset) { return Be16(static_cast<uint16_t>(0xC000 | offset)); }
    std::size_t Size() const { return data.size(); }

    std::vector<uint8_t> data;
};

constexpr uint16_t kNodeStatusId = 0x4D2A;

// The wildcard name "*" and 15 NULs, first-level encoded.
inline std::string EncodedWildcard()
{
    return "CK" + std::string(30, 'A');
}

struct NodeName
{
    std::string name; // up to 15 bytes, padded with spaces here
    uint8_t suffix;
    uint16_t flags; // 0x8000: group name
};

struct NodeStatusShape
{
    uint16_t id = kNodeStatusId;
    uint16_t flags = 0x8400; // response, authoritative answer
    uint16_t questions = 0;
    bool ownerAsPointer = false;
    uint16_t type = 0x0021;
    int rdlengthDelta = 0;  // added to the honest RDLENGTH
    int nameCountDelta = 0; // added to the honest NUM_NAMES
    std::size_t statistics = 46;
};

inline std::vector<uint8_t> NodeStatusReply(const std::vector<NodeName>& names,
                                            const NodeStatusShape& s = {})
{
    Bytes b;
    b.Be16(s.id).Be16(s.flags).Be16(s.questions).Be16(1).Be16(0).Be16(0);
    for (uint16_t q = 0; q < s.questions; ++q)
        b.U8(32).Raw(EncodedWildcard()).U8(0).Be16(0x0021).Be16(0x0001);
    if (s.ownerAsPointer)
        b.Pointer(12);
    else
        b.U8(32).Raw(EncodedWildcard()).U8(0);
    const std::size_t rdlength = 1 + names.size() * 18 + s.statistics;
    b.Be16(s.type).Be16(0x0001).Be32(0);
    b.Be16(static_cast<uint16_t>(static_cast<int>(rdlength) + s.rdlengthDelta));
    b.U8(static_cast<uint8_t>(static_cast<int>(names.size()) + s.nameCountDelta));
    for (const NodeName& n : names) {
        std::string padded = n.name;
        padded.resize(15, ' ');
        b.Raw(padded).U8(n.suffix).Be16(n.flags);
    }
    b.Raw(std::vector<uint8_t>(s.statistics, 0x11)); // unit id (MAC) and counters
    return b.data;
}

} // namespace zelvo::test
