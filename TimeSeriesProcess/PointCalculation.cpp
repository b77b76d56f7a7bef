#include "PointCalculation.h"

#include "OperatorMessages.h"
#include "SoundingMerge.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFuture>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTextStream>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <cmath>
#include <map>
#include <memory>

namespace {

const int BlockLength = 16384;
const int StackMethod = 2;
const int MaxBlocks = 50;
const double Bandwidth = 0.5;

QString tr(const char* text)
{
    return QCoreApplication::translate("PointCalculation", text);
}

// One lock per table path: reading, merging and writing a point's table never overlap.
QMutex& tableLock(const QString& path)
{
    static QMutex registryMutex;
    static std::map<QString, std::unique_ptr<QMutex> > locks;
    const QString key = QFileInfo(path).absoluteFilePath();
    QMutexLocker locker(&registryMutex);
    std::unique_ptr<QMutex>& lock = locks[key];
    if (!lock)
        lock.reset(new QMutex);
    return *lock;
}

QString resultFolder(const QString& pointDir)
{
    return QFileInfo(pointDir).dir().path() + QStringLiteral("/data");
}

// A double as a text stream writes it by default: 6 significant digits, the shorter form.
QString numberText(double value)
{
    QString text;
    QTextStream stream(&text);
    stream << value;
    stream.flush();
    return text;
}

// Fields keep their width where the value fits; a value as wide as its field or wider is
// still separated from its neighbour by one blank, so the line can be read back.
void appendLeft(QString& line, const QString& text, int width)
{
    line += text;
    if (text.size() < width)
        line += QString(width - text.size(), QLatin1Char(' '));
    else if (width > 0)
        line += QLatin1Char(' ');
}

void appendRight(QString& line, const QString& text, int width)
{
    if (text.size() < width)
        line += QString(width - text.size(), QLatin1Char(' '));
    else if (!line.isEmpty() && !line.endsWith(QLatin1Char('\n')))
        line += QLatin1Char(' ');
    line += text;
}

bool saveText(const QString& path, const QString& text)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        qWarning().noquote() << "saveText" << path << file.errorString();
        return false;
    }
    const QByteArray bytes = text.toUtf8();
    if (file.write(bytes) != bytes.size()) {
        qWarning().noquote() << "saveText" << path << file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        qWarning().noquote() << "saveText" << path << file.errorString();
        return false;
    }
    return true;
}

bool writeImpedanceFileLocked(const QString& path, const PointResult& result)
{
    if (result.isEmpty())
        return true;
    static const int widths[] = {4, 10, 12, 14, 10, 12, 0};
    QString text;
    const char* header[] = {"Key", "Frequency", "Coh", "ApparentResis", "Phase", "TrueResis", "Depth"};
    for (int i = 0; i < 7; ++i)
        appendLeft(text, QLatin1String(header[i]), widths[i]);
    text += QLatin1Char('\n');
    for (auto it = result.constBegin(); it != result.constEnd(); ++it) {
        for (const OneFreqImpedance& r : it.value()) {
            appendLeft(text, QString::number(it.key()), widths[0]);
            appendLeft(text, numberText(r.Frequency), widths[1]);
            appendLeft(text, numberText(r.Coh), widths[2]);
            appendLeft(text, numberText(r.ApparentResis), widths[3]);
            appendLeft(text, numberText(r.Phase), widths[4]);
            appendLeft(text, numberText(r.TrueResis), widths[5]);
            appendLeft(text, numberText(r.Depth), widths[6]);
            text += QLatin1Char('\n');
        }
    }
    return saveText(path, text);
}

PointResult readImpedanceFileLocked(const QString& path, bool* readable = nullptr)
{
    PointResult result;
    QFile file(path);
    const bool opened = file.open(QIODevice::ReadOnly | QIODevice::Text);
    if (readable)
        *readable = opened;
    if (!opened)
        return result;
    QTextStream in(&file);
    in.readLine();
    const QRegularExpression blanks(QStringLiteral("\\s+"));
    while (!in.atEnd()) {
        const QStringList items = in.readLine().split(blanks, Qt::SkipEmptyParts);
        if (items.size() < 7)
            continue;
        bool ok = false;
        const int key = items.at(0).toInt(&ok);
        if (!ok)
            continue;
        double values[6];
        for (int i = 0; i < 6 && ok; ++i)
            values[i] = items.at(i + 1).toDouble(&ok);
        if (!ok)
            continue;
        OneFreqImpedance r;
        r.Frequency = values[0];
        r.Coh = values[1];
        r.ApparentResis = values[2];
        r.Phase = values[3];
        r.TrueResis = values[4];
        r.Depth = values[5];
        result[key].append(r);
    }
    return result;
}

