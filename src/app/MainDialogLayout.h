#pragma once
#include "core/UnitListTexts.h"

#include <array>

namespace zelvo {

// The main window as laid out in dialog units: one horizontal unit is a quarter of the
// dialog font's average character width, one vertical unit an eighth of its height.
// Pure data and arithmetic; MainDialog turns it into widgets.

struct DialogRect
{
    int x = 0, y = 0, w = 0, h = 0;
    friend bool operator==(const DialogRect&, const DialogRect&) = default;
};

// Pixels per four horizontal and per eight vertical dialog units.
struct DialogBaseUnits
{
    int x = 0;
    int y = 0;
};

// The client area of the main window, in dialog units.
constexpr int kMainClientWidthDlu = 366;
constexpr int kMainClientHeightDlu = 179;

// The control's rectangle in dialog units; a zero rectangle for an id that is not a
// control of the main window.
DialogRect MainControlRect(int id);

// The base unit x of a font from the width of "A...Za...z" (52 letters): half the
// width of two letters, rounded up, as dialog managers have always measured it.
int BaseUnitXFromAlphabetWidth(int alphabetWidth);

// Dialog units to pixels, each coordinate rounded to the nearest pixel.
DialogRect DialogUnitsToPixels(const DialogRect& dlu, DialogBaseUnits base);

// The list's font height in pixels from the height of the desktop's icon-title font:
// Japanese needs the taller 14 or 12, English gets 11 or 9.
int ListFontPixelHeight(bool japanese, int iconTitleFontHeight);

// The four column widths for a list whose usable width (client width less a vertical
// scroll bar) is usableWidth. They add up to usableWidth exactly.
std::array<int, 4> ListColumnWidths(int usableWidth);

// Where the banner goes: centred horizontally, a thirtieth of the client height down.
struct BannerOrigin
{
    int x = 0;
    int y = 0;
};
BannerOrigin BannerPosition(int clientWidth, int clientHeight, int bannerWidth);

// The captions the window sets at initialisation (UTF-8). Controls that keep the text
// they were created with (Set IP) and ids without a caption give nullptr.
const char* ControlCaption(int id, bool japanese);
// The text a control is created with, before the language is applied.
const char* ControlCreationText(int id);

// The window caption, the same in both languages.
const char* MainWindowCaption();

// The help page of the run, a bare file name that lives beside the executable.
const char* HelpFileName(bool japanese);

} // namespace zelvo
