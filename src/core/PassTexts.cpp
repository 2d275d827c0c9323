#include "core/PassTexts.h"

#include "core/MessageCatalogue.h"
#include "core/UiLanguage.h"
#include "core/ProgressPasses.h"

namespace zelvo {
namespace {

// The English captions of the stepped passes are all the same.
constexpr const char* kEnglishWaitCaption = "Wait a Moment...";

PassTexts Pick(int language, const char* jaMessage, const char* jaCaption, const char* enMessage,
               const char* enCaption)
{
    if (IsJapanese(language))
        return {jaMessage, jaCaption};
    return {enMessage, enCaption};
}

} // namespace

PassTexts ProgressPassTexts(int language, int kind)
{
    switch (kind) {
    case kProgressConfigDownload:
        return Pick(language, "構成情報をPCにダウンロード中．．．\n", "構成情報のダウンロード",
                    "VELDIX Organization info. downloading...\n", kEnglishWaitCaption);
    case kProgressConfigUpload:
        return Pick(language, "構成情報をPCからアップロード中．．．\n", "構成情報のアップロード",
                    "VELDIX Organization info. uploading...\n", kEnglishWaitCaption);
    case kProgressSearch:
    case kProgressSearchAgain:
        return Pick(language, "VELDIXシリーズ検索中．．． \n", "VELDIX検索",
                    "VELDIX searching... \n", kEnglishWaitCaption);
    case kProgressFirmwareUpload:
        return Pick(language, "ファームウェアアップロード中．．． \n", "ファームウェアアップロード",
                    "Uploading VELDIX Firmware... \n", kEnglishWaitCaption);
    default:
        return Pick(language, "しばらくお待ちください。\n", "VELDIXシリーズ検索",
                    "Wait a moment please...\n", kEnglishWaitCaption);
    }
}

PassTexts TimedPassTexts(int language, int phase)
{
    if (phase == 0)
        return {MessageCatalogue::Choose(language, 167, 168),
                MessageCatalogue::Choose(language, 171, 172)};
    return {MessageCatalogue::Choose(language, 169, 170),
            MessageCatalogue::Choose(language, 173, 174)};
}

PassTexts SearchPassTexts(int language, const std::string& title)
{
    return {IsJapanese(language) ? "ネットワーク環境の調査中．．．" : "VELDIX searching...", title};
}

PassTexts RetrievePassTexts(int language)
{
    return {MessageCatalogue::Choose(language, 175, 176),
            MessageCatalogue::Choose(language, 177, 178)};
}

} // namespace zelvo
