// The project-file check run when a project is opened. Whatever it accepts must open
// again, with the same content, once written back the way the project file is written
// (the indented JSON of the document); the next point ID never passes the largest int.
#include "FuzzSupport.h"
#include "ProjectAbout.h"
#include "ProjectDocument.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <cstring>
#include <limits>

namespace {

QJsonObject entry(int id, int line, int point, const QList<int>& rates)
{
    QJsonObject e{{"ID", id}, {"Line", line}, {"Point", point}, {"CHSelect", 27}, {"CHMatch", 105}};
    for (int k = 1; k <= rates.size(); ++k)
        if (rates[k - 1] != 0)
            e.insert(rateKey(k), rates[k - 1]);
    if (!e.contains(rateKey(1)))
        e.insert(rateKey(1), 0);
    return e;
}

QByteArray project(const QJsonArray& data)
{
    const QJsonObject about{{"ProjectID", 231208153012.0}, {"ProjectName", "Survey"}, {"ProjectAddress", "河谷"},
                            {"OperatorName", "Op"}, {"AppBuild", "231208"}, {"Instrument", "Varn28"},
                            {"DataNum", data.size()}};
    return QJsonDocument(QJsonObject{{"About", about}, {"Data", data}}).toJson(QJsonDocument::Indented);
}

void writeSeeds(const QString& folder)
{
    fuzz::writeSeed(folder, "empty", project({}));
    fuzz::writeSeed(folder, "points", project({entry(1, 1, 10, {250000, 7800, 488}), entry(7, 2, 20, {61, 0, 488}),
                                               entry(3, 1, 30, {0, 7800})}));
    fuzz::writeSeed(folder, "largest_id", project({entry(std::numeric_limits<int>::max(), 1, 1, {61})}));
}

bool sameContent(const ProjectContent& a, const ProjectContent& b)
{
    if (a.nextPointID != b.nextPointID || a.lastLine != b.lastLine || a.lastPoint != b.lastPoint
        || std::memcmp(&a.about, &b.about, sizeof a.about) != 0 || a.points.size() != b.points.size())
        return false;
    for (int i = 0; i < a.points.size(); ++i) {
        const ProjectPoint& p = a.points.at(i);
        const ProjectPoint& q = b.points.at(i);
        if (p.id != q.id || p.line != q.line || p.point != q.point || p.chSelect != q.chSelect
            || p.chMatch != q.chMatch || p.rates != q.rates)
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::initialise(writeSeeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), int(size));
    ProjectContent content;
    content.about = defaultProjectAbout();
    const ProjectContent before = content;
    const QString refusal = checkProjectDocument(text, &content);
    if (!refusal.isEmpty()) {
        FUZZ_CHECK(sameContent(content, before));
        return 0;
    }
    FUZZ_CHECK(content.nextPointID >= 1 && content.nextPointID <= qint64(std::numeric_limits<int>::max()) + 1);
    QSet<int> ids;
    for (const ProjectPoint& p : content.points) {
        FUZZ_CHECK(!ids.contains(p.id) && p.rates.size() == MaxRateKeys);
        FUZZ_CHECK(p.id < content.nextPointID);
        ids.insert(p.id);
        countRates(QJsonObject());
    }
    projectAboutToBytes(content.about);

    const QByteArray written = QJsonDocument::fromJson(text).toJson(QJsonDocument::Indented);
    ProjectContent again;
    again.about = defaultProjectAbout();
    FUZZ_CHECK(checkProjectDocument(written, &again).isEmpty());
    FUZZ_CHECK(sameContent(content, again));
    return 0;
}
