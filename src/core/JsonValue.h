#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelvo {

struct JsonMember;

// One value of a JSON document (RFC 8259), as the tool reads other programs' JSON
// output (nft -j). Objects keep their members in document order; a repeated key keeps
// every occurrence and Find returns the first.
struct JsonValue
{
    enum class Kind
    {
        Null,
        Bool,
        Number,
        String,
        Array,
        Object,
    };
    Kind kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string text; // a string's UTF-8 bytes, escapes resolved
    std::vector<JsonValue> items;
    std::vector<JsonMember> members; // an object's, in document order

    bool IsNull() const { return kind == Kind::Null; }
    bool IsString() const { return kind == Kind::String; }
    bool IsNumber() const { return kind == Kind::Number; }
    bool IsArray() const { return kind == Kind::Array; }
    bool IsObject() const { return kind == Kind::Object; }
    // The member named key of an object; nullptr for another kind or a missing key.
    const JsonValue* Find(std::string_view key) const;
    // The member's text when it is a string; empty otherwise.
    std::string StringAt(std::string_view key) const;
};

struct JsonMember
{
    std::string key;
    JsonValue value;
};

// Parses a whole document (surrounding white space allowed). nullopt for anything that is
// not exactly one JSON value, for nesting deeper than maxDepth, and for a \u escape that
// names a lone surrogate.
std::optional<JsonValue> ParseJson(std::string_view text, int maxDepth = 64);

} // namespace zelvo
