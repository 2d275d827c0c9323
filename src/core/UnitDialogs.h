#pragma once
#include "core/DeviceList.h"

#include <optional>
#include <string>
#include <vector>

namespace zelvo {

// A rectangle in dialog units: left, top, width, height.
struct DialogUnitsRect
{
    int x = 0, y = 0, width = 0, height = 0;
};

// The three unit-pick dialogs of the transfer commands.
enum class UnitPickUse
{
    Download, // Back up
    Upload,   // Restore
    Firmware, // FW Update
};

// Everything a unit-pick dialog shows, in the language of the run.
struct UnitPickContent
{
    int dialogId = 0;
    std::string fontFamily;
    DialogUnitsRect size, messageRect, unitBoxRect, okRect, cancelRect;
    int messageControlId = 0;
    int unitBoxId = 0;
    std::string title, okCaption, cancelCaption;
    std::string message;              // the message string and " : %02d" units
    std::vector<std::string> entries; // " IP : %s,   %s" per listed unit, in capitals
};

// The dialog's texts for the listed units of devices. An entry is cut to 255 bytes.
UnitPickContent BuildUnitPickContent(UnitPickUse use, int language, const DeviceList& devices);

// The selection rule: the DeviceList row of the unit box's entry, or -1 when entry is
// not a listed unit's position.
int RowForUnitEntry(const DeviceList& devices, int entry);

// Shows a unit-pick dialog over the main window; modal, UI thread only.
class UnitPickDialog
{
public:
    virtual ~UnitPickDialog() = default;
    // entry comes in as the entry to select first (0) and goes out as the unit box's
    // selection when the dialog closed (-1 for none). True for OK, false for Cancel.
    virtual bool Run(const UnitPickContent& content, int& entry) = 0;
};

// The open-file dialog of Restore and FW Update.
enum class UnitFileUse
{
    Restore,
    Firmware,
};

struct UnitFileContent
{
    std::string title;
    std::string filterName;       // "VELDIX Configuration File (*.DAT)"
    std::string defaultExtension; // "DAT"
    std::string initialName;      // "*.DAT"
    std::string okCaption;        // "Select" / "ファイル選択"
    std::string startFolder;      // where the dialog opens; empty: its own choice
};

UnitFileContent BuildUnitFileContent(UnitFileUse use, int language);

struct ChosenFile
{
    std::string name; // without its folder
    std::string path; // full path
};

// Modal, UI thread only; nullopt for Cancel.
class UnitFileDialog
{
public:
    virtual ~UnitFileDialog() = default;
    virtual std::optional<ChosenFile> Run(const UnitFileContent& content) = 0;
};

} // namespace zelvo
