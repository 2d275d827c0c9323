// The main window on the offscreen platform, with scripted boxes and a recording opener.
#include "app/MainDialog.h"
#include "app/CommandButton.h"
#include "app/CommandLine.h"
#include "core/MessageCatalogue.h"
#include "core/UiLanguage.h"
#include "support/FakeUrlOpener.h"
#include "support/ScriptedMessageBoxes.h"

#include <QCheckBox>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

using namespace zelvo;
using Ids = std::vector<int>;

namespace {

constexpr int kEn = 409, kJa = kLanguageJapanese;
const Ids kButtons{kIdSearch, kIdWebTool, kIdSetIp, kIdBackup, kIdRestore, kIdFwUpdate, kIdExit};

struct Pc // how the start-up left the PC for the window
{
    int language = kEn, setIpLayout = 0;
    bool noMac = false, root = false, firstSearch = false;
    StartupResult startup = StartupResult::Ready;
};

// A window with a made-up PC in row 0; commands log their id and run onRun inside.
struct Fixture : WindowCommands
{
    ScriptedMessageBoxes boxes;
    FakeUrlOpener urls;
    Ids calls;
    std::function<void(int id)> onRun;
    std::unique_ptr<MainDialog> dialog;

    void Run(int id) override
    {
        calls.push_back(id);
        if (onRun)
            onRun(id);
    }
    MainDialog& Make(const Pc& pc = {})
    {
        DialogState state;
        state.language = pc.language;
        state.m_bSetIpLayout = pc.setIpLayout;
        state.NoHostMac = pc.noMac;
        state.firstTick = pc.firstSearch;
        state.devices.rows[0].SetName("OFFICE-PC");
        state.devices.rows[0].SetIpText("10.0.0.10");
        state.devices.rows[0].SetMacText("00-1a-2b-3c-4d-5e");
        state.devices.rows[0].SetTypeText("Your Host PC");
        dialog = std::make_unique<MainDialog>(
            nullptr, MainDialogServices{boxes, urls, "/home/a b/", pc.root}, state, pc.startup,
            *this);
        return *dialog;
    }
};

CommandButton* ButtonOf(MainDialog& d, int id)
{
    return static_cast<CommandButton*>(d.Control(id));
}
bool ShowActive(QWidget& w)
{
    w.show();
    w.activateWindow();
    return QTest::qWaitForWindowActive(&w);
}
const char* const kEnTexts = "Search|Web tool|Back up|Restore|FW Update|Exit|Set IP|Enable Set IP|"
                             "Computer name|MAC Address|IP Address|Type|quixhlpe.html";
const char* const kJaTexts =
    "検  索|Webツール|構成保存|構成復元|ﾌｧｰﾑ更新|終  了|Set IP|IP設定 許可|"
    "コンピュータ名|MACアドレス|IPアドレス|タイプ|quixhlpj.html";

} // namespace

