#include "Form_Index.h"

#include "MessageBox.h"
#include "OperatorMessages.h"
#include "PointCalculation.h"
#include "PointDataExport.h"
#include "ProjectDocument.h"
#include "SafeFileWrite.h"
#include "SortTreeItem.h"

#include <QAction>
#include <QCursor>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QJsonDocument>
#include <QMenu>
#include <QPointer>
#include <QScroller>
#include <QtConcurrent>

#include <limits>

#include <unistd.h>

namespace {

const QString KindPoint = QStringLiteral("Point");
const QString KindRate = QStringLiteral("Rate");

enum RateColumn { RateValue = 2, RatePointID = 3, RateCHSelect = 4, RateCHMatch = 5, RateGroup = 6 };
enum PointColumn { PointCHSelect = 3, PointCHMatch = 4 };

// Write permission of the current user on the file itself; the superuser's access
// check would pass for a read-only file, so the owner's bit counts for the owner.
bool isUserWritable(const QFileInfo& info)
{
    if (!info.permission(QFileDevice::WriteUser))
        return false;
    return info.ownerId() != uint(::geteuid()) || info.permission(QFileDevice::WriteOwner);
}

void refuseOpen(const QString& text)
{
    showMessageBox(QMessageBox::Critical, QObject::tr("错误"), text, QMessageBox::Ok);
}

bool parseObject(QFile& file, QJsonObject* object)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    *object = document.object();
    return true;
}

int findEntry(const QJsonArray& data, int id)
{
    for (int i = 0; i < data.size(); ++i)
        if (data.at(i).toObject().value(QStringLiteral("ID")).toInt() == id)
            return i;
    return -1;
}

}  // namespace

Form_Index::Form_Index(QWidget* parent)
    : QTreeWidget(parent)
    , m_about(defaultProjectAbout())
{
    setHeaderHidden(true);
    setAlternatingRowColors(true);
    setColumnWidth(0, 60);
    QScroller::grabGesture(viewport(), QScroller::LeftMouseButtonGesture);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setAutoScroll(false);
    // Sorting stays off (rows added later are appended); the numeric order of the
    // rows reads its column from here.
    header()->setSortIndicator(0, Qt::AscendingOrder);

    connect(this, &QTreeWidget::itemDoubleClicked, this, &Form_Index::onItemClicked);
    // clear() is not virtual: whoever clears the tree, the rows it refers to are gone.
    connect(model(), &QAbstractItemModel::modelReset, this, &Form_Index::forgetRows);
    createIndexMenu();
}

Form_Index::~Form_Index()
{
    *m_alive = false;
    // The model outlives the members and resets once more while it goes.
    disconnect(model(), nullptr, this, nullptr);
}

void Form_Index::createIndexMenu()
{
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &Form_Index::onRightClicked);
    m_menu = new QMenu(this);
    m_exportAction = m_menu->addAction(tr("导出浮点数"));
    connect(m_exportAction, &QAction::triggered, this, &Form_Index::genPointDataFile);
    m_reCalcAction = m_menu->addAction(tr("重新计算阻抗图"));
    connect(m_reCalcAction, &QAction::triggered, this, [this] {
        if (m_rightClickedPointID >= 0)
            reCalcPointImp(m_rightClickedPointID);
    });
}

void Form_Index::forgetRows()
{
    m_pointRows.clear();
    m_rightClickedPointID = -1;
}

QString Form_Index::projectDir() const
{
    return m_projectFilePath.isEmpty() ? QString() : QFileInfo(m_projectFilePath).path();
}

bool Form_Index::openProject(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        refuseOpen(tr("无法打开工程文件"));
        return false;
    }
    if (!isUserWritable(QFileInfo(path))) {
        refuseOpen(tr("工程文件属性为 *只读* ，请修改"));
        return false;
    }
    const QByteArray text = file.readAll();
    file.close();

    ProjectContent content;
    content.about = m_about;
    const QString refusal = checkProjectDocument(text, &content);
    if (!refusal.isEmpty()) {
        refuseOpen(refusal);
        return false;
    }

    // Accepted: only now replace what the tree and the state hold.
    clear();
    m_added.clear();
    m_projectFilePath = path;
    m_about = content.about;
    m_nextPointID = firstFreePointID(content.nextPointID);
    m_lastLine = content.lastLine;
    m_lastPoint = content.lastPoint;
    for (const ProjectPoint& point : content.points)
        addPointRows(point.line, point.point, point.id, point.chSelect, point.chMatch, point.rates);
    for (int i = 0; i < topLevelItemCount(); ++i)
        topLevelItem(i)->sortChildren(0, Qt::AscendingOrder);
    return true;
}

