#include "ProjectAbout.h"

#include <QJsonValue>

#include <cstring>

st_ProjectAbout defaultProjectAbout()
{
    st_ProjectAbout record;
    std::memset(&record, 0, sizeof(record));
    const QString null = QStringLiteral("null");
    toCharField(record.ProjectName, null);
    toCharField(record.ProjectAddress, null);
    toCharField(record.OperatorName, null);
    toCharField(record.AppBuild, null);
    return record;
}

void toCharField(char (&field)[ProjectAboutFieldSize], const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    const int length = qMin(utf8.size(), ProjectAboutFieldSize - 1);
    std::memcpy(field, utf8.constData(), size_t(length));
    field[length] = '\0';
}

QString charFieldText(const char (&field)[ProjectAboutFieldSize])
{
    return QString::fromUtf8(field, int(qstrnlen(field, ProjectAboutFieldSize)));
}

void fillProjectAbout(st_ProjectAbout& record, const QJsonObject& about)
{
    record.ProjectID = about.value(QStringLiteral("ProjectID")).toVariant().toLongLong();
    toCharField(record.ProjectName, about.value(QStringLiteral("ProjectName")).toString());
    toCharField(record.ProjectAddress, about.value(QStringLiteral("ProjectAddress")).toString());
    toCharField(record.OperatorName, about.value(QStringLiteral("OperatorName")).toString());
    toCharField(record.AppBuild, about.value(QStringLiteral("AppBuild")).toString());
}

QByteArray projectAboutToBytes(const st_ProjectAbout& record)
{
    return QByteArray(reinterpret_cast<const char*>(&record), int(sizeof(record)));
}
