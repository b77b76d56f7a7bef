#pragma once

#include <QHash>
#include <QMap>
#include <QString>
#include <QStringList>

// Expands a style sheet written with @import clauses, "$name" variables and /* */ comments
// into the plain text that QApplication::setStyleSheet understands. No error stops the
// expansion: what cannot be read contributes nothing and errors() says why.
class StyleSheetPreprocessor
{
public:
    // Files larger than this are refused; one of exactly this size is read.
    static constexpr qint64 MaxFileSize = 1000000;

    explicit StyleSheetPreprocessor(const QString& baseDirectory);

    // The first definition of a name wins; a later one is refused with an error.
    void defineVariable(const QString& name, const QString& value);
    // Expands the file; variables defined so far (and by the file) stay defined.
    QString processFile(const QString& fileName);
    QStringList errors() const;

private:
    QString takeUpFile(const QString& name);
    bool resolve(const QString& name, QString* path, QString* directory);
    bool readFile(const QString& path, QString* text);
    QString expand(const QString& text);
    bool processLine(QString line, QString* out);
    QString substitute(QString text);
    void variableError(const QString& name, const QString& reason);
    void fileError(const QString& fileName, const QString& reason);

    QString baseDirectory;
    QStringList fileStack;
    QStringList directoryStack;
    QHash<QString, bool> processedFiles;
    QMap<QString, QString> variables;
    QString currentLine;
    QStringList errorList;
};

// The text without its comments: each "/*" up to the next "*/", line breaks inside included.
// A "/*" without a closing "*/" is left as it stands.
QString removeStyleSheetComments(const QString& text);
