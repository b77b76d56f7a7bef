// The instrument's project table and project information as the storage and export
// dialogs read them, with the file requests and the project file that the export builds
// from them. Every requested file lies in its point's folder under the chosen folder, and
// information that opens as a project still opens once cleaned for the project file.
#include "Dialog_DiskManage.h"
#include "Dialog_Export.h"
#include "FuzzSupport.h"
#include "ModalAnswers.h"
#include "ProjectAbout.h"
#include "ProjectDocument.h"

#include <QApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

Dialog_Export* exporter = nullptr;
Dialog_DiskManage* storage = nullptr;
QString exportDir;
QString localProject;
int requests = 0;

QJsonObject pointEntry(int id, int line, int point, const QList<int>& rates)
{
    QJsonObject e{{"ID", id}, {"Line", line}, {"Point", point}, {"CHSelect", 27}, {"CHMatch", 105}};
    for (int k = 1; k <= rates.size(); ++k)
        e.insert(rateKey(k), rates[k - 1]);
    return e;
}

QByteArray information(const QJsonArray& data)
{
    const QJsonObject about{{"ProjectID", 231208153012.0}, {"ProjectName", "Survey"}, {"ProjectAddress", "河谷"},
                            {"OperatorName", "Op"}, {"AppBuild", "231208"}, {"Instrument", "Varn28"},
                            {"DataNum", data.size()}};
    return QJsonDocument(QJsonObject{{"About", about}, {"Data", data}}).toJson(QJsonDocument::Indented);
}

void writeSeeds(const QString& folder)
{
    const QJsonArray table{QJsonObject{{"ID", 231208153012.0}, {"ProjectName", "Survey"}},
                           QJsonObject{{"ID", 240101000000.0}, {"ProjectName", "河谷测线"}}};
    fuzz::writeSeed(folder, "table", QJsonDocument(QJsonObject{{"Data", table}}).toJson());
    fuzz::writeSeed(folder, "information",
                    information({pointEntry(1, 1, 10, {250000, 7800, 488}), pointEntry(2, 1, 20, {7800, 0, 61}),
                                 pointEntry(3, 2, 10, {61})}));
    fuzz::writeSeed(folder, "information_zero_first_rate", information({pointEntry(4, 3, 40, {0, 488})}));
}

bool sameProject(const ProjectContent& a, const ProjectContent& b)
{
    if (a.points.size() != b.points.size() || a.nextPointID != b.nextPointID)
        return false;
    for (int i = 0; i < a.points.size(); ++i) {
        const ProjectPoint& p = a.points.at(i);
        const ProjectPoint& q = b.points.at(i);
        if (p.id != q.id || p.line != q.line || p.point != q.point || p.chSelect != q.chSelect || p.chMatch != q.chMatch)
            return false;
        for (int k = 0; k < MaxRateKeys; ++k)
            if (q.rates.at(k) != (p.rates.at(k) >= 1 ? p.rates.at(k) : 0))
                return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QApplication(argc, argv);
    fuzz::initialise(writeSeeds);
    exportDir = fuzz::scratch() + QStringLiteral("/export");
    localProject = fuzz::scratch() + QStringLiteral("/Survey.json");
    fuzz::writeFile(localProject, information({pointEntry(9, 1, 90, {61})}));
    // No modal box may wait for a person.
    setMessageBoxAnswer([](QMessageBox::Icon, const QString&, const QString&, QMessageBox::StandardButtons) {
        return int(QMessageBox::Ok);
    });
    setTextInputAnswer([](const QString&, const QString&, bool* ok) {
        *ok = false;
        return QString();
    });
    exporter = new Dialog_Export;
    storage = new Dialog_DiskManage;
    QObject::connect(exporter, &Dialog_Export::getFile, [](const QString& remote, const QString& local) {
        ++requests;
        FUZZ_CHECK(remote.startsWith(QLatin1String("mnt/DATA/")) && !remote.contains(QLatin1String("..")));
        FUZZ_CHECK(local.startsWith(exportDir + QLatin1Char('/')) && !local.contains(QLatin1String("..")));
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray json(reinterpret_cast<const char*>(data), int(size));

    storage->setCurProjID(231208153012);
    storage->setTableJson(json);

    QDir().mkpath(exportDir);
    exporter->setProj(exportDir, 231208153012, size % 2 ? localProject : QString());
    exporter->setTableJson(json);
    exporter->setProjJson(json);
    for (int i = 0; i < 4; ++i)
        exporter->selectLine(i);
    requests = 0;
    exporter->onExportData();
    QDir(exportDir).removeRecursively();

    // The export writes the cleaned information as the project file: what opened as a
    // project before must open after, with the same points and their recorded rates.
    ProjectContent original;
    original.about = defaultProjectAbout();
    if (checkProjectDocument(json, &original).isEmpty()) {
        ProjectContent cleaned;
        cleaned.about = defaultProjectAbout();
        FUZZ_CHECK(checkProjectDocument(Dialog_Export::cleanProjJson(json), &cleaned).isEmpty());
        FUZZ_CHECK(sameProject(original, cleaned));
    }
    fuzz::drainEvents();
    return 0;
}
