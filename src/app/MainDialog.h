#pragma once
#include "app/ControlIds.h"
#include "app/MainDialogLayout.h"
#include "core/DialogState.h"
#include "core/FrontEnd.h"
#include "core/MessageBoxes.h"
#include "core/OperationFrame.h"
#include "core/RootUrlGuard.h"
#include "platform/UrlOpener.h"

#include <QDialog>
#include <QFont>
#include <QHash>
#include <QPixmap>
#include <QTimer>
#include <functional>
#include <string>

class QCheckBox;
class QGroupBox;
class QLabel;
class QTreeWidget;

namespace zelvo {

class CommandButton;
class MainDialog;
class ProgressPasses;

// What the main window reaches outside itself. Tests substitute every member; the
// tool fills the hooks of the subsystems that the window starts.
struct MainDialogServices
{
    MessageBoxes& boxes;
    UrlOpener& urls = SystemUrlOpener();
    // The progress passes that long operations run; set once the window exists.
    ProgressPasses* passes = nullptr;
    // The language of the run at construction; empty: the system's language rule.
    std::function<int()> language = {};
    // The start-up survey that creation runs: 0 lets the window be created, anything
    // else refuses it (the user has been told). Empty: the tool's own survey with the
    // splash window and its pause.
    std::function<int(MainDialog&, bool splashEnabled)> survey = {};
    // Start-up check that the network can be used: 1 passed, 0 failed after telling
    // the user (the rest of the initialisation is then skipped). Empty: passed.
    std::function<int(MainDialog&)> networkBrowseCheck = {};
    // The fallback reading of the subnet mask when no network information came from
    // the survey; its result becomes NetInfoAvailable. Empty: nothing is read.
    std::function<int(MainDialog&)> readInterfaceMask = {};
    // Where the help pages are, ending in '/'; empty: beside the executable.
    std::string helpDirectory = {};
    // True when the tool runs as root: the window then starts no browser, logs that and
    // shows the address instead. Empty: not root (the tool sets the system's answer).
    std::function<bool()> runningAsRoot = {};
};

// The operations that the window's commands start. Each runs on the UI thread and
// manages the busy flag itself; the window only keeps commands away while one runs.
// An empty hook makes its command do nothing.
struct MainDialogCommands
{
    std::function<void(MainDialog&)> firstSearch;     // internal command 1035
    std::function<void(MainDialog&)> searchAgain;     // Search, 1021
    std::function<void(MainDialog&)> setIp;           // Set IP, 1002
    std::function<void(MainDialog&)> backup;          // Back up, 1005
    std::function<void(MainDialog&)> restore;         // Restore, 1006
    std::function<void(MainDialog&)> fwUpdate;        // FW Update, 1038
    std::function<void(MainDialog&)> webTool;         // Web tool, 1037, and Enter in the list
    std::function<void(MainDialog&)> listDoubleClick; // double-click in the unit list
};

// The tool's only main window: the banner, the unit list and the command buttons. It
// owns the shared state of the run (DialogState) and routes its commands to the
// operations; while one of them runs (m_bBusy), the other commands are turned away and
// the window refuses to close. The about box is on the window's context menu (right
// click on the banner or any free part of the window, or the menu key), where a Linux
// window keeps no system menu of the tool's own.
// UI thread only, like every widget.
class MainDialog final : public QDialog, public FrontEnd
{
    Q_OBJECT
public:
    // The command id of the about item.
    static constexpr int kAboutCommand = 16;

    MainDialog(QWidget* parent, MessageBoxes& boxes);
    MainDialog(QWidget* parent, MainDialogServices services);
    ~MainDialog() override;

    DialogState& State() { return m_state; }
    const DialogState& State() const { return m_state; }
    // Where the commands show the buttons and the unit list.
    FrontEnd& Front() { return *this; }
    MessageBoxes& Boxes() { return m_services.boxes; }
    // The window's way to the browser (the help pages, the units' web pages); as root it
    // refuses and shows the address.
    UrlOpener& Urls() { return m_urls; }
    // Null until the tool has set the progress passes.
    ProgressPasses* Passes() { return m_services.passes; }
    void SetProgressPasses(ProgressPasses* passes) { m_services.passes = passes; }
    void SetCommands(MainDialogCommands commands) { m_commands = std::move(commands); }

    // Runs the start-up survey, then lays the window out. False: the PC cannot serve
    // (the user was told) and the window must not be shown.
    bool Create(bool splashEnabled);

    // Routes a command as the buttons, the check box and the timer do. Operations are
    // ignored while another one runs; Exit then does nothing either.
    void OnCommand(int id);
    // The window menu's commands (only the about item, kAboutCommand, is handled);
    // ignored while an operation runs.
    void OnSystemCommand(int command);
    // F1: the help page of the run in the browser.
    void OpenHelp();

    // The start and end of a long operation on this window's state and buttons.
    OperationFrame Frame() { return OperationFrame(m_state, *this); }

    // The help page's file name for the language of the run, set at initialisation.
    const std::string& HelpFile() const { return m_helpFile; }
    // The widget of a control id, or nullptr.
    QWidget* Control(int id) const { return m_controls.value(id, nullptr); }
    // Where the banner is drawn, in client coordinates; empty without a banner.
    QRect BannerRect() const;
    // The text of the about item in the window menu.
    QString AboutItemText() const { return m_aboutItemText; }

    // FrontEnd: the buttons in the rule's order (Back up, Restore, Set IP, the check box,
    // Exit, Search); the list's rows, appended past its end.
    void ShowButtons(const CommandButtons& buttons) override;
    void ShowList(const UnitListView& list) override;

    void EnableControl(int id, bool enable);
    bool IsControlEnabled(int id) const;
    // The Enable Set IP check box.
    bool IsChecked(int id) const;
    void SetChecked(int id, bool checked);
    // Shows one DeviceList record as list row `row` (name, MAC, address and type).
    void ShowRow(int row, const DeviceRecord& record);
    // Moves the keyboard's current row without selecting it and redraws.
    void SetSelectionMark(int row);
    // The first selected list row, -1 when no row is selected.
    int FirstSelectedListRow() const;

public slots:
    // Exit, Esc and the close box all end here.
    void reject() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    CommandButton* AddButton(int id);
    void PlaceControl(QWidget* widget, int id);
    void Initialise();
    void SetUpList();
    void CentreOnScreen();
    void OnTimer();
    void OnEnableSetIpClicked();
    void PostCommand(int id);
    int SelectionMark() const;
    bool ListKeyPress(QKeyEvent* key);
    bool Japanese() const;

    MainDialogServices m_services;
    RootUrlGuard m_urls;
    MainDialogCommands m_commands;
    DialogState m_state;
    DialogBaseUnits m_baseUnits;
    QHash<int, QWidget*> m_controls;
    QFont m_listFont;
    QTreeWidget* m_list = nullptr;
    QCheckBox* m_enableSetIp = nullptr;
    QTimer m_timer;
    bool m_firstTickArmed = false; // the initialisation ran; the timer starts at the first show
    QPixmap m_banner;
    QPoint m_bannerOrigin;
    QString m_aboutItemText;
    std::string m_helpFile;
};

} // namespace zelvo