class MainDialogTest : public QObject
{
    Q_OBJECT
private slots:
    void layoutFollowsLanguageAndSetSwitch()
    {
        for (int language : {kEn, kJa, 804}) // 804, Chinese, is shown in English
            for (int setIp : {0, 1})
                layout(language, setIp, language == kJa ? kJaTexts : kEnTexts);
    }
    void layout(int language, int setIp, const char* texts)
    {
        Fixture f;
        MainDialog& d = f.Make({.language = language, .setIpLayout = setIp});
        auto* list = qobject_cast<QTreeWidget*>(d.Control(kIdList));
        QStringList seen;
        for (int id : {kIdSearch, kIdWebTool, kIdBackup, kIdRestore, kIdFwUpdate, kIdExit, kIdSetIp,
                       kIdEnableSetIpLabel})
            seen << d.Control(id)->property("text").toString();
        for (int column = 0; column < 4; ++column)
            seen << list->headerItem()->text(column);
        seen << QString::fromStdString(d.HelpFile());
        for (int column = 0; column < 4; ++column)
            seen << list->topLevelItem(0)->text(column);
        seen << d.windowTitle() << d.AboutItemText();
        QCOMPARE(seen.join(u'|'),
                 QString::fromUtf8(texts) +
                     QString::fromUtf8("|OFFICE-PC|00-1a-2b-3c-4d-5e|10.0.0.10|Your Host PC|"
                                       "Zelvoセットアップツール|ﾊﾞｰｼﾞｮﾝ情報(&A)..."));

        // /set swaps Web tool for Set IP, outlined; FW Update, told last, is what Enter presses.
        QVERIFY(ShowActive(d));
        const int swapped = setIp ? kIdWebTool : kIdSetIp;
        for (int id : kButtons) {
            QCOMPARE(ButtonOf(d, id)->isVisible(), id != swapped);
            QCOMPARE(ButtonOf(d, id)->DefaultFlag(), id != swapped);
            QCOMPARE(ButtonOf(d, id)->isDefault(), id == kIdFwUpdate);
        }
        for (int id : {kIdEnableSetIp, kIdEnableSetIpLabel, kIdEnableSetIpGroup})
            QVERIFY(!d.Control(id)->isVisible());

        // Captions fit with room for outline, frame and focus rectangle.
        QCOMPARE(d.minimumSize(), d.maximumSize());
        for (int id : kButtons) {
            const QRect b = d.Control(id)->geometry();
            const QFontMetrics metrics(d.Control(id)->font());
            QVERIFY(b.top() > list->geometry().bottom() && b.bottom() < d.height());
            QVERIFY2(metrics.horizontalAdvance(ButtonOf(d, id)->text()) + 12 <= b.width() &&
                         metrics.height() + 4 <= b.height(),
                     qPrintable(ButtonOf(d, id)->text()));
        }

        // F1 alone, busy or not, opens the page of the language as an encoded file URL.
        d.State().m_bBusy = setIp;
        QTest::keyClick(&d, Qt::Key_F1, Qt::ShiftModifier);
        QTest::keyClick(&d, Qt::Key_F1, Qt::ControlModifier);
        QTest::keyClick(&d, Qt::Key_F1);
        QCOMPARE(f.urls.Opened(), std::vector<std::string>{"file:///home/a%20b/" + d.HelpFile()});
    }

    // Back up and Restore start enabled unless the PC has no MAC.
    void startUpRule()
    {
        for (const auto& [pc, enabled] :
             {std::pair{Pc{}, "11111100"},
              {Pc{.noMac = true}, "00011100"},
              {Pc{.startup = StartupResult::NetworkUnusable}, "11111101"}}) {
            Fixture f;
            MainDialog& d = f.Make(pc);
            QByteArray states; // Search, Back up, Restore, FW Update, Exit, Web tool, Set IP, box
            for (int id : {kIdSearch, kIdBackup, kIdRestore, kIdFwUpdate, kIdExit, kIdWebTool,
                           kIdSetIp, kIdEnableSetIp})
                states += d.IsControlEnabled(id) ? '1' : '0';
            QCOMPARE(states, QByteArray(enabled));
        }
    }

    // Run as root, the window starts no browser: it shows the page's address instead.
    void noBrowserAsRoot()
    {
        Fixture f;
        QVERIFY(ShowActive(f.Make({.language = kJa, .root = true})));
        QTest::keyClick(f.dialog.get(), Qt::Key_F1);
        QVERIFY(f.urls.Opened().empty());
        QCOMPARE(f.boxes.ShownBoxes().size(), size_t(1));
        QCOMPARE(f.boxes.ShownBoxes()[0].text,
                 std::string(MessageCatalogue::Text(944)) + "file:///home/a%20b/quixhlpj.html");
    }

