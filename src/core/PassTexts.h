#pragma once
#include <string>

namespace zelvo {

// What one progress pass shows: the message line (may end in a line feed, the popup
// reserves two lines) and the popup's caption.
struct PassTexts
{
    std::string message;
    std::string caption;
};

// Texts of RunProgressPass by kind (ProgressKind); an unknown kind gets a generic
// "please wait" text.
PassTexts ProgressPassTexts(int language, int kind);

// Texts of RunTimedPass: phase 0 while the responder waits for a unit without an
// address, any other phase while it gives one an address.
PassTexts TimedPassTexts(int language, int phase);

// Texts of RunSearchPass: its caption is the tool's title that the main window keeps.
PassTexts SearchPassTexts(int language, const std::string& title);

// Texts of RunRetrievePass.
PassTexts RetrievePassTexts(int language);

} // namespace zelvo
