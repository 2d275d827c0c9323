#include "platform/NetbiosNodeStatus.h"

#include "platform/DnsWireName.h"

namespace zelvo {

namespace {
constexpr std::size_t kHeaderSize = 12;
constexpr uint16_t kTypeNbstat = 0x0021;
constexpr uint16_t kClassIn = 0x0001;
constexpr uint16_t kFlagResponse = 0x8000;
constexpr uint16_t kOpcodeMask = 0x7800;
constexpr uint16_t kRcodeMask = 0x000F;
constexpr std::size_t kNodeNameEntrySize = 18; // 15 name bytes, suffix, 16-bit flags
constexpr std::size_t kNameBytes = 15;
constexpr uint16_t kGroupNameFlag = 0x8000;
constexpr uint8_t kWorkstationSuffix = 0x00;

void PutBe16(uint8_t* at, uint16_t value)
{
    at[0] = static_cast<uint8_t>(value >> 8);
    at[1] = static_cast<uint8_t>(value);
}
} // namespace

std::array<uint8_t, kNodeStatusRequestSize> BuildNodeStatusRequest(uint16_t transactionId)
{
    std::array<uint8_t, kNodeStatusRequestSize> m{};
    PutBe16(&m[0], transactionId);
    PutBe16(&m[2], 0x0000); // query, not recursive, not broadcast
    PutBe16(&m[4], 1);      // one question, no other records
    // First-level encoding: every byte of the 16-byte name becomes two letters 'A' + nibble.
    m[12] = 32;
    uint8_t name[16] = {'*'};
    for (std::size_t i = 0; i < 16; ++i) {
        m[13 + 2 * i] = static_cast<uint8_t>('A' + (name[i] >> 4));
        m[14 + 2 * i] = static_cast<uint8_t>('A' + (name[i] & 0x0F));
    }
    m[45] = 0; // no scope
    PutBe16(&m[46], kTypeNbstat);
    PutBe16(&m[48], kClassIn);
    return m;
}

std::optional<std::string> ParseNodeStatusReply(std::span<const uint8_t> reply,
                                                uint16_t transactionId)
{
    if (reply.size() < kHeaderSize)
        return std::nullopt;
    const uint16_t flags = ReadBe16(reply, 2);
    if (ReadBe16(reply, 0) != transactionId || (flags & kFlagResponse) == 0 ||
        (flags & kOpcodeMask) != 0 || (flags & kRcodeMask) != 0)
        return std::nullopt;
    const uint16_t questions = ReadBe16(reply, 4);
    const uint16_t answers = ReadBe16(reply, 6);
    if (answers == 0)
        return std::nullopt;

    const auto afterQuestions = SkipQuestions(reply, kHeaderSize, questions);
    if (!afterQuestions)
        return std::nullopt;
    std::size_t at = *afterQuestions;
    // Only the first answer is looked at: a node status reply carries exactly one.
    const auto owner = ReadWireName(reply, at);
    if (!owner || owner->next + 10 > reply.size())
        return std::nullopt;
    at = owner->next;
    if (ReadBe16(reply, at) != kTypeNbstat || ReadBe16(reply, at + 2) != kClassIn)
        return std::nullopt;
    const std::size_t dataLength = ReadBe16(reply, at + 8);
    at += 10;
    if (dataLength < 1 || at + dataLength > reply.size())
        return std::nullopt;
    const std::size_t nameCount = reply[at];
    if (1 + nameCount * kNodeNameEntrySize > dataLength)
        return std::nullopt;

    for (std::size_t i = 0; i < nameCount; ++i) {
        const std::size_t entry = at + 1 + i * kNodeNameEntrySize;
        const uint8_t suffix = reply[entry + kNameBytes];
        const uint16_t nameFlags = ReadBe16(reply, entry + kNameBytes + 1);
        if (suffix != kWorkstationSuffix || (nameFlags & kGroupNameFlag) != 0)
            continue;
        std::size_t length = kNameBytes;
        while (length > 0 && (reply[entry + length - 1] == ' ' || reply[entry + length - 1] == 0))
            --length;
        if (length == 0)
            return std::nullopt;
        for (std::size_t k = 0; k < length; ++k)
            if (reply[entry + k] < 0x20 || reply[entry + k] == 0x7F)
                return std::nullopt;
        return std::string(reinterpret_cast<const char*>(reply.data() + entry), length);
    }
    return std::nullopt;
}

} // namespace zelvo
