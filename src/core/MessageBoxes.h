#pragma once
#include <string>

namespace zelvo {

enum class MessageIcon
{
    Stop,
    Question,
    Exclamation,
    Information
};
enum class MessageButtons
{
    Ok,
    OkCancel,
    YesNo,
    YesNoCancel
};
enum class MessageAnswer
{
    Ok,
    Cancel,
    Yes,
    No
};

// Every message box and question of the tool goes through this one seam. The window
// implementation shows a Qt message box with the tool's caption; tests script the
// answers and read what was shown. UI thread only.
class MessageBoxes
{
public:
    virtual ~MessageBoxes() = default;
    // text is UTF-8 with the catalogue's own line breaks ("\r\n", "\n\r" ...).
    virtual MessageAnswer Show(const std::string& text, MessageIcon icon,
                               MessageButtons buttons) = 0;
};

} // namespace zelvo
