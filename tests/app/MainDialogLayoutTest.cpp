// The main window's layout: captions by language, the /set layout, positions from
// dialog units, the list's columns and font, the banner, the start-up enabling.
#include "MainDialogTestSupport.h"

#include "app/CommandButton.h"
#include "app/MainDialogLayout.h"
#include "app/UiLanguage.h"

#include <QCheckBox>
#include <QFontInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTreeWidget>

using namespace zelvo;
using namespace zelvo::test;

namespace {

QString TextOf(QWidget* widget)
{
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return button->text();
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    return {};
}

QTreeWidget* ListOf(MainDialog& dialog)
{
    return qobject_cast<QTreeWidget*>(dialog.Control(kIdList));
}

} // namespace

class MainDialogLayoutTest : public QObject
{
    Q_OBJECT
private slots:
    void dialogUnitsRoundToNearestPixel_data()
    {
        QTest::addColumn<int>("units");
        QTest::addColumn<int>("base");
        QTest::addColumn<int>("divisor");
        QTest::addColumn<int>("pixels");
        // x uses base/4, y base/8; halves round up, quarters down.
        QTest::newRow("x exact") << 8 << 6 << 4 << 12;
        QTest::newRow("x quarter down") << 7 << 7 << 4 << 12;     // 12.25
        QTest::newRow("x half up") << 366 << 7 << 4 << 641;       // 640.5
        QTest::newRow("x three quarters up") << 5 << 7 << 4 << 9; // 8.75
        QTest::newRow("y exact") << 8 << 17 << 8 << 17;
        QTest::newRow("y half up") << 4 << 17 << 8 << 9;       // 8.5
        QTest::newRow("y below half") << 49 << 17 << 8 << 104; // 104.125
    }
    void dialogUnitsRoundToNearestPixel()
    {
        QFETCH(int, units);
        QFETCH(int, base);
        QFETCH(int, divisor);
        QFETCH(int, pixels);
        const DialogBaseUnits bases =
            divisor == 4 ? DialogBaseUnits{base, 1} : DialogBaseUnits{1, base};
        const DialogRect r = DialogUnitsToPixels({units, units, units, units}, bases);
        QCOMPARE(divisor == 4 ? r.x : r.y, pixels);
        QCOMPARE(divisor == 4 ? r.w : r.h, pixels);
    }

