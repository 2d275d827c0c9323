#include "transfer/TransferTexts.h"

#include "core/MessageCatalogue.h"
#include "core/UiLanguage.h"
#include "transfer/FileNameRules.h"

#include <cstdio>
#include <vector>

namespace zelvo::transfer_texts {
namespace {

// printf into a buffer that always holds the whole text: the values are paths of at
// most 259 bytes, which the commands have checked.
template <typename... Args> std::string Format(const char* format, Args... args)
{
    const int length = std::snprintf(nullptr, 0, format, args...);
    if (length <= 0)
        return {};
    std::vector<char> text(static_cast<std::size_t>(length) + 1);
    std::snprintf(text.data(), text.size(), format, args...);
    return std::string(text.data(), static_cast<std::size_t>(length));
}

} // namespace

std::string BackupSavedAt(int language, const std::string& localPath)
{
    return Format(IsJapanese(language) ? "構成情報ファイルは以下の場所に保存されます。\r\n%s\n"
                                       : "Organization File will be saved at follow.\r\n%s\n",
                  localPath.c_str());
}

std::string BackupDone(int language, const std::string& localPath)
{
    return Format(
        IsJapanese(language)
            ? "ダウンロードに成功しました\r\n\r\nファイルの保存場所 : \r\n\r\n%s"
            : "VELDIX Organization info. Downloading completed successfully. \r\nSave on file : %s",
        localPath.c_str());
}

std::string BackupTimedOut(int language)
{
    return IsJapanese(language)
               ? "ダウンロードを開始しましたが、タイムアウトとなりました。\r\n\r\n再度、構成情報のダウンロードをおこなってみてください。"
               : "VELDIX Organization info. downloadnig not completed successfully because of Time out.\r\nDownloading again recommended.";
}

std::string BackupFailed(int language, int code)
{
    return Format(
        IsJapanese(language)
            ? "ダウンロード中、エラーが発生しました。\r\n\r\n  エラーコード : 0x%04x."
            : "Error occurred on VELDIX Organization info. Downloading. \r\n Error code : 0x%04x.",
        code);
}

std::string FloppyQuestion(int language)
{
    return MessageCatalogue::Choose(language, 147, 148);
}

std::string RemovableQuestion(int language, const std::string& mountPoint)
{
    return MessageCatalogue::Choose(language, 149, 150) + " : " + mountPoint + " " +
           MessageCatalogue::Choose(language, 151, 152);
}

std::string WrongConfigFile(int language, const std::string& chosen, const std::string& expected)
{
    return Format(
        IsJapanese(language)
            ? "指定されたファイルは、VELDIXシリーズ用の復元ファイルではありません。\r\n\r\n指定されたファイル : %s\r\n使用すべきファイル : %s\n"
            : "File selected can't be used for saving target VELDIX. \r\n\r\nSelected file:%s\r\nFile shoule be used. : %s\r\n",
        chosen.c_str(), expected.c_str());
}

std::string RestoreTimedOut(int language)
{
    return IsJapanese(language)
               ? "アップロードを開始しましたが、タイムアウトとなりました。\r\n\r\n再度、構成情報のアップロードをおこなってみてください。"
               : "VELDIX Organization info. uploading not completed successfully because of Time out.\r\nUploading again recommended.";
}

std::string RestoreFailed(int language, int code)
{
    return Format(
        IsJapanese(language)
            ? "アップロード中、エラーが発生しました。\r\n\r\n  エラーコード : 0x%04x."
            : "Error occurred on VELDIX Organization info. Uploading. Error code : 0x%04x.",
        code);
}

std::string WrongFirmwareFile(int language, const std::string& chosen)
{
    return Format(
        IsJapanese(language)
            ? "指定されたファイルは、VELDIXシリーズ用のファームウェアファイルではありません。\r\n\r\n指定されたファイル : %s\r\n使用すべきファイル : %s\n"
            : "File selected can't be used for saving target VELDIX. \r\n\r\nSelected file:%s\r\nFile shoule be used. : %s\r\n",
        chosen.c_str(), kFirmwareNamePattern);
}

std::string FirmwareTimedOut(int language)
{
    return IsJapanese(language)
               ? "ファームの更新を開始しましたが、タイムアウトとなりました。\r\n\r\n再度、ファームの更新をおこなってみてください。"
               : "VELDIX Firmware file uploading not completed successfully because of Time out.\r\nUploading again recommended.";
}

std::string FirmwareFailed(int language, int code)
{
    return Format(IsJapanese(language)
                      ? "ファーム更新中、エラーが発生しました。\r\n\r\n  エラーコード : 0x%04x."
                      : "Error occurred on VELDIX Firmware Uploading. Error code : 0x%04x.",
                  code);
}

std::string PathTooLong(int language, const std::string& path)
{
    return MessageCatalogue::Choose(language, 942, 943) + path;
}

std::string NoDirectoryName(int language)
{
    return MessageCatalogue::Choose(language, 940, 941);
}

} // namespace zelvo::transfer_texts
