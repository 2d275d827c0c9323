// How the main window's command buttons draw themselves: the default outline, the
// pressed caption, the grey caption of a disabled button and the focus rectangle.
#include "app/CommandButton.h"

#include <QDialog>
#include <QImage>
#include <QTest>

using namespace zelvo;

namespace {

constexpr int kWidth = 100;
constexpr int kHeight = 30;

bool IsBlack(QRgb pixel)
{
    return qRed(pixel) < 30 && qGreen(pixel) < 30 && qBlue(pixel) < 30;
}

// The bounding box of the caption's dark pixels, looked for well inside the frame.
QRect CaptionBox(const QImage& image, int threshold = 110)
{
    QRect box;
    for (int y = 6; y < image.height() - 6; ++y)
        for (int x = 8; x < image.width() - 8; ++x)
            if (qGray(image.pixel(x, y)) < threshold)
                box |= QRect(x, y, 1, 1);
    return box;
}

int DarkestCaptionGrey(const QImage& image)
{
    int darkest = 255;
    for (int y = 6; y < image.height() - 6; ++y)
        for (int x = 8; x < image.width() - 8; ++x)
            darkest = std::min(darkest, qGray(image.pixel(x, y)));
    return darkest;
}

struct ButtonHost
{
    QDialog dialog;
    CommandButton* button;
    CommandButton* other;

    ButtonHost()
    {
        button = new CommandButton(1021, QStringLiteral("Search"), &dialog);
        button->setGeometry(10, 10, kWidth, kHeight);
        other = new CommandButton(2, QStringLiteral("Exit"), &dialog);
        other->setGeometry(10, 50, kWidth, kHeight);
        dialog.resize(140, 100);
    }
    QImage Grab() { return button->grab().toImage().convertToFormat(QImage::Format_RGB32); }
};

} // namespace

class MainDialogCommandButtonTest : public QObject
{
    Q_OBJECT
private slots:
    void focusInsetIsThreeOrAQuarterOfTheSmallerSide_data()
    {
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::addColumn<int>("inset");
        QTest::newRow("ordinary button") << 100 << 30 << 3;
        QTest::newRow("exactly twelve high") << 100 << 12 << 3;
        QTest::newRow("eleven high") << 100 << 11 << 2;
        QTest::newRow("narrow") << 8 << 30 << 2;
        QTest::newRow("tiny") << 3 << 40 << 0;
    }
    void focusInsetIsThreeOrAQuarterOfTheSmallerSide()
    {
        QFETCH(int, w);
        QFETCH(int, h);
        QFETCH(int, inset);
        QCOMPARE(FocusRectInset(w, h), inset);
    }

    void defaultFlagDrawsABlackOutline()
    {
        ButtonHost host;
        const QImage plain = host.Grab();
        host.button->SetDefault(true);
        const QImage outlined = host.Grab();
        QVERIFY(host.button->DefaultFlag());
        for (QPoint p : {QPoint(0, kHeight / 2), QPoint(kWidth - 1, kHeight / 2),
                         QPoint(kWidth / 2, 0), QPoint(kWidth / 2, kHeight - 1)}) {
            QVERIFY2(IsBlack(outlined.pixel(p)),
                     qPrintable(QStringLiteral("%1,%2").arg(p.x()).arg(p.y())));
            QVERIFY(!IsBlack(plain.pixel(p)));
        }
    }

    void pressedCaptionMovesOnePixelRightAndDown()
    {
        ButtonHost host;
        const QRect up = CaptionBox(host.Grab());
        host.button->setDown(true);
        const QRect down = CaptionBox(host.Grab());
        QVERIFY(!up.isEmpty());
        QCOMPARE(down.topLeft(), up.topLeft() + QPoint(1, 1));
        QCOMPARE(down.size(), up.size());
    }

    void disabledCaptionIsGrey()
    {
        ButtonHost host;
        const int enabled = DarkestCaptionGrey(host.Grab());
        host.button->setEnabled(false);
        const int disabled = DarkestCaptionGrey(host.Grab());
        QVERIFY2(enabled < 80, qPrintable(QString::number(enabled)));
        QVERIFY2(disabled > enabled + 40, qPrintable(QString::number(disabled)));
        // Still legible against the face.
        QVERIFY(disabled < 200);
    }

    void focusRectangleLiesInsideTheDrawingArea_data()
    {
        QTest::addColumn<bool>("outlined");
        QTest::newRow("plain") << false;
        QTest::newRow("with default outline") << true;
    }
    void focusRectangleLiesInsideTheDrawingArea()
    {
        QFETCH(bool, outlined);
        ButtonHost host;
        if (outlined)
            host.button->SetDefault(true);
        host.dialog.show();
        host.dialog.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&host.dialog));
        host.other->setFocus();
        QVERIFY(!host.button->hasFocus());
        const QImage without = host.Grab();
        host.button->setFocus();
        QVERIFY(host.button->hasFocus());
        const QImage with = host.Grab();

        // The drawing area shrinks by the outline; the rectangle sits inset inside it.
        const QRect area =
            outlined ? QRect(1, 1, kWidth - 2, kHeight - 2) : QRect(0, 0, kWidth, kHeight);
        const int inset = FocusRectInset(area.width(), area.height());
        const QRect focus = area.adjusted(inset, inset, -inset, -inset);
        int onEdge[4] = {};
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                if (with.pixel(x, y) == without.pixel(x, y))
                    continue;
                const bool left = x == focus.left(), right = x == focus.right();
                const bool top = y == focus.top(), bottom = y == focus.bottom();
                const bool inside = x >= focus.left() && x <= focus.right() && y >= focus.top() &&
                                    y <= focus.bottom();
                QVERIFY2(inside && (left || right || top || bottom),
                         qPrintable(QStringLiteral("changed pixel %1,%2 off the focus rectangle")
                                        .arg(x)
                                        .arg(y)));
                onEdge[0] += left;
                onEdge[1] += right;
                onEdge[2] += top;
                onEdge[3] += bottom;
            }
        }
        for (int count : onEdge)
            QVERIFY(count > 2);
    }
};

QTEST_MAIN(MainDialogCommandButtonTest)
#include "MainDialogCommandButtonTest.moc"
