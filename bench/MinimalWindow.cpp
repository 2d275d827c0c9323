// The reference for the window's start: the smallest Qt Widgets program that shows a
// window of the tool's size. bench/run.sh starts it exactly as it starts the tool.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Zelvo minimal window"));
    window.resize(640, 400);
    window.show();
    return app.exec();
}
