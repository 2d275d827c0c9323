// The main window's command routing: the first-search timer, the busy guard, Exit and
// Esc, the Enable Set IP question, the unit list's click, Enter, key, focus and
// double-click rules, F1 help and the about box.
#include "MainDialogTestSupport.h"

#include "app/AboutBox.h"
#include "app/MessageCatalogue.h"
#include "app/UiLanguage.h"

#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using namespace zelvo;
using namespace zelvo::test;

namespace {

// Which command hooks ran, in order.
struct HookLog
{
    std::vector<int> calls;
    int Count(int id) const { return int(std::count(calls.begin(), calls.end(), id)); }
};

constexpr int kDoubleClick = -1; // the list's double-click in the log

void RecordAll(MainDialog& dialog, HookLog& log)
{
    auto record = [&log](int id) { return [&log, id](MainDialog&) { log.calls.push_back(id); }; };
    MainDialogCommands commands;
    commands.firstSearch = record(kIdFirstSearchCommand);
    commands.searchAgain = record(kIdSearch);
    commands.setIp = record(kIdSetIp);
    commands.backup = record(kIdBackup);
    commands.restore = record(kIdRestore);
    commands.fwUpdate = record(kIdFwUpdate);
    commands.webTool = record(kIdWebTool);
    commands.listDoubleClick = record(kDoubleClick);
    dialog.SetCommands(std::move(commands));
}

QTreeWidget* ListOf(MainDialog& dialog)
{
    return qobject_cast<QTreeWidget*>(dialog.Control(kIdList));
}

// Two units listed below the PC, as a search leaves them.
void ListTwoUnits(MainDialog& d)
{
    d.ShowRow(1, UnitRecord("NAS-A", "192.168.0.20", 0));
    d.ShowRow(2, UnitRecord("NAS-B", "192.168.0.21", 1));
    DialogState& s = d.State();
    s.devices.RowCount = 3;
    s.devices.UnitCount = 2;
    s.devices.UnitRows[0] = 1;
    s.devices.UnitRows[1] = 2;
    s.UnitsFound = 1;
}

QPoint RowCentre(QTreeWidget* list, int row)
{
    return list->visualItemRect(list->topLevelItem(row)).center();
}

bool ShowActive(MainDialog& d)
{
    d.show();
    d.activateWindow();
    return QTest::qWaitForWindowActive(&d);
}

} // namespace

class MainDialogCommandsTest : public QObject
{
    Q_OBJECT
private slots:
    void firstTickStartsTheFirstSearchOnce()
    {
        DialogFixture f;
        QVERIFY(f.Make(TestPc{}));
        HookLog log;
        RecordAll(*f.dialog, log);
        // Nothing runs inside the initialisation: the command comes from the loop.
        QCOMPARE(log.Count(kIdFirstSearchCommand), 0);
        QTRY_COMPARE_WITH_TIMEOUT(log.Count(kIdFirstSearchCommand), 1, 3000);
        QCOMPARE(f.dialog->State().firstTick, 0);
        QTest::qWait(1300); // later ticks, if any came, must not search again
        QCOMPARE(log.Count(kIdFirstSearchCommand), 1);
        QCOMPARE(int(log.calls.size()), 1);
    }

