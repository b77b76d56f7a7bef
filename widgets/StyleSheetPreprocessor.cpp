#include "StyleSheetPreprocessor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>

namespace {

// A name is "$", a letter, then letters and digits in groups joined by single hyphens.
// Written so that no run of letters can be split in more than one way: a long "$name"
// that is not followed by what a definition needs fails at once instead of trying every
// split of its letters.
const QString variablePattern = QStringLiteral("\\$[A-Za-z][0-9A-Za-z]*+(?:-[0-9A-Za-z]++)*+");

const QRegularExpression& trailingBlanksExpression()
{
    static const QRegularExpression re(QStringLiteral("\\s+$"));
    return re;
}

const QRegularExpression& variableExpression()
{
    static const QRegularExpression re(variablePattern);
    return re;
}

const QRegularExpression& definitionExpression()
{
    static const QRegularExpression re(QStringLiteral("^(\\s*)(%1)\\s*:\\s*(.+?)\\s*;\\s*").arg(variablePattern));
    return re;
}

const QRegularExpression& importExpression()
{
    static const QRegularExpression re(QStringLiteral("^(\\s*)@import\\s*%1\\s*(;?)\\s*")
                                           .arg(QStringLiteral("([\"'])((?:(?!\\2).)*)\\2")));
    return re;
}

QString withoutTrailingBlanks(const QString& text)
{
    QString result = text;
    return result.remove(trailingBlanksExpression());
}

// Replacements inside text that an earlier replacement put there; only a value that refers
// to itself, directly or through other values, gets anywhere near this.
constexpr int MaxNestedReplacements = 1000;

// Keeps the current line for error texts while a clause is worked on, and restores it after.
class CurrentLineScope
{
public:
    CurrentLineScope(QString& line, const QString& value)
        : line(line)
        , saved(line)
    {
        line = value;
    }
    ~CurrentLineScope() { line = saved; }

private:
    QString& line;
    QString saved;
};

} // namespace

QString removeStyleSheetComments(const QString& text)
{
    // A scan rather than a pattern: a pattern gives up silently on a long comment.
    static const QString open = QStringLiteral("/*");
    static const QString close = QStringLiteral("*/");
    QString out;
    int from = 0;
    for (;;) {
        const int start = text.indexOf(open, from);
        // The closing mark may not share the star of the opening one ("/*/" is still open).
        const int end = start < 0 ? -1 : text.indexOf(close, start + open.size());
        if (end < 0)
            break; // an unterminated comment stays, and so does all after it
        out += text.midRef(from, start - from);
        from = end + close.size();
    }
    out += text.midRef(from);
    return out;
}

StyleSheetPreprocessor::StyleSheetPreprocessor(const QString& baseDirectory)
    : baseDirectory(baseDirectory.isEmpty() ? QStringLiteral(":/StyleSheets/") : baseDirectory)
{
}

void StyleSheetPreprocessor::defineVariable(const QString& name, const QString& value)
{
    if (variables.contains(name)) {
        variableError(name, QStringLiteral("is already defined."));
        return;
    }
    variables.insert(name, value);
}

QString StyleSheetPreprocessor::processFile(const QString& fileName)
{
    processedFiles.clear();
    errorList.clear();
    if (fileName.isEmpty()) {
        fileError(fileName, QStringLiteral("will be ignored - empty style sheet file name."));
        return QString();
    }
    return takeUpFile(fileName);
}

QStringList StyleSheetPreprocessor::errors() const
{
    return errorList;
}

QString StyleSheetPreprocessor::takeUpFile(const QString& name)
{
    QString path;
    QString directory;
    if (!resolve(name, &path, &directory))
        return QString();
    if (fileStack.contains(path)) {
        fileError(path, QStringLiteral("cannot be processed recursively."));
        return QString();
    }
    if (processedFiles.contains(path)) {
        fileError(path, QStringLiteral("already processed."));
        return QString();
    }
    processedFiles.insert(path, true);
    fileStack.append(path);
    directoryStack.append(directory);
    QString text;
    const QString result = readFile(path, &text) ? expand(text) : QString();
    fileStack.removeLast();
    directoryStack.removeLast();
    return result;
}

bool StyleSheetPreprocessor::resolve(const QString& name, QString* path, QString* directory)
{
    const QString candidate = QFileInfo(name).isRelative() && !directoryStack.isEmpty()
                                  ? QDir(directoryStack.last()).filePath(name)
                                  : name;
    const QFileInfo candidateInfo(candidate);
    *directory = QDir(candidateInfo.absolutePath()).canonicalPath();

    if (!baseDirectory.isEmpty()) {
        const QFileInfo inBase(QDir(baseDirectory).filePath(candidateInfo.fileName()));
        if (inBase.exists()) {
            *path = inBase.canonicalFilePath();
            return true;
        }
    }
    if (candidateInfo.exists()) {
        *path = candidateInfo.canonicalFilePath();
        return true;
    }
    fileError(candidateInfo.absoluteFilePath(), QStringLiteral("does not exist."));
    return false;
}

