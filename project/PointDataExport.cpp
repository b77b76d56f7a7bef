#include "PointDataExport.h"

#include "ChannelDataFile.h"
#include "OperatorMessages.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <QtConcurrent>

namespace {

constexpr qint64 SampleOffset = 1024;

// A text cut short by a failed write (a full disk) would pass for the whole recording.
bool finishExport(QFile& output, QTextStream& text)
{
    text.flush();
    if (text.status() == QTextStream::Ok && output.error() == QFileDevice::NoError)
        return true;
    output.remove();
    return false;
}

}  // namespace

QString exportFilePath(const QString& channelFile)
{
    const QFileInfo info(channelFile);
    return info.path() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral("_Export.txt");
}

bool exportChannelFile(const QString& channelFile)
{
    QFile output(exportFilePath(channelFile));
    if (!output.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const DataFileHeader header = readDataFileHeader(channelFile);
    QFile input(channelFile);
    if (!input.open(QIODevice::ReadOnly))
        return false;

    QTextStream text(&output);
    text << "SampleRate-" << header.sampleRate << "\n";
    if (!input.seek(SampleOffset))
        return finishExport(output, text);
    QDataStream samples(&input);
    samples.setByteOrder(QDataStream::LittleEndian);
    const quint64 count = quint64(header.duration) * header.sampleRate;
    for (quint64 i = 1; i <= count; ++i) {
        qint32 sample = 0;
        samples >> sample;
        // A short file ends the text; repeating the last value would invent data.
        if (samples.status() != QDataStream::Ok)
            break;
        text << QString::number(double(i) / header.sampleRate, 'g', 8).leftJustified(10) << ','
             << QString::number(sample * header.lsb, 'g', 8) << "\n";
    }
    return finishExport(output, text);
}

void genPointDirData(const QString& folder)
{
    const QFileInfoList entries = QDir(folder).entryInfoList({QStringLiteral("*.DAT"), QStringLiteral("*.dat")},
                                                             QDir::Files | QDir::NoSymLinks, QDir::Name);
    QStringList files;
    for (const QFileInfo& entry : entries)
        files << entry.absoluteFilePath();
    QAtomicInt failed;
    QtConcurrent::blockingMap(files, [&failed](const QString& file) {
        if (!exportChannelFile(file))
            failed.fetchAndAddRelaxed(1);
    });

    const QString message =
        failed.loadRelaxed() == 0
            ? QCoreApplication::translate("Form_Index", "数据导出成功，位置%1").arg(folder)
            : QCoreApplication::translate("Form_Index", "数据导出失败：%1 个文件未导出，位置%2")
                  .arg(failed.loadRelaxed())
                  .arg(folder);
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, [message] { showSnackbarMessage(message); }, Qt::QueuedConnection);
}