void reportSaveFailure(const QString& path)
{
    showSnackbarMessage(tr("结果文件保存失败：%1").arg(QDir::toNativeSeparators(path)));
}

} // namespace

QString impedanceTablePath(const QString& pointDir, const st_PointParam& param)
{
    return resultFolder(pointDir) + QStringLiteral("/%1.txt").arg(param.Pos.ID);
}

QString crossPowerTablePath(const QString& pointDir, const st_PointParam& param)
{
    return resultFolder(pointDir) + QStringLiteral("/CP_%1.txt").arg(param.Pos.ID);
}

bool writeImpedanceFile(const QString& path, const PointResult& result)
{
    QMutexLocker locker(&tableLock(path));
    return writeImpedanceFileLocked(path, result);
}

PointResult readImpedanceFile(const QString& path)
{
    QMutexLocker locker(&tableLock(path));
    return readImpedanceFileLocked(path);
}

bool writeCrossPowerFile(const QString& path, const PointCrossPower& crossPower)
{
    static const int widths[] = {4, 10, 15, 15, 15, 15, 15, 15, 15, 15};
    const char* header[] = {"Key",       "Frequency", "real_CP00", "imag_CP00", "real_CP01",
                            "imag_CP01", "real_CP10", "imag_CP10", "real_CP11", "imag_CP11"};
    QString text;
    for (int i = 0; i < 10; ++i)
        appendRight(text, QLatin1String(header[i]), widths[i]);
    text += QLatin1Char('\n');
    for (auto it = crossPower.constBegin(); it != crossPower.constEnd(); ++it) {
        for (const CrossSpectrum& record : it.value()) {
            appendRight(text, QString::number(it.key()), widths[0]);
            appendRight(text, numberText(record.frequency), widths[1]);
            for (int row = 0; row < 2; ++row) {
                for (int col = 0; col < 2; ++col) {
                    const std::complex<double> value = row < record.matrix.size() && col < record.matrix.at(row).size()
                                                           ? record.matrix.at(row).at(col)
                                                           : std::complex<double>();
                    appendRight(text, numberText(value.real()), 15);
                    appendRight(text, numberText(value.imag()), 15);
                }
            }
            text += QLatin1Char('\n');
        }
    }
    QMutexLocker locker(&tableLock(path));
    return saveText(path, text);
}

void calcDepthByMeanRho(QVector<OneFreqImpedance>& list, double factor)
{
    double sum = 0;
    int count = 0;
    for (const OneFreqImpedance& r : list) {
        if (r.Frequency >= 8000.0 && r.Frequency <= 20000.0) {
            sum += r.ApparentResis;
            ++count;
        }
    }
    if (count == 0)
        return;
    const double mean = sum / count;
    for (OneFreqImpedance& r : list) {
        if (r.Frequency > 0)
            r.Depth = std::sqrt(mean / r.Frequency) * 356.0 * factor;
    }
}

FreqImpData CalcImpedance(const QString& pointDir, int group, int a, int b)
{
    QElapsedTimer timer;
    timer.start();
    const QString pattern = QStringLiteral("%1/%2_CH%3.dat");
    const QStringList files{pattern.arg(pointDir, QString::number(group), QString::number(a + 1)),
                            pattern.arg(pointDir, QString::number(group), QString::number(b + 1))};
    const FreqImpData result =
        processWithBinCalibration(files, BlockLength, StackMethod, MaxBlocks, true, Bandwidth, QVector<int>());
    qInfo() << "CalcImpedance"
            << QStringLiteral("%1&%2@Group%3 $%4ms").arg(a + 1).arg(b + 1).arg(group).arg(timer.elapsed());
    return result;
}

