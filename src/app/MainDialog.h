#pragma once
#include "app/ControlIds.h"
#include "app/MainDialogLayout.h"
#include "core/DialogState.h"
#include "core/FrontEnd.h"
#include "core/MessageBoxes.h"
#include "core/OperationFrame.h"
#include "transfer/RootUrlGuard.h"
#include "platform/UrlOpener.h"
#include "start/StartupSequence.h"

#include <QDialog>
#include <QFont>
#include <QHash>
#include <QPixmap>
#include <QTimer>
#include <string>

class QCheckBox;
class QGroupBox;
class QLabel;
class QTreeWidget;

namespace zelvo {

class CommandButton;

// What the main window reaches outside itself. Tests substitute every member.
struct MainDialogServices
{
    MessageBoxes& boxes;
    UrlOpener& urls = SystemUrlOpener();
    // Where the help pages are, ending in '/'; empty: beside the executable.
    std::string helpDirectory = {};
    // True when the tool runs as root: the window then starts no browser, logs that and
    // shows the address instead.
    bool runningAsRoot = false;
};

// The operations behind the window's commands, given to the window when it is made. Each
// runs on the UI thread and manages the busy flag itself; the window only keeps commands
// away while one runs.
class WindowCommands
{
public:
    virtual ~WindowCommands() = default;
    // kIdFirstSearchCommand (posted by the first timer tick), kIdSearch, kIdSetIp,
    // kIdBackup, kIdRestore, kIdFwUpdate, kIdWebTool (also Enter in the list), or kIdList
    // for a double-click in the unit list.
    virtual void Run(int id) = 0;
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

    // The window laid out for the state that the start-up sequence left (language, /set,
    // the PC in row 0) and its result; its first timer tick runs from here.
    MainDialog(QWidget* parent, MainDialogServices services, DialogState started,
               StartupResult startup, WindowCommands& commands);
    ~MainDialog() override;

    DialogState& State() { return m_state; }
    const DialogState& State() const { return m_state; }
    // Where the commands show the buttons and the unit list.
    FrontEnd& Front() { return *this; }
    MessageBoxes& Boxes() { return m_services.boxes; }
    // The window's way to the browser (the help pages, the units' web pages); as root it
    // refuses and shows the address.
    UrlOpener& Urls() { return m_urls; }
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
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    CommandButton* AddButton(int id);
    void PlaceControl(QWidget* widget, int id);
    void Initialise(StartupResult startup);
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
    WindowCommands& m_commands;
    DialogState m_state;
    DialogBaseUnits m_baseUnits;
    QHash<int, QWidget*> m_controls;
    QFont m_listFont;
    QTreeWidget* m_list = nullptr;
    QCheckBox* m_enableSetIp = nullptr;
    QTimer m_timer;
    QPixmap m_banner;
    QPoint m_bannerOrigin;
    QString m_aboutItemText;
    std::string m_helpFile;
};

} // namespace zelvo