    // The first tick, 200 ms after the window was made, posts the first search once.
    void firstTickPostsTheFirstSearchOnce()
    {
        Fixture f;
        f.Make({.firstSearch = true});
        QTest::qWait(100);
        QVERIFY(f.calls.empty());
        QTRY_COMPARE_WITH_TIMEOUT(f.calls, Ids{kIdFirstSearchCommand}, 3000);
        f.dialog->show();
        QTest::qWait(400); // neither a later tick nor the showing searches again
        QCOMPARE(f.calls, Ids{kIdFirstSearchCommand});
    }

    // A search keeps the window's events flowing: until it ends, every command and Exit (where
    // Esc and the close box end too) must find the door shut. Idle, each button runs, Exit closes.
    void busyWindowTurnsEverythingAway()
    {
        Fixture f;
        MainDialog& d = f.Make();
        QVERIFY(ShowActive(d));
        QSignalSpy rejected(&d, &QDialog::rejected);
        f.onRun = [&](int id) {
            if (id != kIdSearch || f.calls.size() > 1)
                return; // not a search, or a second one inside the first
            d.Frame().Begin();
            for (int id : kButtons)
                d.OnCommand(id);
            d.OnCommand(kIdFirstSearchCommand);
            d.Frame().End(RefreshVariant::Search, true);
        };
        QTest::mouseClick(d.Control(kIdSearch), Qt::LeftButton);
        QCOMPARE(f.calls, Ids{kIdSearch});
        QCOMPARE(rejected.count(), 0);
        f.onRun = {};

        for (int id : {kIdSetIp, kIdBackup, kIdRestore, kIdFwUpdate, kIdWebTool}) {
            f.calls.clear();
            d.EnableControl(id, true);
            ButtonOf(d, id)->click();
            QCOMPARE(f.calls, Ids{id});
        }
        QTest::mouseClick(d.Control(kIdExit), Qt::LeftButton);
        QVERIFY(!d.isVisible());
        QCOMPARE(rejected.count(), 1);
    }

    void enableSetIpAsksFirst()
    {
        for (auto [language, yes] : {std::pair{kEn, true}, {kJa, false}}) {
            Fixture f;
            MainDialog& d = f.Make({.language = language});
            auto* box = qobject_cast<QCheckBox*>(d.Control(kIdEnableSetIp));
            d.EnableControl(kIdEnableSetIp, true);
            f.boxes.AddAnswer(yes ? MessageAnswer::Yes : MessageAnswer::No);
            box->click();
            QCOMPARE(int(f.boxes.ShownBoxes().size()), 1);
            const ScriptedMessageBoxes::Shown& shown = f.boxes.ShownBoxes()[0];
            QCOMPARE(shown.text, std::string(MessageCatalogue::Text(language == kJa ? 126 : 127)));
            QCOMPARE(shown.icon, MessageIcon::Question);
            QCOMPARE(shown.buttons, MessageButtons::YesNo);
            QCOMPARE(d.IsControlEnabled(kIdSetIp), yes);
            box->click(); // cleared, or ticked again after No: a question only when ticked
            QCOMPARE(int(f.boxes.ShownBoxes().size()), yes ? 1 : 2);
            QVERIFY(!d.IsControlEnabled(kIdSetIp));
        }
    }

