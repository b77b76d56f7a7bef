#include "QtTranslation.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool installQtTranslation(QCoreApplication* app)
{
    const QStringList folders{QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("translations")),
                              QLibraryInfo::location(QLibraryInfo::TranslationsPath)};
    // "qt_zh_CN.qm" is Qt's catalogue of its own modules (Debian's loads qtbase_zh_CN.qm beside
    // it; a Windows deployment ships it merged).
    auto* translator = new QTranslator(app);
    for (const QString& folder : folders) {
        if (translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qt"), QStringLiteral("_"), folder)) {
            app->installTranslator(translator);
            return true;
        }
    }
    qWarning() << "Qt translation qt_zh_CN not found in" << folders << "- Qt's own texts stay English";
    delete translator;
    return false;
}