    void commandsAreTurnedAwayWhileBusy_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("busy");
        QTest::addColumn<int>("calls");
        for (int id : {kIdFirstSearchCommand, kIdSearch, kIdSetIp, kIdBackup, kIdRestore,
                       kIdFwUpdate, kIdWebTool}) {
            QTest::addRow("%d idle", id) << id << 0 << 1;
            QTest::addRow("%d busy", id) << id << 1 << 0;
        }
    }
    void commandsAreTurnedAwayWhileBusy()
    {
        QFETCH(int, id);
        QFETCH(int, busy);
        QFETCH(int, calls);
        DialogFixture f;
        QVERIFY(f.Make(TestPc{}));
        HookLog log;
        RecordAll(*f.dialog, log);
        f.dialog->State().m_bBusy = busy;
        f.dialog->OnCommand(id);
        QCOMPARE(log.Count(id), calls);
        QCOMPARE(int(log.calls.size()), calls); // and no other command ran
    }

    void buttonsRouteTheirCommands_data()
    {
        QTest::addColumn<int>("setIpLayout");
        QTest::addColumn<int>("id");
        for (int id : {kIdSearch, kIdBackup, kIdRestore, kIdFwUpdate, kIdWebTool})
            QTest::addRow("%d", id) << 0 << id;
        QTest::newRow("set ip in /set layout") << 1 << int(kIdSetIp);
    }
    void buttonsRouteTheirCommands()
    {
        QFETCH(int, setIpLayout);
        QFETCH(int, id);
        DialogFixture f;
        TestPc pc;
        pc.setIpLayout = setIpLayout;
        QVERIFY(f.Make(pc));
        HookLog log;
        RecordAll(*f.dialog, log);
        f.dialog->EnableControl(id, true);
        QVERIFY(ShowActive(*f.dialog));
        QTest::mouseClick(f.dialog->Control(id), Qt::LeftButton);
        QCOMPARE(log.Count(id), 1);
    }

    void exitEscAndCloseAreRefusedWhileBusy()
    {
        DialogFixture f;
        QVERIFY(f.Make(TestPc{}));
        MainDialog& d = *f.dialog;
        QVERIFY(ShowActive(d));
        QSignalSpy rejected(&d, &QDialog::rejected);

        d.State().m_bBusy = 1;
        QTest::mouseClick(d.Control(kIdExit), Qt::LeftButton);
        QTest::keyClick(&d, Qt::Key_Escape);
        QVERIFY(!d.close());
        QVERIFY(d.isVisible());
        QCOMPARE(rejected.count(), 0);

        d.State().m_bBusy = 0;
        QTest::mouseClick(d.Control(kIdExit), Qt::LeftButton);
        QVERIFY(!d.isVisible());
        QCOMPARE(rejected.count(), 1);
        QCOMPARE(d.result(), int(QDialog::Rejected));

        // Esc and the close box end an idle window too.
        QVERIFY(ShowActive(d));
        QTest::keyClick(&d, Qt::Key_Escape);
        QVERIFY(!d.isVisible());
        QVERIFY(ShowActive(d));
        QVERIFY(d.close());
        QCOMPARE(rejected.count(), 3);
    }

    // An operation keeps the window's events flowing while it waits; Exit and a second
    // Search pressed meanwhile must do nothing.
    void exitAndSearchDuringASearchDoNothing()
    {
        DialogFixture f;
        QVERIFY(f.Make(TestPc{}));
        MainDialog& d = *f.dialog;
        QVERIFY(ShowActive(d));
        int searches = 0;
        bool visibleAfterExit = false;
        MainDialogCommands commands;
        commands.searchAgain = [&](MainDialog& dialog) {
            ++searches;
            dialog.BeginOperation();
            QTest::mouseClick(dialog.Control(kIdExit), Qt::LeftButton);
            QTest::mouseClick(dialog.Control(kIdSearch), Qt::LeftButton);
            QTest::keyClick(&dialog, Qt::Key_Escape);
            QTest::qWait(50);
            visibleAfterExit = dialog.isVisible();
            dialog.RefreshCommandButtons(RefreshVariant::Search, true);
        };
        d.SetCommands(std::move(commands));

        QTest::mouseClick(d.Control(kIdSearch), Qt::LeftButton);
        QCOMPARE(searches, 1);
        QVERIFY(visibleAfterExit);
        QVERIFY(d.isVisible());
        // After the search Exit closes the window.
        QTest::mouseClick(d.Control(kIdExit), Qt::LeftButton);
        QVERIFY(!d.isVisible());
    }

    void enableSetIpAsksFirst_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("messageId");
        QTest::addColumn<bool>("setIpEnabled");
        QTest::addColumn<bool>("boxChecked");
        QTest::newRow("en yes") << kEnglish << int(MessageAnswer::Yes) << 127 << true << true;
        QTest::newRow("en no") << kEnglish << int(MessageAnswer::No) << 127 << false << false;
        QTest::newRow("ja yes") << kLanguageJapanese << int(MessageAnswer::Yes) << 126 << true
                                << true;
        QTest::newRow("ja no") << kLanguageJapanese << int(MessageAnswer::No) << 126 << false
                               << false;
    }
    void enableSetIpAsksFirst()
    {
        QFETCH(int, language);
        QFETCH(int, answer);
        QFETCH(int, messageId);
        QFETCH(bool, setIpEnabled);
        QFETCH(bool, boxChecked);
        DialogFixture f;
        TestPc pc;
        pc.language = language;
        QVERIFY(f.Make(pc));
        MainDialog& d = *f.dialog;
        auto* box = qobject_cast<QCheckBox*>(d.Control(kIdEnableSetIp));
        d.EnableControl(kIdEnableSetIp, true);
        f.boxes.answers.push_back(MessageAnswer(answer));

        box->click();

        QCOMPARE(int(f.boxes.shown.size()), 1);
        QCOMPARE(f.boxes.shown[0].text, std::string(MessageCatalogue::Text(messageId)));
        QCOMPARE(f.boxes.shown[0].icon, MessageIcon::Question);
        QCOMPARE(f.boxes.shown[0].buttons, MessageButtons::YesNo);
        QCOMPARE(d.IsControlEnabled(kIdSetIp), setIpEnabled);
        QCOMPARE(d.IsChecked(kIdEnableSetIp), boxChecked);

        if (boxChecked) {
            // Clearing the box takes Set IP away without a question.
            box->click();
            QCOMPARE(int(f.boxes.shown.size()), 1);
            QVERIFY(!d.IsControlEnabled(kIdSetIp));
            QVERIFY(!d.IsChecked(kIdEnableSetIp));
        }
    }

    void listClickTakesTheSelectionMarkWhenIdle_data()
    {
        QTest::addColumn<int>("busy");
        QTest::addColumn<int>("selectedAfter");
        QTest::newRow("idle") << 0 << 2;
        QTest::newRow("busy") << 1 << 0;
    }
    void listClickTakesTheSelectionMarkWhenIdle()
    {
        QFETCH(int, busy);
        QFETCH(int, selectedAfter);
        DialogFixture f;
        QVERIFY(f.Make(TestPc{}));
        MainDialog& d = *f.dialog;
        ListTwoUnits(d);
        QVERIFY(ShowActive(d));
        QTreeWidget* list = ListOf(d);
        d.State().devices.SelectedRow = 0;
        d.State().m_bBusy = busy;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, RowCentre(list, 2));
        QCOMPARE(d.State().devices.SelectedRow, selectedAfter);
    }

    void enterInTheListOpensTheWebTool_data()
    {
        QTest::addColumn<int>("busy");
        QTest::addColumn<int>("unitsFound");
        QTest::addColumn<int>("webToolCalls");
        QTest::newRow("idle with units") << 0 << 1 << 1;
        QTest::newRow("no units") << 0 << 0 << 0;
        QTest::newRow("busy") << 1 << 1 << 0;
    }
    void enterInTheListOpensTheWebTool()
    {
        QFETCH(int, busy);
        QFETCH(int, unitsFound);
        QFETCH(int, webToolCalls);
        DialogFixture f;
        QVERIFY(f.Make(TestPc{}));
        MainDialog& d = *f.dialog;
        HookLog log;
        RecordAll(d, log);
        ListTwoUnits(d);
        d.State().UnitsFound = unitsFound;
        QVERIFY(ShowActive(d));
        QTreeWidget* list = ListOf(d);
        list->setFocus();
        list->setCurrentItem(list->topLevelItem(1));
        d.State().m_bBusy = busy;
        QTest::qWait(250); // past the first tick, so the log holds the first search only
        log.calls.clear();

        QTest::keyClick(list, Qt::Key_Return);
        QTest::qWait(20);

        QCOMPARE(log.Count(kIdWebTool), webToolCalls);
        if (webToolCalls)
            QCOMPARE(d.State().devices.SelectedRow, 1);
        // Enter in the list never reaches the window's default button (FW Update).
        QCOMPARE(log.Count(kIdFwUpdate), 0);
    }

    void keyDownTakesTheRowBeforeTheKeyMoves()
    {
        DialogFixture f;
        QVERIFY(f.Make(TestPc{}));
        MainDialog& d = *f.dialog;
        ListTwoUnits(d);
        QVERIFY(ShowActive(d));
        QTreeWidget* list = ListOf(d);
        list->setFocus();
        list->setCurrentItem(list->topLevelItem(1));

        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(d.State().devices.SelectedRow, 1);
        QCOMPARE(list->currentIndex().row(), 2);
        QTest::keyClick(list, Qt::Key_Up);
        QCOMPARE(d.State().devices.SelectedRow, 2);

        d.State().m_bBusy = 1;
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(d.State().devices.SelectedRow, 2); // untouched while busy
    }

    void focusTakesTheSelectionMarkEvenWhenBusy()
    {
        DialogFixture f;
        QVERIFY(f.Make(TestPc{}));
        MainDialog& d = *f.dialog;
        ListTwoUnits(d);
        QVERIFY(ShowActive(d));
        d.Control(kIdExit)->setFocus();
        d.SetSelectionMark(2);
        d.State().devices.SelectedRow = 0;
        d.State().m_bBusy = 1;
        ListOf(d)->setFocus(Qt::TabFocusReason);
        QTRY_COMPARE(d.State().devices.SelectedRow, 2);
    }

    void doubleClickGoesToTheWebToolHandler_data()
    {
        QTest::addColumn<int>("busy");
        QTest::addColumn<int>("calls");
        QTest::newRow("idle") << 0 << 1;
        QTest::newRow("busy") << 1 << 0;
    }
    void doubleClickGoesToTheWebToolHandler()
    {
        QFETCH(int, busy);
        QFETCH(int, calls);
        DialogFixture f;
        QVERIFY(f.Make(TestPc{}));
        MainDialog& d = *f.dialog;
        HookLog log;
        RecordAll(d, log);
        ListTwoUnits(d);
        QVERIFY(ShowActive(d));
        QTest::qWait(250);
        log.calls.clear();
        d.State().m_bBusy = busy;
        QTreeWidget* list = ListOf(d);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, RowCentre(list, 1));
        QCOMPARE(log.Count(kDoubleClick), calls);
        QCOMPARE(log.Count(kIdWebTool), 0);
    }

    void rowsAreReplacedAppendedAndCleared()
    {
        DialogFixture f;
        QVERIFY(f.Make(TestPc{}));
        MainDialog& d = *f.dialog;
        QTreeWidget* list = ListOf(d);
        d.ShowRow(5, UnitRecord("NAS-A", "192.168.0.20", 0)); // past the end: appended
        QCOMPARE(list->topLevelItemCount(), 2);
        QCOMPARE(list->topLevelItem(1)->text(0), QStringLiteral("NAS-A"));
        d.ShowRow(1, UnitRecord("NAS-Z", "192.168.0.99", 3)); // an existing row: replaced
        QCOMPARE(list->topLevelItemCount(), 2);
        QCOMPARE(list->topLevelItem(1)->text(2), QStringLiteral("192.168.0.99"));
        QCOMPARE(list->topLevelItem(1)->text(3), QStringLiteral("VELDIX [3]"));

        // The selection mark moves the current row without selecting it.
        d.SetSelectionMark(1);
        QCOMPARE(list->currentIndex().row(), 1);
        QCOMPARE(d.FirstSelectedListRow(), -1);
        list->setCurrentItem(list->topLevelItem(1));
        QCOMPARE(d.FirstSelectedListRow(), 1);
        d.SetSelectionMark(7); // past the end: no current row at all
        QVERIFY(!list->currentIndex().isValid());

        d.ClearList();
        QCOMPARE(list->topLevelItemCount(), 0);
    }

    void f1OpensTheHelpPageOfTheLanguage_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("directory");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("busy");
        QTest::addColumn<QString>("url");
        QTest::newRow("en") << kEnglish << "/opt/zelvo/" << int(Qt::NoModifier) << 0
                            << "file:///opt/zelvo/quixhlpe.html";
        QTest::newRow("ja") << kLanguageJapanese << "/opt/zelvo/" << int(Qt::NoModifier) << 0
                            << "file:///opt/zelvo/quixhlpj.html";
        QTest::newRow("while busy") << kEnglish << "/opt/zelvo/" << int(Qt::NoModifier) << 1
                                    << "file:///opt/zelvo/quixhlpe.html";
        QTest::newRow("directory with a space")
            << kEnglish << "/home/a b/zelvo/" << int(Qt::NoModifier) << 0
            << "file:///home/a%20b/zelvo/quixhlpe.html";
        QTest::newRow("shift") << kEnglish << "/opt/zelvo/" << int(Qt::ShiftModifier) << 0 << "";
        QTest::newRow("ctrl") << kEnglish << "/opt/zelvo/" << int(Qt::ControlModifier) << 0 << "";
        QTest::newRow("alt") << kEnglish << "/opt/zelvo/" << int(Qt::AltModifier) << 0 << "";
    }
    void f1OpensTheHelpPageOfTheLanguage()
    {
        QFETCH(int, language);
        QFETCH(QString, directory);
        QFETCH(int, modifiers);
        QFETCH(int, busy);
        QFETCH(QString, url);
        DialogFixture f;
        TestPc pc;
        pc.language = language;
        QVERIFY(f.Make(pc, directory.toStdString()));
        QVERIFY(ShowActive(*f.dialog));
        f.dialog->State().m_bBusy = busy;
        QTest::keyClick(f.dialog.get(), Qt::Key_F1, Qt::KeyboardModifiers(modifiers));
        const std::vector<std::string> opened = f.urls.Opened();
        if (url.isEmpty()) {
            QVERIFY(opened.empty());
        } else {
            QCOMPARE(int(opened.size()), 1);
            QCOMPARE(QString::fromStdString(opened[0]), url);
        }
    }

    void aboutBoxIsJapaneseInEveryLanguage_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<int>("busy");
        QTest::newRow("en") << kEnglish << 0;
        QTest::newRow("ja") << kLanguageJapanese << 0;
        QTest::newRow("busy: no box") << kEnglish << 1;
    }
    void aboutBoxIsJapaneseInEveryLanguage()
    {
        QFETCH(int, language);
        QFETCH(int, busy);
        DialogFixture f;
        TestPc pc;
        pc.language = language;
        QVERIFY(f.Make(pc));
        QString caption;
        QString version;
        QTimer::singleShot(0, [&] {
            if (auto* box = qobject_cast<AboutBox*>(QApplication::activeModalWidget())) {
                caption = box->windowTitle();
                if (auto* line = box->findChild<QLabel*>(QStringLiteral("aboutVersion")))
                    version = line->text();
                box->accept();
            }
        });
        f.dialog->State().m_bBusy = busy;
        f.dialog->OnSystemCommand(MainDialog::kAboutCommand);
        QTest::qWait(20);
        if (busy) {
            QVERIFY(caption.isEmpty());
            return;
        }
        QCOMPARE(caption, QString::fromUtf8("ﾊﾞｰｼﾞｮﾝ情報"));
        QCOMPARE(version, QString::fromUtf8("Zelvoセットアップツール Version 1.00"));
    }

    void windowMenuOffersTheAboutItemOnlyWhenIdle_data()
    {
        QTest::addColumn<int>("busy");
        QTest::addColumn<QStringList>("items");
        QTest::newRow("idle") << 0 << QStringList{QString::fromUtf8("ﾊﾞｰｼﾞｮﾝ情報(&A)...")};
        QTest::newRow("busy") << 1 << QStringList{};
    }
    void windowMenuOffersTheAboutItemOnlyWhenIdle()
    {
        QFETCH(int, busy);
        QFETCH(QStringList, items);
        DialogFixture f;
        QVERIFY(f.Make(TestPc{}));
        MainDialog& d = *f.dialog;
        QVERIFY(ShowActive(d));
        d.State().m_bBusy = busy;
        QStringList seen;
        QTimer::singleShot(50, [&] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                for (QAction* action : menu->actions())
                    seen << action->text();
                menu->close();
            }
        });
        const QPoint onBanner = d.BannerRect().center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, onBanner, d.mapToGlobal(onBanner));
        QApplication::sendEvent(&d, &event);
        QTest::qWait(100);
        QCOMPARE(seen, items);
    }
};

QTEST_MAIN(MainDialogCommandsTest)
#include "MainDialogCommandsTest.moc"