    // Enter gives the web tool, not the default button (FW Update); nothing while busy.
    void unitListRules()
    {
        Fixture f;
        MainDialog& d = f.Make();
        DialogState& s = d.State();
        s.UnitsFound = 1;
        auto* list = qobject_cast<QTreeWidget*>(d.Control(kIdList));
        d.ShowRow(3, s.devices.rows[0]); // past the end: appended as rows 1 and 2
        d.ShowRow(5, s.devices.rows[0]);
        QVERIFY(ShowActive(d));
        auto at = [&](int row) { return list->visualItemRect(list->topLevelItem(row)).center(); };
        list->setFocus(); // the focus takes the mark too; here there is none yet
        s.devices.SelectedRow = 0;
        s.m_bBusy = 1;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at(1));
        QTest::keyClick(list, Qt::Key_Return);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at(1));
        QTest::qWait(20);
        QCOMPARE(s.devices.SelectedRow, 0);
        QCOMPARE(f.calls, Ids{});
        s.m_bBusy = 0;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at(2));
        QCOMPARE(s.devices.SelectedRow, 2);
        QTest::keyClick(list, Qt::Key_Return);
        QTRY_COMPARE(f.calls, Ids{kIdWebTool});
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at(1));
        QCOMPARE(f.calls, (Ids{kIdWebTool, kIdList}));
    }

    // The arguments and what they switch: m the mask shown (/disip), s the Set IP layout
    // (/set), n no splash (started by automation); found as written, within 79 characters.
    void startSwitches()
    {
        const std::pair<std::vector<std::string>, const char*> cases[] = {
            {{}, ""},
            {{"/disip"}, "m"},
            {{"/DISIP"}, "m"},
            {{"/DisIp"}, ""},
            {{"/set"}, "s"},
            {{"/SET"}, "s"},
            {{"/Set"}, ""},
            {{"/SETUP"}, "s"},
            {{"/settings"}, "s"},
            {{"x/disip/file"}, "m"},
            {{"/Embedding"}, "n"},
            {{"-AUTOMATION"}, "n"},
            {{"/Embeddingx"}, ""},
            {{"-embedding", "/set"}, "sn"},
            {{std::string(77, 'a'), "/set"}, ""},
            {{std::string(74, 'a'), "/set"}, "s"},
        };
        for (const auto& [args, expected] : cases) {
            const StartSwitches s = ParseSwitches(args);
            QCOMPARE(CommandLineText(args) + ": " + (s.showMask ? "m" : "") +
                         (s.setIpLayout ? "s" : "") + (s.splashEnabled ? "" : "n"),
                     CommandLineText(args) + ": " + expected);
        }
        QCOMPARE(CommandLineText({"/set", "/disip"}), std::string("/set /disip"));
        QCOMPARE(CommandLineText({std::string(100, 'x')}).size(), size_t(79));
    }

    // The black outline, the caption moved while held and grey when disabled.
    void commandButtonDrawing()
    {
        for (auto [outlined, down, enabled] :
             {std::tuple{true, false, true}, {false, true, true}, {false, false, false}})
            drawing(outlined, down, enabled);
    }
    void drawing(bool outlined, bool down, bool enabled)
    {
        QDialog host;
        auto* button = new CommandButton(kIdSearch, QStringLiteral("Search"), &host);
        auto* other = new CommandButton(kIdExit, QStringLiteral("Exit"), &host);
        button->setGeometry(10, 10, 100, 30);
        other->setGeometry(10, 50, 100, 30);
        QVERIFY(ShowActive(host));
        other->setFocus();
        auto grab = [&] { return button->grab().toImage().convertToFormat(QImage::Format_RGB32); };
        // The box of the caption's pixels darker than grey, looked for well inside the frame.
        auto caption = [](const QImage& image, int grey) {
            QRect box;
            for (int y = 6; y < 24; ++y)
                for (int x = 8; x < 92; ++x)
                    box |= qGray(image.pixel(x, y)) < grey ? QRect(x, y, 1, 1) : QRect();
            return box;
        };
        const QRect plain = caption(grab(), 80);
        button->SetDefault(outlined);
        button->setDown(down);
        button->setEnabled(enabled);
        const QImage image = grab();
        for (QPoint p : {QPoint(0, 15), QPoint(99, 15), QPoint(50, 0), QPoint(50, 29)})
            QCOMPARE(qGray(image.pixel(p)) < 30, outlined);
        QVERIFY(!plain.isEmpty());
        // Grey when disabled: nothing as dark as the enabled caption, yet legible.
        QCOMPARE(caption(image, 80), enabled ? plain.translated(down, down) : QRect());
        QVERIFY(!caption(image, 200).isEmpty());
    }
};

QTEST_MAIN(MainDialogTest)
#include "MainDialogTest.moc"
