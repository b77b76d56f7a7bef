#include "StyleSheetPreprocessor.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

class TestStyleSheetPreprocessor : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void expandsImportsDefinitionsAndComments();
    void refusedFilesContributeNothing();
    void sizeLimitIsInclusive();
    void longNamesAndSelfReferencesEnd();
    void commentsGoWholeHoweverLong();
    void programStyleExpandsCompletely();

private:
    QString write(const QString& name, const QByteArray& content);
    QTemporaryDir dir;
};

void TestStyleSheetPreprocessor::initTestCase()
{
    QVERIFY(dir.isValid());
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

QString TestStyleSheetPreprocessor::write(const QString& name, const QByteArray& content)
{
    const QString path = dir.filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(content);
    return QFileInfo(path).canonicalFilePath();
}

void TestStyleSheetPreprocessor::expandsImportsDefinitionsAndComments()
{
    write("sub/colors.qsse", "$fg: #111;\n$bg: $fg;\n");
    write("sub/a.css", "A { color: $fg; }\n");
    write("sub/b.css", "B {}\n");
    const QString main = write("sub/main.css",
                               "@import \"colors.qsse\";\n"
                               "/* a comment\n   over lines */QLabel { color: $fg; } // kept\n"
                               "\n"
                               "  @import 'a.css';  @import \"b.css\";\n"
                               "$w: 3px; $h: 4px;\n"
                               "  $pad: $w; QWidget { padding: $pad; }   \n"
                               "$w: 9px;\n"
                               "$early: $later;\n"
                               "QFrame { border: $w $h $bg$missing; }\n");
    StyleSheetPreprocessor pre(QString{});
    pre.defineVariable("$caller", "1px");
    pre.defineVariable("$caller", "2px");
    const QString out = pre.processFile(dir.filePath("sub/main.css"));
    QCOMPARE(out, QStringLiteral("QLabel { color: #111; } // kept\n"
                                 "\n"
                                 "A { color: #111; }\n"
                                 "B {}\n"
                                 "  QWidget { padding: 3px; }\n"
                                 "QFrame { border: 3px 4px #111; }\n"));
    QCOMPARE(pre.errors(),
             (QStringList{"style sheet variable $w in \"$w: 9px;\" in file \"" + main + "\" is already defined.",
                          "style sheet variable $later in \"$early: $later;\" in file \"" + main
                              + "\" is not defined.",
                          "style sheet variable $missing in \"QFrame { border: $w $h $bg$missing; }\" in file \""
                              + main + "\" is not defined."}));
    // The caller's second definition was refused before any file was taken up; the next
    // run clears the errors but keeps every variable.
    write("sub/use.css", "X { width: $caller; height: $h; }\n");
    QCOMPARE(pre.processFile(dir.filePath("sub/use.css")), QStringLiteral("X { width: 1px; height: 4px; }\n"));
    QVERIFY(pre.errors().isEmpty());
}

void TestStyleSheetPreprocessor::refusedFilesContributeNothing()
{
    const QString self = write("self.css", "S1 {}\n@import \"self.css\";\nS2 {}\n");
    const QString ping = write("ping.css", "P {}\n@import \"pong.css\";\n");
    const QString pong = write("pong.css", "Q {}\n@import \"ping.css\";\n");
    const QString once = write("once.css", "O {}\n");
    const QString twice = write("twice.css",
                                "@import \"once.css\";\n@import \"once.css\";\n@import \"gone.css\";\n"
                                "@import \"\";\n@import \"self.css\"\n");
    StyleSheetPreprocessor pre(QString{});
    QCOMPARE(pre.processFile(self), QStringLiteral("S1 {}\nS2 {}\n"));
    QCOMPARE(pre.errors(), QStringList{"style sheet file \"" + self + "\" cannot be processed recursively."});
    QCOMPARE(pre.processFile(ping), QStringLiteral("P {}\nQ {}\n"));
    QCOMPARE(pre.errors(), QStringList{"style sheet file \"" + ping + "\" cannot be processed recursively."});

    QCOMPARE(pre.processFile(twice), QStringLiteral("O {}\nS1 {}\nS2 {}\n"));
    QCOMPARE(pre.errors(),
             (QStringList{"style sheet file \"" + once + "\" already processed.",
                          "style sheet file \"" + QFileInfo(twice).absolutePath() + "/gone.css\" does not exist.",
                          "style sheet file \"" + twice + "\" contains empty style sheet file name in \"@import \"\";\" - ignoring...",
                          "import clause for \"self.css\" in file \"" + twice + "\" not terminated with semicolon.",
                          "style sheet file \"" + self + "\" cannot be processed recursively."}));
    Q_UNUSED(pong)

    QCOMPARE(pre.processFile(QString()), QString());
    QCOMPARE(pre.errors(), QStringList{"style sheet file \"\" will be ignored - empty style sheet file name."});
}

void TestStyleSheetPreprocessor::sizeLimitIsInclusive()
{
    QByteArray content(int(StyleSheetPreprocessor::MaxFileSize), ' ');
    content.replace(0, 4, "A{}\n");
    const QString exact = write("exact.css", content);
    const QString over = write("over.css", content + ' ');
    StyleSheetPreprocessor pre(QString{});
    QCOMPARE(pre.processFile(exact), QStringLiteral("A{}\n\n"));
    QVERIFY(pre.errors().isEmpty());
    QCOMPARE(pre.processFile(over), QString());
    QCOMPARE(pre.errors(), QStringList{"style sheet file \"" + over + "\" exceeds limit of 1,000,000 bytes."});
}

void TestStyleSheetPreprocessor::longNamesAndSelfReferencesEnd()
{
    // A long name that is not a definition must neither take long nor be cut into pieces:
    // each line below once cost the definition pattern millions of backtracking steps
    // (over a second for the file, against some 50 ms now).
    const QByteArray longName = "$a" + QByteArray(10000, 'b');
    const QByteArray notDefinition = longName + " Y { w: 1px; }\n";
    const QString file = write("long.css", "X { w: " + longName + "; }\n" + notDefinition.repeated(90) + longName
                                               + "-c: 5px;\nZ { w: " + longName + "-c; }\n");
    StyleSheetPreprocessor pre(QString{});
    QElapsedTimer timer;
    timer.start();
    const QString out = pre.processFile(file);
    QVERIFY2(timer.elapsed() < 800, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(out, "X { w: ; }\n" + QString(" Y { w: 1px; }\n").repeated(90) + "Z { w: 5px; }\n");
    QCOMPARE(pre.errors().size(), 91);
    QVERIFY(pre.errors().at(1).startsWith("style sheet variable " + longName + " in \"" + longName + " Y { w: 1px; }\""));

    // A caller's value that names itself stops with one error instead of growing forever.
    StyleSheetPreprocessor loop(QString{});
    loop.defineVariable("$a", "x$a");
    const QString loopFile = write("loop.css", "L { w: $a; }\n");
    const QString loopOut = loop.processFile(loopFile);
    QVERIFY(loopOut.startsWith("L { w: xxx") && loopOut.endsWith("x; }\n") && !loopOut.contains('$'));
    QCOMPARE(loop.errors().size(), 1);
    QVERIFY(loop.errors().at(0).endsWith("refers to itself: substitution stopped after 1000 nested replacements."));
}

void TestStyleSheetPreprocessor::commentsGoWholeHoweverLong()
{
    // A banner of stars once made the pattern give up: the comment stayed and was expanded as rules.
    const QByteArray stars(20000, '*');
    const QString file = write("banner.css", "A {}\n/" + stars + "\nB { w: $undefined; }\n" + stars + "/C {}\n/* x */D {}\n");
    StyleSheetPreprocessor pre(QString{});
    QCOMPARE(pre.processFile(file), QStringLiteral("A {}\nC {}\nD {}\n"));
    QVERIFY(pre.errors().isEmpty());

    // Everywhere else exactly what the pattern removed: every text of up to 8 characters
    // made of slashes, stars, a letter and line breaks ("/*/", "/**/", an unterminated "/*"...).
    const QRegularExpression pattern(QStringLiteral("/\\*(?>(?:(?>[^*]+)|\\*(?!/))*)\\*/"),
                                     QRegularExpression::MultilineOption);
    for (int code = 1; code <= 87380; ++code) {  // each text of 1 to 8 of them once (4 + 16 + ... + 65536)
        QString text;
        for (int rest = code; rest > 0; rest = (rest - 1) / 4)
            text += QStringLiteral("/*a\n").at((rest - 1) % 4);
        if (removeStyleSheetComments(text) != QString(text).remove(pattern))
            QFAIL(qPrintable(QStringLiteral("\"%1\" gives \"%2\"").arg(text, removeStyleSheetComments(text))));
    }
}

void TestStyleSheetPreprocessor::programStyleExpandsCompletely()
{
    Q_INIT_RESOURCE(resources);
    // The variables the main window defines, here at the scale of a 1040-pixel screen.
    const double scale = 1.3;
    StyleSheetPreprocessor pre(QStringLiteral(":/qss"));
    const QList<QPair<const char*, double>> sizes{{"$font-size-s", 12.4}, {"$font-size-m", 15},
                                                  {"$font-size-l", 24},   {"$font-size-l-1", 23},
                                                  {"$input-height", 30},  {"$appBar-height", 52},
                                                  {"$tab-width", 120},    {"$xRadius", 4},
                                                  {"$xPadding", 9},       {"$ctrlBtn-width", 115}};
    for (const auto& size : sizes)
        pre.defineVariable(size.first, QStringLiteral("%1px").arg(std::ceil(size.second * scale)));
    pre.defineVariable("$border-width", "1px");
    pre.defineVariable("$border-width-l", "2px");
    const QString style = pre.processFile(QStringLiteral("style.css"));
    QVERIFY(pre.errors().isEmpty());
    QVERIFY(!style.contains('$'));
    for (const char* expected : {"#appBar", "#FAFCFD", "#1890ff", "17px", "qlineargradient", ":/Icon/down_arrow.svg",
                                 ":/Icon/checkbox_checked_disabled.svg", "#btnsProjectManage", "150px"})
        QVERIFY2(style.contains(QLatin1String(expected)), expected);
    // Every image the style names is compiled in.
    QRegularExpression url(QStringLiteral("url\\(([^)]+)\\)"));
    for (auto it = url.globalMatch(style); it.hasNext();) {
        const QString path = it.next().captured(1);
        QVERIFY2(QFile::exists(path), qPrintable(path));
    }
}

QTEST_MAIN(TestStyleSheetPreprocessor)
#include "tst_stylesheetpreprocessor.moc"
