#include "ProjectDocument.h"

#include "AppConstants.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSet>

#include <cmath>

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("Form_Index", text);
}

}  // namespace

QString rateKey(int group)
{
    return QStringLiteral("SampleRate%1").arg(group);
}

int countRates(const QJsonObject& entry)
{
    int n = 0;
    for (int k = 1; k <= MaxRateKeys; ++k)
        if (entry.value(rateKey(k)).toInt() != 0)
            ++n;
    return n;
}

int highestRateGroup(const QJsonObject& entry)
{
    for (int k = MaxRateKeys; k >= 1; --k)
        if (entry.value(rateKey(k)).toInt() != 0)
            return k;
    return 0;
}

QString rateLabel(int rate)
{
    const int band = SampleRateList.indexOf(rate);
    return band >= 0 ? BandNameList.at(band) : QString::number(rate);
}

QString pairingText(int chMatch)
{
    QString text;
    for (int i = 0; i < 3; ++i) {
        const int partner = (chMatch >> (2 * i)) & 3;
        if (partner == 1)
            text += QStringLiteral(",E%1:Hx").arg(i);
        else if (partner == 2)
            text += QStringLiteral(",E%1:Hy").arg(i);
    }
    return text;
}

QString checkProjectDocument(const QByteArray& text, ProjectContent* content)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(text, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return tr("工程文件JSON解析失败");

    // Types are checked too: a value the integer conversion would read as 0 would
    // otherwise open as a project or point that was never recorded.
    const QJsonObject root = document.object();
    const QJsonValue aboutValue = root.value(QStringLiteral("About"));
    const QJsonValue dataValue = root.value(QStringLiteral("Data"));
    if (!aboutValue.isObject() || !aboutValue.toObject().value(QStringLiteral("ProjectID")).isDouble()
        || !(dataValue.isUndefined() || dataValue.isArray()))
        return tr("不是正确的Varn工程文件");

    // The JSON text keeps integers exactly only up to 2^53: a larger id would change when
    // the file is next written, and with it the project's folders on the instrument.
    const double projectID = aboutValue.toObject().value(QStringLiteral("ProjectID")).toDouble();
    if (!(std::fabs(projectID) <= double(MaxExactProjectID)))
        return tr("不是正确的Varn工程文件");

    ProjectContent read;
    read.about = content->about;
    fillProjectAbout(read.about, aboutValue.toObject());

    static const char* const required[] = {"Line", "Point", "ID", "CHSelect", "SampleRate1", "CHMatch"};
    const QJsonArray data = dataValue.toArray();
    QSet<int> seen;
    for (int i = 0; i < data.size(); ++i) {
        const QJsonObject entry = data.at(i).toObject();
        const int id = entry.value(QStringLiteral("ID")).toInt();
        bool complete = data.at(i).isObject();
        for (const char* key : required)
            complete = complete && entry.value(QLatin1String(key)).isDouble();
        if (!complete)
            return tr("工程文件数据 顺序%1 / ID%2 不完整，属性获取失败")
                .arg(i + 1)
                .arg(id == 0 ? tr("未获取") : QString::number(id));
        if (seen.contains(id))
            return tr("工程文件 ID%1 有重复，请检查").arg(id);
        seen.insert(id);

        ProjectPoint point;
        point.id = id;
        point.line = entry.value(QStringLiteral("Line")).toInt();
        point.point = entry.value(QStringLiteral("Point")).toInt();
        point.chSelect = entry.value(QStringLiteral("CHSelect")).toInt();
        point.chMatch = entry.value(QStringLiteral("CHMatch")).toInt();
        for (int k = 1; k <= MaxRateKeys; ++k)
            point.rates[k - 1] = entry.value(rateKey(k)).toInt();
        if (id > 0 && id >= read.nextPointID) {
            read.nextPointID = pointIDAfter(id);
            read.lastLine = point.line;
            read.lastPoint = point.point;
        }
        read.points.append(point);
    }
    *content = read;
    return QString();
}
