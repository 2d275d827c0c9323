#pragma once
#include <string>
#include <vector>

namespace zelvo {

// What the command line turns on.
struct StartSwitches
{
    bool showMask = false;     // "/disip" or "/DISIP": subnet-mask diagnostic boxes
    bool setIpLayout = false;  // "/set" or "/SET": Set IP where Web tool would stand
    bool splashEnabled = true; // off with "/Embedding", "-Automation" ... (any case)
};

// The text after the program name as the tool keeps it: the arguments joined by single
// spaces, cut to the 79 characters of its 80-byte buffer.
std::string CommandLineText(const std::vector<std::string>& argsAfterProgram);

// Switches are found by a case-sensitive substring search in the kept text, in the two
// written forms only ("/SETUP" counts, "/Set" does not); the splash switches are whole
// arguments introduced by '/' or '-', compared without regard to case.
StartSwitches ParseSwitches(const std::vector<std::string>& argsAfterProgram);

} // namespace zelvo