    void captionsFollowTheLanguage_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<QStringList>("captions"); // in the order of kCaptionIds
        QTest::newRow("en") << kEnglish
                            << QStringList{"Search",    "Web tool", "Back up", "Restore",
                                           "FW Update", "Exit",     "Set IP",  "Enable Set IP"};
        QTest::newRow("ja") << kLanguageJapanese
                            << QString::fromUtf8(
                                   "検  索|Webツール|構成保存|構成復元|ﾌｧｰﾑ更新|終  了|"
                                   "Set IP|IP設定 許可")
                                   .split(u'|');
    }
    void captionsFollowTheLanguage()
    {
        QFETCH(int, language);
        QFETCH(QStringList, captions);
        static constexpr int kCaptionIds[] = {kIdSearch,  kIdWebTool,         kIdBackup,
                                              kIdRestore, kIdFwUpdate,        kIdExit,
                                              kIdSetIp,   kIdEnableSetIpLabel};
        DialogFixture f;
        TestPc pc;
        pc.language = language;
        QVERIFY(f.Make(pc));
        for (int i = 0; i < captions.size(); ++i)
            QCOMPARE(TextOf(f.dialog->Control(kCaptionIds[i])), captions[i]);
    }

    void headersTitleAndHelpFollowTheLanguage_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<QStringList>("headers");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("helpFile");
        QTest::newRow("en") << kEnglish
                            << QStringList{"Computer name", "MAC Address", "IP Address", "Type"}
                            << "Zelvo Setup Tool"
                            << "quixhlpe.html";
        QTest::newRow("ja") << kLanguageJapanese
                            << QStringList{QString::fromUtf8("コンピュータ名"),
                                           QString::fromUtf8("MACアドレス"),
                                           QString::fromUtf8("IPアドレス"),
                                           QString::fromUtf8("タイプ")}
                            << QString::fromUtf8("Zelvoセットアップツール") << "quixhlpj.html";
        // Only "0411" is Japanese: a Chinese system gets English.
        QTest::newRow("zh is English")
            << 804 << QStringList{"Computer name", "MAC Address", "IP Address", "Type"}
            << "Zelvo Setup Tool"
            << "quixhlpe.html";
    }
    void headersTitleAndHelpFollowTheLanguage()
    {
        QFETCH(int, language);
        QFETCH(QStringList, headers);
        QFETCH(QString, title);
        QFETCH(QString, helpFile);
        DialogFixture f;
        TestPc pc;
        pc.language = language;
        QVERIFY(f.Make(pc));
        QTreeWidgetItem* header = ListOf(*f.dialog)->headerItem();
        for (int column = 0; column < 4; ++column)
            QCOMPARE(header->text(column), headers[column]);
        QCOMPARE(QString::fromStdString(f.dialog->State().title), title);
        QCOMPARE(QString::fromStdString(f.dialog->HelpFile()), helpFile);
        // The window caption and the about item stay Japanese in every language.
        QCOMPARE(f.dialog->windowTitle(), QString::fromUtf8("Zelvoセットアップツール"));
        QCOMPARE(f.dialog->AboutItemText(), QString::fromUtf8("ﾊﾞｰｼﾞｮﾝ情報(&A)..."));
    }

    void setSwitchChoosesTheVisibleButtons_data()
    {
        QTest::addColumn<int>("setIpLayout");
        QTest::addColumn<QList<int>>("visible");
        QTest::addColumn<QList<int>>("hidden");
        const QList<int> always{kIdSearch, kIdBackup, kIdRestore, kIdFwUpdate, kIdExit, kIdList};
        QTest::newRow("plain") << 0 << (always + QList<int>{kIdWebTool})
                               << QList<int>{kIdSetIp, kIdEnableSetIp, kIdEnableSetIpLabel,
                                             kIdEnableSetIpGroup};
        QTest::newRow("/set") << 1 << (always + QList<int>{kIdSetIp})
                              << QList<int>{kIdWebTool, kIdEnableSetIp, kIdEnableSetIpLabel,
                                            kIdEnableSetIpGroup};
    }
    void setSwitchChoosesTheVisibleButtons()
    {
        QFETCH(int, setIpLayout);
        QFETCH(QList<int>, visible);
        QFETCH(QList<int>, hidden);
        DialogFixture f;
        TestPc pc;
        pc.setIpLayout = setIpLayout;
        QVERIFY(f.Make(pc));
        f.dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.dialog.get()));
        for (int id : visible)
            QVERIFY2(f.dialog->Control(id)->isVisible(), qPrintable(QString::number(id)));
        for (int id : hidden)
            QVERIFY2(!f.dialog->Control(id)->isVisible(), qPrintable(QString::number(id)));
        // Set IP starts disabled in both layouts.
        QVERIFY(!f.dialog->IsControlEnabled(kIdSetIp));
    }

    void controlsSitAtTheirDialogUnitPositions()
    {
        for (int language : {kEnglish, kLanguageJapanese}) {
            DialogFixture f;
            TestPc pc;
            pc.language = language;
            QVERIFY(f.Make(pc));
            MainDialog& d = *f.dialog;
            const DialogBaseUnits base = d.BaseUnits();
            QVERIFY(base.x > 0 && base.y > 0);
            const DialogRect client =
                DialogUnitsToPixels({0, 0, kMainClientWidthDlu, kMainClientHeightDlu}, base);
            QCOMPARE(d.size(), QSize(client.w, client.h));
            QCOMPARE(d.minimumSize(), d.maximumSize()); // fixed size
            for (int id :
                 {kIdList, kIdSearch, kIdWebTool, kIdSetIp, kIdBackup, kIdRestore, kIdFwUpdate,
                  kIdExit, kIdEnableSetIp, kIdEnableSetIpLabel, kIdEnableSetIpGroup}) {
                const DialogRect r = DialogUnitsToPixels(MainControlRect(id), base);
                QCOMPARE(d.Control(id)->geometry(), QRect(r.x, r.y, r.w, r.h));
            }
            // Search starts under the list's left edge, Exit ends under its right edge.
            const QRect list = d.Control(kIdList)->geometry();
            QCOMPARE(d.Control(kIdSearch)->geometry().left(), list.left());
            QVERIFY(qAbs(d.Control(kIdExit)->geometry().right() - list.right()) <= 1);
            // Buttons lie below the list and inside the window.
            QVERIFY(d.Control(kIdSearch)->geometry().top() > list.bottom());
            QVERIFY(d.Control(kIdExit)->geometry().bottom() < d.height());
        }
    }

    void buttonCaptionsFitTheirButtons()
    {
        for (int language : {kEnglish, kLanguageJapanese}) {
            DialogFixture f;
            TestPc pc;
            pc.language = language;
            QVERIFY(f.Make(pc));
            for (int id :
                 {kIdSearch, kIdWebTool, kIdSetIp, kIdBackup, kIdRestore, kIdFwUpdate, kIdExit}) {
                auto* button = qobject_cast<QPushButton*>(f.dialog->Control(id));
                const QFontMetrics metrics(button->font());
                // Room for the outline, the frame and the focus rectangle on both sides.
                QVERIFY2(metrics.horizontalAdvance(button->text()) + 12 <= button->width(),
                         qPrintable(button->text()));
                QVERIFY(metrics.height() + 4 <= button->height());
            }
        }
    }

    void listColumnsAndFontFollowTheRules()
    {
        for (int language : {kEnglish, kLanguageJapanese}) {
            DialogFixture f;
            TestPc pc;
            pc.language = language;
            QVERIFY(f.Make(pc));
            QTreeWidget* list = ListOf(*f.dialog);
            const int scrollBar = list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr,
                                                             list->verticalScrollBar());
            const int usable = list->width() - 2 * list->frameWidth() - scrollBar;
            int sum = 0;
            for (int column = 0; column < 4; ++column)
                sum += list->columnWidth(column);
            QCOMPARE(sum, usable);
            QCOMPARE(list->columnWidth(0), usable / 4 + 40);

            const int expected = ListFontPixelHeight(IsJapanese(language),
                                                     QFontInfo(QApplication::font()).pixelSize());
            QCOMPARE(list->font().pixelSize(), expected);
            QCOMPARE(list->selectionMode(), QAbstractItemView::SingleSelection);
            QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
        }
    }

    void initialisationListsThePcAndSetsTheSharedState()
    {
        DialogFixture f;
        QVERIFY(f.Make(TestPc{}));
        const DialogState& s = f.dialog->State();
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(s.dhcpMagicCookie), 4),
                 QByteArray("\x63\x82\x53\x63", 4));
        QCOMPARE(s.firstTick, 1); // the first tick has not come yet
        QTreeWidget* list = ListOf(*f.dialog);
        QCOMPARE(list->topLevelItemCount(), 1);
        QTreeWidgetItem* row = list->topLevelItem(0);
        QCOMPARE(row->text(0), QStringLiteral("OFFICE-PC"));
        QCOMPARE(row->text(1), QStringLiteral("00-1a-2b-3c-4d-5e"));
        QCOMPARE(row->text(2), QStringLiteral("192.168.0.10"));
        QCOMPARE(row->text(3), QStringLiteral("Your Host PC"));
    }

    void bannerIsCentredAboveTheList()
    {
        DialogFixture f;
        QVERIFY(f.Make(TestPc{}));
        const QRect banner = f.dialog->BannerRect();
        QVERIFY(!banner.isEmpty());
        const int leftMargin = banner.left();
        const int rightMargin = f.dialog->width() - 1 - banner.right();
        QVERIFY(qAbs(leftMargin - rightMargin) <= 1);
        QCOMPARE(banner.top(), f.dialog->height() / 30);
        QVERIFY(banner.bottom() < f.dialog->Control(kIdList)->geometry().top());
    }

    void defaultOutlinesAndDefaultCommand_data()
    {
        QTest::addColumn<int>("setIpLayout");
        QTest::addColumn<int>("outlinedSwitchButton");
        QTest::addColumn<int>("plainSwitchButton");
        QTest::newRow("plain") << 0 << int(kIdWebTool) << int(kIdSetIp);
        QTest::newRow("/set") << 1 << int(kIdSetIp) << int(kIdWebTool);
    }
    void defaultOutlinesAndDefaultCommand()
    {
        QFETCH(int, setIpLayout);
        QFETCH(int, outlinedSwitchButton);
        QFETCH(int, plainSwitchButton);
        DialogFixture f;
        TestPc pc;
        pc.setIpLayout = setIpLayout;
        QVERIFY(f.Make(pc));
        auto button = [&](int id) { return static_cast<CommandButton*>(f.dialog->Control(id)); };
        for (int id : {int(kIdSearch), int(kIdExit), int(kIdRestore), int(kIdBackup),
                       int(kIdFwUpdate), outlinedSwitchButton})
            QVERIFY2(button(id)->DefaultFlag(), qPrintable(QString::number(id)));
        QVERIFY(!button(plainSwitchButton)->DefaultFlag());
        // FW Update was told last: Enter outside the list gives its command.
        QVERIFY(button(kIdFwUpdate)->isDefault());
        for (int id : {kIdSearch, kIdExit, kIdRestore, kIdBackup, kIdWebTool, kIdSetIp})
            QVERIFY(!button(id)->isDefault());
    }

    void startUpEnabling_data()
    {
        QTest::addColumn<bool>("zeroMac");
        QTest::addColumn<int>("browseCheck");
        QTest::addColumn<int>("noHostMac");
        QTest::addColumn<QList<int>>("enabled");
        QTest::addColumn<QList<int>>("disabled");
        QTest::newRow("normal PC")
            << false << 1 << 0
            << QList<int>{kIdSearch, kIdBackup, kIdRestore, kIdFwUpdate, kIdExit, kIdWebTool}
            << QList<int>{kIdSetIp, kIdEnableSetIp};
        QTest::newRow("PC without MAC")
            << true << 1 << 1 << QList<int>{kIdFwUpdate, kIdExit, kIdWebTool}
            << QList<int>{kIdSearch, kIdBackup, kIdRestore, kIdSetIp, kIdEnableSetIp};
        // A failed browse check ends the initialisation before the MAC is looked at.
        QTest::newRow("browse check failed, no MAC")
            << true << 0 << 0
            << QList<int>{kIdSearch, kIdBackup, kIdRestore, kIdEnableSetIp, kIdExit}
            << QList<int>{kIdSetIp};
    }
    void startUpEnabling()
    {
        QFETCH(bool, zeroMac);
        QFETCH(int, browseCheck);
        QFETCH(int, noHostMac);
        QFETCH(QList<int>, enabled);
        QFETCH(QList<int>, disabled);
        DialogFixture f;
        TestPc pc;
        pc.zeroMac = zeroMac;
        pc.browseCheckResult = browseCheck;
        QVERIFY(f.Make(pc));
        QCOMPARE(f.dialog->State().NoHostMac, noHostMac);
        for (int id : enabled)
            QVERIFY2(f.dialog->IsControlEnabled(id), qPrintable(QString::number(id)));
        for (int id : disabled)
            QVERIFY2(!f.dialog->IsControlEnabled(id), qPrintable(QString::number(id)));
    }

    void maskIsReadOnlyWithoutNetworkInformation_data()
    {
        QTest::addColumn<int>("netInfo");
        QTest::addColumn<int>("browseCheck");
        QTest::addColumn<int>("readingResult");
        QTest::addColumn<int>("readings");
        QTest::addColumn<int>("netInfoAfter");
        QTest::newRow("have info") << 1 << 1 << 0 << 0 << 1;
        QTest::newRow("no info, list read") << 0 << 1 << 1 << 1 << 1;
        QTest::newRow("no info, list unreadable") << 0 << 1 << 0 << 1 << 0;
        QTest::newRow("browse check failed") << 0 << 0 << 1 << 0 << 0;
    }
    void maskIsReadOnlyWithoutNetworkInformation()
    {
        QFETCH(int, netInfo);
        QFETCH(int, browseCheck);
        QFETCH(int, readingResult);
        QFETCH(int, readings);
        QFETCH(int, netInfoAfter);
        DialogFixture f;
        f.maskReadingResult = readingResult;
        TestPc pc;
        pc.netInfoAvailable = netInfo;
        pc.browseCheckResult = browseCheck;
        QVERIFY(f.Make(pc));
        QCOMPARE(f.browseChecks, 1);
        QCOMPARE(f.maskReadings, readings);
        QCOMPARE(f.dialog->State().host.NetInfoAvailable, netInfoAfter);
    }

    void refusedSurveyLeavesTheWindowUnmade()
    {
        DialogFixture f;
        TestPc pc;
        pc.surveyResult = -1;
        QVERIFY(!f.Make(pc));
        QCOMPARE(f.browseChecks, 0);
        QCOMPARE(ListOf(*f.dialog)->topLevelItemCount(), 0);
        QVERIFY(f.dialog->HelpFile().empty());
    }
};

QTEST_MAIN(MainDialogLayoutTest)
#include "MainDialogLayoutTest.moc"