int Form_Index::getNextPointID() const
{
    if (m_nextPointID > std::numeric_limits<int>::max()) {
        showSnackbarMessage(tr("测点 ID 已达上限 %1，无法再分配新的测点 ID").arg(std::numeric_limits<int>::max()));
        return 0;
    }
    return int(m_nextPointID);
}

qint64 Form_Index::firstFreePointID(qint64 fromFile) const
{
    qint64 next = fromFile;
    for (int id : m_unrecorded.value(QFileInfo(m_projectFilePath).absoluteFilePath()))
        next = qMax(next, pointIDAfter(id));
    return next;
}

bool Form_Index::hasUnrecordedRun(int pointID) const
{
    return !m_projectFilePath.isEmpty()
           && m_unrecorded.value(QFileInfo(m_projectFilePath).absoluteFilePath()).contains(pointID);
}

void Form_Index::pointIDPlus1()
{
    // Never beyond the first value that means "no ID left".
    if (m_nextPointID <= std::numeric_limits<int>::max())
        ++m_nextPointID;
}

int Form_Index::findLastPointID(int lineNum, int pointNum)
{
    QFile file(m_projectFilePath);
    if (m_projectFilePath.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        qDebug() << "Form_Index" << "findLastPointID" << tr("无法打开工程文件");
        return -1;
    }
    QJsonObject root;
    if (!parseObject(file, &root))
        return -1;
    const QJsonArray data = root.value(QStringLiteral("Data")).toArray();
    for (int i = data.size() - 1; i >= 0; --i) {
        const QJsonObject entry = data.at(i).toObject();
        if (entry.value(QStringLiteral("Line")).toInt() == lineNum
            && entry.value(QStringLiteral("Point")).toInt() == pointNum)
            return entry.value(QStringLiteral("ID")).toInt();
    }
    return -1;
}

st_PointParam Form_Index::getPointParam(int id)
{
    QFile file(m_projectFilePath);
    if (m_projectFilePath.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        showSnackbarMessage(tr("无法打开工程文件，属性获取失败"));
        return defaultPointParam();
    }
    QJsonObject root;
    if (!parseObject(file, &root))
        return defaultPointParam();
    return readPointParam(root.value(QStringLiteral("Data")).toArray(), id);
}

st_PointParam Form_Index::readPointParam(const QJsonArray& data, int id) const
{
    st_PointParam param = defaultPointParam();
    const int index = findEntry(data, id);
    if (index < 0) {
        showSnackbarMessage(tr("工程文件中未找到Point ID %1.").arg(id));
        return param;
    }
    const QJsonObject entry = data.at(index).toObject();
    param.Pos.ID = id;
    param.Pos.Line = entry.value(QStringLiteral("Line")).toInt();
    param.Pos.Point = entry.value(QStringLiteral("Point")).toInt();
    param.CHSelect = quint8(entry.value(QStringLiteral("CHSelect")).toInt());
    param.CHMatch = quint8(entry.value(QStringLiteral("CHMatch")).toInt());
    int groups = 0;
    for (int k = 1; k <= MaxRateKeys; ++k) {
        const int rate = entry.value(rateKey(k)).toInt();
        param.Group[k - 1].SampleRate = quint32(rate);
        if (rate != 0)
            ++groups;
    }
    param.GroupNum = quint8(groups);
    return param;
}

