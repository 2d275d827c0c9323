#pragma once
#include <string>

namespace zelvo {

// The tool's numbered messages, 101 to 178. Each number names one text in one
// language; a message is a pair (Japanese number, English number) and the language
// of the run picks one of them. Texts are UTF-8, the code page of a Linux desktop,
// and keep every byte of their line breaks ("\n\r" included).
class MessageCatalogue
{
public:
    // The text of one number, or nullptr for a number the tool does not use.
    static const char* Text(int id);
    // The Japanese text when language is 411, the English one otherwise. An unknown
    // number gives an empty text.
    static std::string Choose(int language, int japaneseId, int englishId);
};

} // namespace zelvo
