#include "core/JsonValue.h"

#include <charconv>
#include <cstdint>

namespace zelvo {
namespace {

class Reader
{
public:
    Reader(std::string_view text, int maxDepth) : m_text(text), m_maxDepth(maxDepth) {}

    std::optional<JsonValue> Document()
    {
        JsonValue value;
        SkipSpace();
        if (!Value(value, 0))
            return std::nullopt;
        SkipSpace();
        if (m_pos != m_text.size())
            return std::nullopt;
        return value;
    }

private:
    void SkipSpace()
    {
        while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t' ||
                                         m_text[m_pos] == '\n' || m_text[m_pos] == '\r'))
            ++m_pos;
    }

    bool Literal(std::string_view word)
    {
        if (m_text.substr(m_pos, word.size()) != word)
            return false;
        m_pos += word.size();
        return true;
    }

    bool Value(JsonValue& out, int depth)
    {
        if (m_pos >= m_text.size() || depth > m_maxDepth)
            return false;
        const char c = m_text[m_pos];
        if (c == '{')
            return Object(out, depth);
        if (c == '[')
            return Array(out, depth);
        if (c == '"') {
            out.kind = JsonValue::Kind::String;
            return String(out.text);
        }
        if (c == 't' || c == 'f') {
            out.kind = JsonValue::Kind::Bool;
            out.boolean = c == 't';
            return Literal(c == 't' ? "true" : "false");
        }
        if (c == 'n') {
            out.kind = JsonValue::Kind::Null;
            return Literal("null");
        }
        return Number(out);
    }

    bool Object(JsonValue& out, int depth)
    {
        out.kind = JsonValue::Kind::Object;
        ++m_pos; // '{'
        SkipSpace();
        if (m_pos < m_text.size() && m_text[m_pos] == '}') {
            ++m_pos;
            return true;
        }
        for (;;) {
            SkipSpace();
            std::string key;
            if (m_pos >= m_text.size() || m_text[m_pos] != '"' || !String(key))
                return false;
            SkipSpace();
            if (m_pos >= m_text.size() || m_text[m_pos] != ':')
                return false;
            ++m_pos;
            SkipSpace();
            JsonValue member;
            if (!Value(member, depth + 1))
                return false;
            out.members.push_back({std::move(key), std::move(member)});
            SkipSpace();
            if (m_pos >= m_text.size())
                return false;
            if (m_text[m_pos] == '}') {
                ++m_pos;
                return true;
            }
            if (m_text[m_pos] != ',')
                return false;
            ++m_pos;
        }
    }

    bool Array(JsonValue& out, int depth)
    {
        out.kind = JsonValue::Kind::Array;
        ++m_pos; // '['
        SkipSpace();
        if (m_pos < m_text.size() && m_text[m_pos] == ']') {
            ++m_pos;
            return true;
        }
        for (;;) {
            SkipSpace();
            JsonValue item;
            if (!Value(item, depth + 1))
                return false;
            out.items.push_back(std::move(item));
            SkipSpace();
            if (m_pos >= m_text.size())
                return false;
            if (m_text[m_pos] == ']') {
                ++m_pos;
                return true;
            }
            if (m_text[m_pos] != ',')
                return false;
            ++m_pos;
        }
    }

    bool Hex4(uint32_t& value)
    {
        if (m_text.size() - m_pos < 4)
            return false;
        value = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = m_text[m_pos++];
            value <<= 4;
            if (c >= '0' && c <= '9')
                value |= static_cast<uint32_t>(c - '0');
            else if (c >= 'a' && c <= 'f')
                value |= static_cast<uint32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                value |= static_cast<uint32_t>(c - 'A' + 10);
            else
                return false;
        }
        return true;
    }

    static void AppendUtf8(std::string& out, uint32_t cp)
    {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xc0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3f));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xe0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
            out += static_cast<char>(0x80 | (cp & 0x3f));
        } else {
            out += static_cast<char>(0xf0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3f));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
            out += static_cast<char>(0x80 | (cp & 0x3f));
        }
    }

    bool String(std::string& out)
    {
        ++m_pos; // opening quote
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos++];
            if (c == '"')
                return true;
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_pos >= m_text.size())
                return false;
            const char e = m_text[m_pos++];
            switch (e) {
            case '"':
            case '\\':
            case '/':
                out += e;
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                uint32_t cp = 0;
                if (!Hex4(cp))
                    return false;
                if (cp >= 0xdc00 && cp <= 0xdfff)
                    return false;
                if (cp >= 0xd800 && cp <= 0xdbff) {
                    uint32_t low = 0;
                    if (!Literal("\\u") || !Hex4(low) || low < 0xdc00 || low > 0xdfff)
                        return false;
                    cp = 0x10000 + ((cp - 0xd800) << 10) + (low - 0xdc00);
                }
                AppendUtf8(out, cp);
                break;
            }
            default:
                return false;
            }
        }
        return false;
    }

    bool Number(JsonValue& out)
    {
        // The grammar first, so that from_chars sees only what JSON allows (no "inf",
        // no leading '+', no hexadecimal).
        const std::size_t start = m_pos;
        auto digits = [this] {
            const std::size_t from = m_pos;
            while (m_pos < m_text.size() && m_text[m_pos] >= '0' && m_text[m_pos] <= '9')
                ++m_pos;
            return m_pos > from;
        };
        if (m_pos < m_text.size() && m_text[m_pos] == '-')
            ++m_pos;
        if (m_pos < m_text.size() && m_text[m_pos] == '0')
            ++m_pos;
        else if (!digits())
            return false;
        if (m_pos < m_text.size() && m_text[m_pos] == '.') {
            ++m_pos;
            if (!digits())
                return false;
        }
        if (m_pos < m_text.size() && (m_text[m_pos] == 'e' || m_text[m_pos] == 'E')) {
            ++m_pos;
            if (m_pos < m_text.size() && (m_text[m_pos] == '+' || m_text[m_pos] == '-'))
                ++m_pos;
            if (!digits())
                return false;
        }
        out.kind = JsonValue::Kind::Number;
        const char* first = m_text.data() + start;
        const char* last = m_text.data() + m_pos;
        const auto [end, error] = std::from_chars(first, last, out.number);
        // Out of range: keep the grammar's verdict, the value is only approximate.
        return end == last || error == std::errc::result_out_of_range;
    }

    std::string_view m_text;
    int m_maxDepth;
    std::size_t m_pos = 0;
};

} // namespace

const JsonValue* JsonValue::Find(std::string_view key) const
{
    if (kind != Kind::Object)
        return nullptr;
    for (const JsonMember& member : members)
        if (member.key == key)
            return &member.value;
    return nullptr;
}

std::string JsonValue::StringAt(std::string_view key) const
{
    const JsonValue* value = Find(key);
    return value && value->IsString() ? value->text : std::string();
}

std::optional<JsonValue> ParseJson(std::string_view text, int maxDepth)
{
    return Reader(text, maxDepth).Document();
}

} // namespace zelvo