bool Form_Index::addPointData(const st_PointParam& param, int* firstGroup)
{
    const int id = param.Pos.ID;
    // Until it is written this addition created nothing; the stop that matches it must
    // not undo an earlier addition of the same point instead.
    m_added[id].append(AddedRecording());
    // Until then, too, the run's files are in the point's folder and nowhere in the file:
    // a new point given this ID would delete or overwrite them.
    const bool unrecordedBefore = hasUnrecordedRun(id);
    if (!m_projectFilePath.isEmpty()) {
        m_unrecorded[QFileInfo(m_projectFilePath).absoluteFilePath()].insert(id);
        m_nextPointID = qMax(m_nextPointID, pointIDAfter(id));
    }

    // ExistingOnly: a project file that has gone is reported, not recreated empty.
    QFile file(m_projectFilePath);
    if (m_projectFilePath.isEmpty() || !file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly)) {
        showSnackbarMessage(tr("无法打开工程文件，数据添加失败"));
        return false;
    }
    QJsonObject root;
    if (!parseObject(file, &root)) {
        showSnackbarMessage(tr("工程文件JSON解析失败"));
        return false;
    }

    const int groupCount = qMin(int(param.GroupNum), MaxGroupNum);
    QJsonArray data = root.value(QStringLiteral("Data")).toArray();
    const int index = findEntry(data, id);
    AddedRecording added;
    added.written = true;
    added.newPoint = index < 0;
    QJsonObject entry;
    int nextGroup = 1;
    if (added.newPoint) {
        entry.insert(QStringLiteral("ID"), id);
        entry.insert(QStringLiteral("Line"), param.Pos.Line);
        entry.insert(QStringLiteral("Point"), param.Pos.Point);
        entry.insert(QStringLiteral("CHSelect"), param.CHSelect);
        entry.insert(QStringLiteral("CHMatch"), param.CHMatch);
    } else {
        entry = data.at(index).toObject();
        // After the last key in use, not after the count of keys: with a gap the
        // count would land on a key that is taken.
        nextGroup = highestRateGroup(entry) + 1;
    }
    if (firstGroup)
        *firstGroup = nextGroup;
    for (int j = 0; j < groupCount; ++j) {
        const int rate = int(param.Group[j].SampleRate);
        if (rate == 0)
            continue;
        const int group = nextGroup + j;
        if (group > MaxRateKeys) {
            showSnackbarMessage(tr("工程文件数据添加失败：测点 %1 的采样组超过 %2 组").arg(id).arg(MaxRateKeys));
            return false;
        }
        added.previous.append(entry.value(rateKey(group)));
        entry.insert(rateKey(group), rate);
        added.groups.append(group);
        added.rates.append(rate);
    }
    // Every entry must have this key, or the project cannot be opened again.
    if (!entry.contains(rateKey(1)))
        entry.insert(rateKey(1), 0);
    if (added.newPoint)
        data.append(entry);
    else
        data.replace(index, entry);

    QJsonObject about = root.value(QStringLiteral("About")).toObject();
    about.insert(QStringLiteral("DataNum"), data.size());
    root.insert(QStringLiteral("About"), about);
    root.insert(QStringLiteral("Data"), data);
    if (!writeProjectFile(file, root))
        return false;

    // The tree shows only what the file holds.
    if (added.newPoint) {
        QVector<int> rates(MaxRateKeys, 0);
        for (int i = 0; i < added.groups.size(); ++i)
            rates[added.groups[i] - 1] = added.rates[i];
        addPointRows(param.Pos.Line, param.Pos.Point, id, param.CHSelect, param.CHMatch, rates);
    } else if (QTreeWidgetItem* row = pointRow(id)) {
        addRateRows(row, entry.value(QStringLiteral("CHSelect")).toInt(), entry.value(QStringLiteral("CHMatch")).toInt(),
                    added.groups, added.rates);
    }
    m_added[id].last() = added;
    if (!unrecordedBefore)
        m_unrecorded[QFileInfo(m_projectFilePath).absoluteFilePath()].remove(id);
    m_lastLine = param.Pos.Line;
    m_lastPoint = param.Pos.Point;
    m_nextPointID = qMax(m_nextPointID, pointIDAfter(id));
    return true;
}

