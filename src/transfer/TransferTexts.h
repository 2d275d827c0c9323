#pragma once
#include <string>

namespace zelvo {

// The transfer commands' messages that carry a value (a path, a name, a code), in the
// language of the run; the plain questions come from the message catalogue.
namespace transfer_texts {

std::string BackupSavedAt(int language, const std::string& localPath);
std::string BackupDone(int language, const std::string& localPath);
std::string BackupTimedOut(int language);
std::string BackupFailed(int language, int code);

// The floppy question, or the removable-drive question naming the mount point.
std::string FloppyQuestion(int language);
std::string RemovableQuestion(int language, const std::string& mountPoint);

std::string WrongConfigFile(int language, const std::string& chosen, const std::string& expected);
std::string RestoreTimedOut(int language);
std::string RestoreFailed(int language, int code);

std::string WrongFirmwareFile(int language, const std::string& chosen);
std::string FirmwareTimedOut(int language);
std::string FirmwareFailed(int language, int code);

// A path or name that does not fit the 260-byte buffers, refused.
std::string PathTooLong(int language, const std::string& path);
// manager.ini names no directory for a transfer.
std::string NoDirectoryName(int language);

} // namespace transfer_texts
} // namespace zelvo
