// Shows progress passes over a stand-in main window, for looking at the popup under a
// real X server: ui_progress_demo ja|en progress KIND|timed PHASE|search|retrieve [seconds]
#include "app/UiLanguage.h"
#include "ui/ProgressPassRunner.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: %s ja|en progress KIND|timed PHASE|search|retrieve [seconds]\n",
                     argv[0]);
        return 2;
    }
    const bool japanese = std::strcmp(argv[1], "ja") == 0;
    const int language = japanese ? zelvo::kLanguageJapanese : 409;
    const std::string routine = argv[2];
    const int arg = argc > 3 ? std::atoi(argv[3]) : 0;
    const int seconds = argc > 4 ? std::atoi(argv[4]) : 5;
    const std::string title = japanese ? "Zelvoセットアップツール" : "Zelvo Setup Tool";

    QLabel owner(QStringLiteral("(main window)"));
    owner.setAlignment(Qt::AlignCenter);
    owner.setWindowTitle(QString::fromStdString(title));
    owner.setGeometry(100, 100, 640, 360);
    owner.show();

    zelvo::ProgressPassRunner runner(&owner, language, 2, title);
    QTimer::singleShot(200, [&] {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < seconds * 1000) {
            if (routine == "progress")
                runner.RunProgressPass(60, arg);
            else if (routine == "timed")
                runner.RunTimedPass(10, arg);
            else if (routine == "search")
                runner.RunSearchPass(34, 0);
            else
                runner.RunRetrievePass(20);
        }
        app.quit();
    });
    return app.exec();
}