bool Form_Index::removeData(const st_PointParam& param, QStringList* filesLeft)
{
    const int id = param.Pos.ID;
    // Only a recording this session wrote can be undone; anything else in the file,
    // above all earlier recordings of the same point, stays.
    if (m_projectFilePath.isEmpty() || m_added.value(id).isEmpty()) {
        qDebug() << "Form_Index" << "removeData" << "nothing recorded to undo for point" << id;
        return false;
    }
    if (!m_added.value(id).last().written) {
        m_added[id].removeLast();
        qDebug() << "Form_Index" << "removeData" << "the addition of point" << id << "was not written";
        return false;
    }
    QFile file(m_projectFilePath);
    if (!file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly)) {
        showSnackbarMessage(tr("无法打开工程文件，数据移除失败"));
        return false;
    }
    QJsonObject root;
    if (!parseObject(file, &root)) {
        showSnackbarMessage(tr("工程文件JSON解析失败"));
        return false;
    }

    const AddedRecording added = m_added.value(id).last();
    QJsonArray data = root.value(QStringLiteral("Data")).toArray();
    const int index = findEntry(data, id);
    if (index < 0) {
        m_added[id].removeLast();
        return false;
    }
    QJsonObject entry = data.at(index).toObject();
    QVector<int> removedGroups;
    for (int i = 0; i < added.groups.size(); ++i) {
        const QString key = rateKey(added.groups[i]);
        if (entry.value(key).toInt() == added.rates[i]) {
            // A key that held a rate of 0 before gets it back: the entry must open as before.
            const QJsonValue previous = added.previous.at(i);
            if (previous.isUndefined())
                entry.remove(key);
            else
                entry.insert(key, previous);
            removedGroups.append(added.groups[i]);
        }
    }
    const bool removePoint = added.newPoint && countRates(entry) == 0;
    if (removePoint)
        data.removeAt(index);
    else
        data.replace(index, entry);
    root.insert(QStringLiteral("Data"), data);
    const bool written = writeProjectFile(file, root);
    if (!written)
        return false;
    m_added[id].removeLast();

    const QString pointDir = projectDir() + QLatin1Char('/') + QString::number(id);
    if (removePoint) {
        removePointRow(id);
        if (filesLeft)
            filesLeft->append(QFileInfo(pointDir).absoluteFilePath());
        else
            QDir(pointDir).removeRecursively();
    } else {
        QTreeWidgetItem* row = pointRow(id);
        for (int group : removedGroups) {
            if (row) {
                for (int c = row->childCount() - 1; c >= 0; --c)
                    if (row->child(c)->text(RateGroup).toInt() == group)
                        delete row->takeChild(c);
            }
            deleteGroupFiles(pointDir, group, filesLeft);
        }
    }

    int highest = 1;
    for (const QJsonValue& value : data)
        highest = qMax(highest, value.toObject().value(QStringLiteral("ID")).toInt());
    m_nextPointID = firstFreePointID(pointIDAfter(highest));
    return true;
}

void Form_Index::deleteGroupFiles(const QString& pointDir, int group, QStringList* filesLeft) const
{
    const QFileInfoList files = QDir(pointDir).entryInfoList({QStringLiteral("%1_CH*").arg(group)}, QDir::Files);
    for (const QFileInfo& info : files) {
        if (filesLeft)
            filesLeft->append(info.absoluteFilePath());
        else if (QFile::remove(info.absoluteFilePath()))
            qDebug() << "Form_Index" << "removeData" << "Deleted file:" << info.absoluteFilePath();
        else
            qDebug() << "Form_Index" << "removeData" << "Failed to delete file:" << info.absoluteFilePath();
    }
}

void Form_Index::removePointRow(int pointID)
{
    QTreeWidgetItem* row = m_pointRows.take(pointID);
    if (!row)
        return;
    if (m_rightClickedPointID == pointID)
        m_rightClickedPointID = -1;
    QTreeWidgetItem* line = row->parent();
    delete row;
    if (line && line->childCount() == 0)
        delete line;
}

void Form_Index::removePreSampleDir()
{
    if (m_projectFilePath.isEmpty())
        return;
    QDir(projectDir() + QStringLiteral("/-1")).removeRecursively();
}

bool Form_Index::writeProjectFile(QFile& file, const QJsonObject& object)
{
    const QByteArray text = QJsonDocument(object).toJson(QJsonDocument::Indented);
    const QString path = file.fileName();
    file.close();
    switch (writeFileSafely(path, text)) {
    case SafeWriteResult::Written:
        return true;
    case SafeWriteResult::TempFileFailed:
        showSnackbarMessage(tr("写工程文件失败：无法创建临时文件"));
        return false;
    case SafeWriteResult::WriteFailed:
    case SafeWriteResult::ReplaceFailed:
        // The project file was never touched.
        showSnackbarMessage(tr("写工程文件失败：已恢复原文件"));
        return false;
    }
    return false;
}