QMap<int, FreqImpData> p_calcFreqData(const QString& pointDir, quint8 chSelect, quint8 chMatch, uint group, bool* ok)
{
    QMap<int, FreqImpData> result;
    if (group < 1 || group > 4) {
        qWarning() << "GroupNum must be 1/2/3/4.";
        if (ok)
            *ok = false;
        return result;
    }
    QElapsedTimer timer;
    timer.start();
    const int g = int(group);
    QVector<QPair<int, QFuture<FreqImpData> > > tasks;
    for (int i = 0; i < 3; ++i) {
        const int m = (chMatch >> (2 * i)) & 3;
        if (m != 0) {
            tasks.append(qMakePair(i, QtConcurrent::run(QThreadPool::globalInstance(), [=] {
                                       return CalcImpedance(pointDir, g, i + 3, m - 1);
                                   })));
        }
    }
    if (chMatch & 64) {
        for (int i = 3; i < 6; ++i) {
            if (chSelect & (1 << i)) {
                tasks.append(qMakePair(i, QtConcurrent::run(QThreadPool::globalInstance(), [=] {
                                           return CalcImpedance(pointDir, g, i, 2);
                                       })));
            }
        }
    }
    // Each task hands its result back through its own future: nothing shared to lock.
    for (auto& task : tasks) {
        task.second.waitForFinished();
        const FreqImpData data = task.second.result();
        if (data.impedance.isEmpty())
            qInfo() << "operator()" << task.first << "freq_ImpData size = 0";
        else
            result.insert(task.first, data);
    }
    qInfo() << "p_calcFreqData" << QStringLiteral("@Group%1 $%2ms").arg(g).arg(timer.elapsed());
    if (ok)
        *ok = !result.isEmpty();
    return result;
}

PointResult calcPointData(const QString& pointDir, const st_PointParam& param, bool* ok, bool force)
{
    const QString table = impedanceTablePath(pointDir, param);
    if (!force && QFile::exists(table))
        return readImpedanceFile(table);

    const QDir dir(pointDir);
    if (!dir.exists() || dir.entryList({QStringLiteral("*.dat")}, QDir::Files).size() < 2) {
        showSnackbarMessage(tr("时间序列不存在，请导出后再计算"));
        return PointResult();
    }
    showSnackbarMessage(tr("计算中请稍后"));
    QDir().mkpath(resultFolder(pointDir));
    QElapsedTimer timer;
    timer.start();

    const quint8 chSelect = param.CHSelect;
    const quint8 chMatch = param.CHMatch;
    QVector<QFuture<QMap<int, FreqImpData> > > groups;
    for (int g = param.GroupNum; g >= 1; --g) {
        groups.append(QtConcurrent::run(QThreadPool::globalInstance(), [=] {
            return p_calcFreqData(pointDir, chSelect, chMatch, uint(g));
        }));
    }

    // Merged in start order once all are done, so the tables never depend on timing.
    PointResult result;
    PointCrossPower crossPower;
    for (QFuture<QMap<int, FreqImpData> >& future : groups) {
        future.waitForFinished();
        const QMap<int, FreqImpData> groupResult = future.result();
        for (auto it = groupResult.constBegin(); it != groupResult.constEnd(); ++it) {
            if (result.contains(it.key()))
                result[it.key()] = mergeImpedanceLists(result.value(it.key()), it.value().impedance);
            else
                result.insert(it.key(), it.value().impedance);
            if (crossPower.contains(it.key()))
                crossPower[it.key()] = mergeCrossSpectra(crossPower.value(it.key()), it.value().crossPower);
            else
                crossPower.insert(it.key(), it.value().crossPower);
        }
    }

    const qint64 elapsed = timer.elapsed();
    if (elapsed > 100)
        showSnackbarMessage(tr("计算完成,耗时 %1 ms").arg(elapsed));
    if (ok)
        *ok = !result.isEmpty();

    if (!writeImpedanceFile(table, result))
        reportSaveFailure(table);
    const QString crossTable = crossPowerTablePath(pointDir, param);
    if (!writeCrossPowerFile(crossTable, crossPower))
        reportSaveFailure(crossTable);
    return result;
}

PointResult calcGroupData(const QString& pointDir, const st_PointParam& param, int group, bool* ok)
{
    const QString table = impedanceTablePath(pointDir, param);
    QDir().mkpath(resultFolder(pointDir));
    const QMap<int, FreqImpData> groupResult = p_calcFreqData(pointDir, param.CHSelect, param.CHMatch, uint(group));

    // The table is read, merged and written as one step against other groups' merges.
    QMutexLocker locker(&tableLock(table));
    bool readable = true;
    PointResult result = QFile::exists(table) ? readImpedanceFileLocked(table, &readable) : PointResult();
    for (auto it = groupResult.constBegin(); it != groupResult.constEnd(); ++it) {
        if (result.contains(it.key()))
            result[it.key()] = mergeImpedanceLists(result.value(it.key()), it.value().impedance);
        else
            result.insert(it.key(), it.value().impedance);
    }
    if (ok)
        *ok = !result.isEmpty();
    // A table that is there but cannot be read holds earlier groups: writing this group
    // alone over it would lose them.
    if (!readable || !writeImpedanceFileLocked(table, result))
        reportSaveFailure(table);
    return result;
}
