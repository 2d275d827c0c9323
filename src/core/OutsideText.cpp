#include "core/OutsideText.h"

namespace zelvo {

std::string EscapedOutsideText(std::string_view text, OutsideTextUse use, std::size_t maxBytes)
{
    static constexpr char kHex[] = "0123456789abcdef";
    const bool name = use == OutsideTextUse::Name;
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const bool control = byte < 0x20 || byte == 0x7f;
        const bool lineEnd = byte == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
        const bool lineFeed = byte == '\n' && i > 0 && text[i - 1] == '\r';
        bool kept;
        if (name)
            kept = !control && byte < 0x80;
        else
            kept = !control || byte == '\t' || lineEnd || lineFeed;
        char piece[4];
        std::size_t length = 0;
        if (name && byte == '\\') {
            piece[length++] = '\\';
            piece[length++] = '\\';
        } else if (kept) {
            piece[length++] = text[i];
        } else {
            piece[length++] = '\\';
            piece[length++] = 'x';
            piece[length++] = kHex[byte >> 4];
            piece[length++] = kHex[byte & 0x0f];
        }
        if (out.size() + length > maxBytes)
            break;
        out.append(piece, length);
    }
    return out;
}

} // namespace zelvo