QTreeWidgetItem* Form_Index::lineRow(int line)
{
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (topLevelItem(i)->text(0).toInt() == line)
            return topLevelItem(i);
    auto* row = new QTreeWidgetItem(this, QStringList{QString::number(line)});
    return row;
}

QTreeWidgetItem* Form_Index::newRateRow(int pointID, int chSelect, int chMatch, int group, int rate) const
{
    auto* row = new QTreeWidgetItem(QStringList{rateLabel(rate), KindRate, QString::number(rate),
                                                QString::number(pointID), QString::number(chSelect),
                                                QString::number(chMatch), QString::number(group)});
    row->setToolTip(0, QStringLiteral("SampleRate:") + QString::number(rate));
    return row;
}

QTreeWidgetItem* Form_Index::addPointRows(int line, int point, int pointID, int chSelect, int chMatch,
                                          const QVector<int>& rates)
{
    QTreeWidgetItem* parent = lineRow(line);
    auto* row = new SortTreeItem(parent, QStringList{QString::number(point), KindPoint, QString::number(pointID),
                                                     QString::number(chSelect), QString::number(chMatch)});
    row->setToolTip(0, QStringLiteral("ID:") + QString::number(pointID) + pairingText(chMatch));
    m_pointRows.insert(pointID, row);
    for (int k = 1; k <= qMin(rates.size(), MaxRateKeys); ++k)
        if (rates[k - 1] > 0)
            row->addChild(newRateRow(pointID, chSelect, chMatch, k, rates[k - 1]));
    return row;
}

void Form_Index::addRateRows(QTreeWidgetItem* pointRow, int chSelect, int chMatch, const QVector<int>& groups,
                             const QVector<int>& rates)
{
    const int pointID = pointRow->text(ColumnPointID).toInt();
    for (int i = 0; i < qMin(groups.size(), rates.size()); ++i)
        if (rates[i] > 0)
            pointRow->addChild(newRateRow(pointID, chSelect, chMatch, groups[i], rates[i]));
}

void Form_Index::onItemClicked(QTreeWidgetItem* item, int)
{
    if (!item)
        return;
    const QString kind = item->text(ColumnKind);
    if (kind == KindPoint) {
        emit signalSelectPoint(item->text(ColumnPointID).toInt());
        if (QTreeWidgetItem* line = item->parent()) {
            for (int i = 0; i < line->childCount(); ++i)
                if (line->child(i) != item && line->child(i)->isExpanded())
                    line->child(i)->setExpanded(false);
        }
    } else if (kind == KindRate) {
        emit signalSelectRate(item->text(RatePointID).toInt(), item->text(RateCHSelect).toInt(),
                              item->text(RateCHMatch).toInt(), item->text(RateGroup).toInt());
    }
}

void Form_Index::onRightClicked(const QPoint& pos)
{
    QTreeWidgetItem* item = itemAt(pos);
    const bool isPoint = item && item->text(ColumnKind) == KindPoint;
    // The id, not the row: the row may be deleted before the menu's action runs.
    m_rightClickedPointID = isPoint ? item->text(ColumnPointID).toInt() : -1;
    if (isPoint)
        m_menu->popup(QCursor::pos());
}

void Form_Index::genPointDataFile()
{
    if (m_projectFilePath.isEmpty() || m_rightClickedPointID < 0)
        return;
    const QString folder = projectDir() + QLatin1Char('/') + QString::number(m_rightClickedPointID);
    QtConcurrent::run([folder] { genPointDirData(folder); });
}

void Form_Index::reCalcPointImp(int pointID)
{
    if (m_projectFilePath.isEmpty()) {
        qDebug() << "Form_Index" << "reCalcPointImp" << "no project open";
        return;
    }
    const QString pointDir = projectDir() + QLatin1Char('/') + QString::number(pointID);
    const st_PointParam param = getPointParam(pointID);
    const std::shared_ptr<std::atomic_bool> alive = m_alive;
    const QPointer<Form_Index> self(this);
    QtConcurrent::run([alive, self, pointDir, param, pointID] {
        if (!*alive)
            return;
        calcPointData(pointDir, param, nullptr, true);
        if (!*alive)
            return;
        // The guard is read on the GUI thread, where the widget is destroyed, so the
        // signal never reaches a widget that has gone.
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, [self, pointID] {
                if (self)
                    emit self->signalSelectPoint(pointID);
            }, Qt::QueuedConnection);
    });
}
