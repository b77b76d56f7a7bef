#include "FileLogger.h"

#include <QDate>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

// The handler is process-wide, so each run of the logger happens in a child process:
// this executable started again with "--child <message tag>" in a scratch directory.
static int runChild(const char* tag)
{
    installFileLogger();
    qDebug().noquote() << QStringLiteral("debug %1 %2 %3").arg(QLatin1String(tag), QStringLiteral("100%"), QStringLiteral("%1"));
    qInfo().noquote() << QStringLiteral("info is dropped");
    qWarning().noquote() << QStringLiteral("warn ") + QLatin1String(tag);
    qCritical().noquote() << QStringLiteral("critical 中文 ") + QLatin1String(tag);
    return 0;
}

class TestFileLogger : public QObject
{
    Q_OBJECT
private slots:
    void linesAreFormattedAndAppendedAcrossRuns();

private:
    QByteArray runInDir(const QString& dir, const QString& tag);
};

QByteArray TestFileLogger::runInDir(const QString& dir, const QString& tag)
{
    QProcess child;
    child.setWorkingDirectory(dir);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), tag});
    if (!child.waitForFinished(30000) || child.exitCode() != 0)
        return QByteArray();
    return child.readAllStandardOutput();
}

void TestFileLogger::linesAreFormattedAndAppendedAcrossRuns()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray out1 = runInDir(dir.path(), QStringLiteral("one"));
    const QByteArray out2 = runInDir(dir.path(), QStringLiteral("two"));
    QVERIFY(!out1.isEmpty());

    QFile file(dir.path() + QStringLiteral("/log/log_%1.txt").arg(QDate::currentDate().toString(QStringLiteral("yyMMdd"))));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    const QByteArray content = file.readAll();
    QVERIFY(content.endsWith("\r\n"));
    QList<QByteArray> lines = content.split('\n');
    QVERIFY(lines.takeLast().isEmpty());
    QCOMPARE(lines.size(), 6);  // three per run, both runs in one file

    const QRegularExpression shape(QStringLiteral(R"(^\[(Debug|Warn|Critical)\] (.*) \((\d{8} \d\d:\d\d:\d\d\.\d{3})\)\r$)"));
    const QStringList expected = {
        QStringLiteral("[Debug] debug one 100% %1"), QStringLiteral("[Warn] warn one"), QStringLiteral("[Critical] critical 中文 one"),
        QStringLiteral("[Debug] debug two 100% %1"), QStringLiteral("[Warn] warn two"), QStringLiteral("[Critical] critical 中文 two")};
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = QString::fromUtf8(lines[i]);
        QVERIFY2(shape.match(line).hasMatch(), qPrintable(line));
        QVERIFY2(line.startsWith(expected[i] + QStringLiteral(" (")), qPrintable(line));
    }
    QVERIFY(!content.contains("info is dropped"));

    // The same lines reach standard output, UTF-8, one per line without CR.
    const QList<QByteArray> echoed = out1.trimmed().split('\n');
    QCOMPARE(echoed.size(), 3);
    QVERIFY(echoed[2].startsWith(QStringLiteral("[Critical] critical 中文 one (").toUtf8()));
    QVERIFY(!out1.contains('\r'));
    QVERIFY(!out1.contains("info is dropped"));
    QVERIFY(out2.contains("warn two"));
}

int main(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--child") == 0)
        return runChild(argv[2]);
    QCoreApplication app(argc, argv);
    TestFileLogger test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_filelogger.moc"