bool StyleSheetPreprocessor::readFile(const QString& path, QString* text)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        fileError(path, QStringLiteral("couldn't be opened."));
        return false;
    }
    if (file.size() > MaxFileSize) {
        fileError(path, QStringLiteral("exceeds limit of %L2 bytes.").arg(MaxFileSize));
        return false;
    }
    const QByteArray bytes = file.readAll();
    // Text ends at a first zero byte, as a C string would.
    *text = QString::fromUtf8(bytes.constData(), int(qstrnlen(bytes.constData(), uint(bytes.size()))));
    return true;
}

QString StyleSheetPreprocessor::expand(const QString& text)
{
    QString uncommented = removeStyleSheetComments(text);

    QString out;
    QTextStream lines(&uncommented, QIODevice::ReadOnly);
    QString line;
    while (lines.readLineInto(&line)) {
        if (processLine(line, &out))
            out += QLatin1Char('\n');
    }
    return out;
}

bool StyleSheetPreprocessor::processLine(QString line, QString* out)
{
    line = withoutTrailingBlanks(line);
    if (line.isEmpty())
        return true;

    while (!line.trimmed().isEmpty()) {
        const QRegularExpressionMatch clause = importExpression().match(line);
        if (!clause.hasMatch())
            break;
        if (clause.captured(4).isEmpty() && !fileStack.isEmpty())
            errorList.append(QStringLiteral("import clause for \"") + clause.captured(3) + QStringLiteral("\" in file \"")
                             + fileStack.last() + QStringLiteral("\" not terminated with semicolon."));
        {
            CurrentLineScope scope(currentLine, clause.captured(0));
            const QString name = substitute(clause.captured(3));
            if (name.isEmpty())
                fileError(fileStack.value(fileStack.size() - 1),
                          QStringLiteral("contains empty style sheet file name in \"") + clause.captured(0)
                              + QStringLiteral("\" - ignoring..."));
            else
                *out += takeUpFile(name);
        }
        line = clause.captured(1) + line.mid(clause.capturedLength(0));
    }

    for (;;) {
        if (line.trimmed().isEmpty())
            return false;
        const QRegularExpressionMatch definition = definitionExpression().match(line);
        if (!definition.hasMatch())
            break;
        {
            CurrentLineScope scope(currentLine, definition.captured(0));
            defineVariable(definition.captured(2), substitute(definition.captured(3)));
        }
        line = definition.captured(1) + line.mid(definition.capturedLength(0));
    }

    CurrentLineScope scope(currentLine, line);
    *out += substitute(line);
    return true;
}

QString StyleSheetPreprocessor::substitute(QString text)
{
    // Text before a replacement holds no reference, so the search goes on from one
    // character before it (a "$" there may join the inserted value into a new name).
    int from = 0;
    int insertedEnd = -1;
    int nested = 0;
    bool nestingReported = false;
    for (;;) {
        const QRegularExpressionMatch reference = variableExpression().match(text, from);
        if (!reference.hasMatch())
            break;
        const QString name = reference.captured(0);
        const int start = reference.capturedStart(0);
        const bool inInserted = start < insertedEnd;
        QString value;
        if (inInserted && ++nested > MaxNestedReplacements) {
            if (!nestingReported)
                variableError(name, QStringLiteral("refers to itself: substitution stopped after %1 nested replacements.")
                                        .arg(MaxNestedReplacements));
            nestingReported = true;
        } else if (variables.contains(name)) {
            value = variables.value(name);
        } else {
            variableError(name, QStringLiteral("is not defined."));
        }
        text.replace(start, name.size(), value);
        const int grown = value.size() - name.size();
        insertedEnd = inInserted ? qMax(insertedEnd + grown, start + value.size()) : start + value.size();
        from = qMax(0, start - 1);
    }
    text = withoutTrailingBlanks(text);
    if (text.trimmed().isEmpty())
        return QString();
    return text;
}

void StyleSheetPreprocessor::variableError(const QString& name, const QString& reason)
{
    if (!fileStack.isEmpty() && !currentLine.isEmpty())
        errorList.append(QStringLiteral("style sheet variable ") + name + QStringLiteral(" in \"") + currentLine
                         + QStringLiteral("\" in file \"") + fileStack.last() + QStringLiteral("\" ") + reason);
    else
        errorList.append(QStringLiteral("style sheet variable ") + name + QLatin1Char(' ') + reason);
}

void StyleSheetPreprocessor::fileError(const QString& fileName, const QString& reason)
{
    errorList.append(QStringLiteral("style sheet file \"") + fileName + QStringLiteral("\" ") + reason);
}
