#include "NewFileWrite.h"

#include <QDebug>
#include <QFile>

bool writeNewFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::NewOnly)) {
        qWarning() << "writeNewFile" << "cannot create" << path << file.errorString();
        return false;
    }
    const bool written = file.write(data) == data.size() && file.flush();
    file.close();
    if (written && file.error() == QFileDevice::NoError)
        return true;
    qWarning() << "writeNewFile" << "write failed" << path << file.errorString();
    QFile::remove(path);
    return false;
}
