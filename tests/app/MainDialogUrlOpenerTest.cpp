// The opener that hands help and unit pages to the desktop: the URL reaches the
// program as one argument, untouched by any shell, and the finished child is reaped.
#include "platform/UrlOpener.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using namespace zelvo;

namespace {

// Children of this process that have ended but were never waited for.
int ZombieChildren()
{
    int zombies = 0;
    const QString self = QString::number(getpid());
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // pid (comm) state ppid ...: the command name may hold spaces, so read after ')'.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[0] == "Z" && fields[1] == self.toLatin1())
            ++zombies;
    }
    return zombies;
}

} // namespace

class MainDialogUrlOpenerTest : public QObject
{
    Q_OBJECT
private slots:
    void urlReachesTheProgramAsOneArgument_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("spaces and semicolon") << "a b;c";
        QTest::newRow("command substitution") << "x$(touch pwned)y";
        QTest::newRow("quotes and ampersand") << "q'u\"o&te";
    }
    void urlReachesTheProgramAsOneArgument()
    {
        QFETCH(QString, name);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(name);
        SpawnUrlOpener opener("touch");
        QVERIFY(opener.Open(path.toStdString()));
        QTRY_VERIFY(QFile::exists(path));
        // Only the one file: nothing was split or run.
        QTRY_COMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::NoDotAndDotDot).size(), 1);
        QVERIFY(!QFile::exists(QDir::current().filePath(QStringLiteral("pwned"))));
    }

    void missingProgramIsReported()
    {
        SpawnUrlOpener opener("/nonexistent/zelvo-opener");
        QVERIFY(!opener.Open("file:///tmp/x.html"));
    }

    void finishedChildIsReaped()
    {
        SpawnUrlOpener opener("true");
        for (int i = 0; i < 3; ++i)
            QVERIFY(opener.Open("file:///tmp/x.html"));
        QTRY_COMPARE_WITH_TIMEOUT(ZombieChildren(), 0, 5000);
    }
};

QTEST_GUILESS_MAIN(MainDialogUrlOpenerTest)
#include "MainDialogUrlOpenerTest.moc"
