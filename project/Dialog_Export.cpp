#include "Dialog_Export.h"

#include "MessageBox.h"
#include "ModalAnswers.h"
#include "MyComboBox.h"
#include "NewFileWrite.h"
#include "PointParam.h"

#include <QCloseEvent>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int RateKeyCount = 20;
constexpr int ChannelCount = 6;

QString rateKeyOf(int group)
{
    return QStringLiteral("SampleRate%1").arg(group);
}

// Groups 1..count count as recorded, count being the number of rate keys of 1 or more.
int recordedGroupCount(const QJsonObject& entry)
{
    int count = 0;
    for (int k = 1; k <= RateKeyCount; ++k)
        if (entry.value(rateKeyOf(k)).toInt() >= 1)
            ++count;
    return count;
}

// The folder name comes from the instrument: it must stay one name inside the chosen folder.
bool isSafeFolderName(const QString& name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar ch : name)
        if (ch == QLatin1Char('/') || ch == QLatin1Char('\\') || ch.isNull() || ch.category() == QChar::Other_Control)
            return false;
    return true;
}

void showBox(QMessageBox::Icon icon, const QString& title, const QString& text)
{
    showMessageBox(icon, title, text, QMessageBox::Ok);
}

QVariant idData(qint64 id)
{
    return QVariant::fromValue<qint64>(id);
}

}  // namespace

Dialog_Export::Dialog_Export()
    : MyDialog(nullptr, Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setWindowModality(Qt::ApplicationModal);
    // Lets the project ids travel through queued connections and signal spies.
    qRegisterMetaType<int64_t>("int64_t");
    setWindowTitle(tr("数据导出"));
    resize(400, 256);

    m_comboProj = new MyComboBox(this);
    m_comboProj->setObjectName(QStringLiteral("comboBox_Proj"));
    m_comboProj->setEnabled(false);
    m_comboLine = new MyComboBox(this);
    m_comboLine->setObjectName(QStringLiteral("comboBox_Line"));
    m_comboPoint = new MyComboBox(this);
    m_comboPoint->setObjectName(QStringLiteral("comboBox_Point"));
    m_btnExport = new QPushButton(tr("导出"), this);
    m_btnExport->setObjectName(QStringLiteral("btn_Export"));
    auto* btnCancel = new QPushButton(tr("取消"), this);
    btnCancel->setObjectName(QStringLiteral("btn_Cancel"));

    auto* form = new QFormLayout;
    form->addRow(tr("当前工程"), m_comboProj);
    form->addRow(tr("选择线号"), m_comboLine);
    form->addRow(tr("选择里程"), m_comboPoint);
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(8, 8, 8, 8);
    buttons->addStretch();
    buttons->addWidget(m_btnExport);
    buttons->addWidget(btnCancel);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(new QLabel(tr("导出所有点，只会导出缺失的文件;\n导出单点,则会重新导出此点下所有文件。"), this));
    layout->addLayout(buttons);

    connect(m_btnExport, &QPushButton::clicked, this, &Dialog_Export::onExportData);
    connect(btnCancel, &QPushButton::clicked, this, &QWidget::close);
    connect(m_comboProj, QOverload<int>::of(&QComboBox::activated), this, &Dialog_Export::onProjectChosen);
    connect(m_comboLine, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &Dialog_Export::selectLine);
}

void Dialog_Export::setProj(QString dir, int64_t id, QString projFilePath)
{
    // Points shown for another project must not be fetched into this one.
    if (id != m_projID || projFilePath != m_projFilePath)
        clearPoints();
    m_dir = dir;
    m_projID = id;
    m_projFilePath = projFilePath;
}

bool Dialog_Export::projectIsOpen() const
{
    return m_projID != 0 && m_projID != NoProjectID;
}

int64_t Dialog_Export::sourceProjectID() const
{
    return projectIsOpen() ? m_projID : int64_t(m_comboProj->currentData().toLongLong());
}

void Dialog_Export::askProjJson(int64_t id)
{
    m_askedProjID = id;
    emit getProjJson(id);
}

void Dialog_Export::setTableJson(QByteArray json)
{
    m_comboProj->clear();
    bool askedShown = false;
    const QJsonArray data = QJsonDocument::fromJson(json).object().value(QStringLiteral("Data")).toArray();
    for (const QJsonValue& value : data) {
        const QJsonObject entry = value.toObject();
        const qint64 id = entry.value(QStringLiteral("ID")).toVariant().toLongLong();
        m_comboProj->addItem(entry.value(QStringLiteral("ProjectName")).toString() + QStringLiteral("(%1)").arg(id),
                             idData(id));
        if (projectIsOpen()) {
            if (id == m_projID) {
                m_comboProj->setCurrentIndex(m_comboProj->count() - 1);
                if (isVisible())
                    askProjJson(id);
            }
        } else if (!askedShown && m_askedProjID != 0 && id == m_askedProjID) {
            // The refill must not put another project's name over the information held.
            m_comboProj->setCurrentIndex(m_comboProj->count() - 1);
            askedShown = true;
        }
    }
    if (projectIsOpen() || askedShown)
        return;
    // The project asked for is gone from the table: its information belongs to nothing shown.
    clearPoints();
    if (isVisible() && m_comboProj->count() > 0)
        askProjJson(m_comboProj->currentData().toLongLong());
}

void Dialog_Export::onProjectChosen(int index)
{
    m_btnExport->setEnabled(false);
    m_comboLine->clear();
    m_comboPoint->clear();
    askProjJson(m_comboProj->itemData(index).toLongLong());
}

int Dialog_Export::buildMaps(const QJsonArray& data)
{
    int largestID = 1;
    for (int i = data.size() - 1; i >= 0; --i) {
        const QJsonObject entry = data.at(i).toObject();
        const int id = entry.value(QStringLiteral("ID")).toInt();
        PointInfo info;
        info.point = entry.value(QStringLiteral("Point")).toInt();
        info.chSelect = entry.value(QStringLiteral("CHSelect")).toInt();
        info.groupCount = recordedGroupCount(entry);
        m_pointMap.insert(id, info);
        m_lineMap.insert(entry.value(QStringLiteral("Line")).toInt(), id);
        largestID = qMax(largestID, id);
    }
    return largestID;
}

void Dialog_Export::clearPoints()
{
    m_askedProjID = 0;
    m_projJsonData.clear();
    m_pointMap.clear();
    m_lineMap.clear();
    m_comboLine->clear();
    m_comboPoint->clear();
}

void Dialog_Export::setProjJson(QByteArray json)
{
    m_pointMap.clear();
    m_lineMap.clear();
    const QJsonDocument document = QJsonDocument::fromJson(json);
    QJsonArray data;
    if (document.isObject()) {
        m_projJsonData = json;
        data = document.object().value(QStringLiteral("Data")).toArray();
    } else {
        m_projJsonData.clear();
    }
    int largestID = buildMaps(data);

    // The local file knows best which points the open project holds, but only information
    // about that same project may be compared with it.
    if (!m_projFilePath.isEmpty() && m_askedProjID == m_projID) {
        QFile file(m_projFilePath);
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray localText = file.readAll();
            const QJsonDocument local = QJsonDocument::fromJson(localText);
            const QJsonArray localData = local.object().value(QStringLiteral("Data")).toArray();
            if (local.isObject() && localData.size() != data.size()) {
                m_pointMap.clear();
                m_lineMap.clear();
                largestID = buildMaps(localData);
                m_projJsonData = localText;
            }
        }
    }

    m_comboLine->clear();
    m_comboLine->addItem(tr("所有线"), idData(NoProjectID));
    const QList<int> lines = m_lineMap.uniqueKeys();
    for (int i = lines.size() - 1; i >= 0; --i)
        m_comboLine->addItem(QString::number(lines.at(i)), lines.at(i));

    m_comboLine->setCurrentText(QString::number(m_lineMap.key(largestID, 0)));
    m_comboPoint->setCurrentText(QString::number(m_pointMap.value(largestID).point));
    m_btnExport->setEnabled(!m_pointMap.isEmpty());
}

void Dialog_Export::selectLine(int index)
{
    m_comboPoint->clear();
    m_comboPoint->addItem(tr("所有点"), idData(NoProjectID));
    if (index <= 0)
        return;
    const QList<int> ids = m_lineMap.values(m_comboLine->itemData(index).toInt());
    for (int i = ids.size() - 1; i >= 0; --i)
        m_comboPoint->addItem(QString::number(m_pointMap.value(ids.at(i)).point), ids.at(i));
}

void Dialog_Export::showUp(bool projIsOpen)
{
    if (projIsOpen) {
        if (m_pointMap.isEmpty() && !m_projFilePath.isEmpty()) {
            QFile file(m_projFilePath);
            if (file.open(QIODevice::ReadOnly))
                setProjJson(file.readAll());
        }
        m_comboProj->setEnabled(false);
        m_comboLine->setEnabled(true);
        m_comboPoint->setEnabled(true);
        m_btnExport->setText(tr("导出"));
        m_btnExport->setEnabled(!m_pointMap.isEmpty());
    } else {
        // Nothing of a project closed since the last showing may be used again.
        m_dir.clear();
        m_projFilePath.clear();
        m_projID = 0;
        clearPoints();
        m_comboProj->setEnabled(true);
        m_comboLine->setEnabled(false);
        m_comboPoint->setEnabled(false);
        m_btnExport->setText(tr("导出工程"));
        m_btnExport->setEnabled(true);
    }
    show();
}

void Dialog_Export::onExportData()
{
    if (m_dir.isEmpty()) {
        exportStoredProject();
        return;
    }
    const int lineIndex = m_comboLine->currentIndex();
    if (lineIndex <= 0)
        getPointsData(m_lineMap.values());
    else if (m_comboPoint->currentIndex() <= 0)
        getPointsData(m_lineMap.values(m_comboLine->itemData(lineIndex).toInt()));
    else
        getPointData(m_comboPoint->currentData().toInt(), sourceProjectID(), true);
    hide();
}

bool Dialog_Export::holdsInformationOf(int64_t id) const
{
    const QJsonObject about = QJsonDocument::fromJson(m_projJsonData).object().value(QStringLiteral("About")).toObject();
    return id != 0 && m_askedProjID == id && m_comboProj->currentData().toLongLong() == id
           && about.value(QStringLiteral("ProjectID")).toVariant().toLongLong() == id;
}

void Dialog_Export::exportStoredProject()
{
    const int64_t shownID = m_comboProj->currentData().toLongLong();
    const QString folder = askExistingDirectory(nullptr, tr("选择工程存储位置"), QString());
    if (folder.isEmpty())
        return;
    const QString name = m_comboProj->currentText();
    if (!isSafeFolderName(name)) {
        showBox(QMessageBox::Critical, tr("错误"), tr("创建文件夹 '%1' 失败！").arg(name));
        return;
    }
    const QString path = QDir(folder).filePath(name);
    if (QDir(path).exists()) {
        showBox(QMessageBox::Warning, tr("错误"), tr("该工程文件夹 '%1' 已存在！").arg(name));
        return;
    }
    // A table or information may have come in while the picker was open: the folder's name,
    // the project file and the remote folders must all be of the project the operator saw.
    if (!holdsInformationOf(shownID)) {
        showBox(QMessageBox::Warning, tr("错误"), tr("未获取到所选工程的信息，请重新选择工程！"));
        return;
    }
    if (!QDir().mkpath(path)) {
        showBox(QMessageBox::Critical, tr("错误"), tr("创建文件夹 '%1' 失败！").arg(name));
        hide();
        return;
    }
    if (!writeNewFile(path + "/" + name + ".json", cleanProjJson(m_projJsonData))) {
        QDir().rmdir(path);  // only the empty folder made here, so that a retry can use the name
        showBox(QMessageBox::Critical, tr("错误"), tr("工程文件创建失败"));
        return;
    }
    // Files go there only once the folder has its project file.
    m_dir = path;
    getPointsData(m_lineMap.values());
    showBox(QMessageBox::Information, tr("成功"), tr("工程 '%1' 导出命令已下达，请等待数据导出！").arg(name));
    hide();
}

void Dialog_Export::getPointsData(QList<int> list)
{
    const int64_t projID = sourceProjectID();
    for (const int id : list)
        getPointData(id, projID, false);
}

void Dialog_Export::getPointData(int pointid, int64_t projid, bool isForceGet)
{
    if (m_dir.isEmpty())  // never a folder relative to the file system's root
        return;
    const QString remoteFolder = QStringLiteral("mnt/DATA/%1/%2").arg(projid).arg(pointid);
    const QString localFolder = m_dir + QStringLiteral("/%1").arg(pointid);
    if (!QDir(localFolder).exists())
        QDir().mkpath(localFolder);

    const auto found = m_pointMap.constFind(pointid);
    if (found == m_pointMap.constEnd() || found->groupCount < 1)
        return;
    for (int group = 1; group <= found->groupCount; ++group) {
        for (int channel = 1; channel <= ChannelCount; ++channel) {
            if (!(found->chSelect & (1 << (channel - 1))))
                continue;
            const QString file = QStringLiteral("/%1_CH%2.dat").arg(group).arg(channel);
            if (isForceGet || !QFileInfo::exists(localFolder + file))
                emit getFile(remoteFolder + file, localFolder + file);
        }
    }
}

QByteArray Dialog_Export::cleanProjJson(const QByteArray& json)
{
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject())
        return json;
    QJsonObject root = document.object();
    QJsonArray data = root.value(QStringLiteral("Data")).toArray();
    for (int i = 0; i < data.size(); ++i) {
        QJsonObject entry = data.at(i).toObject();
        for (int k = 1; k <= RateKeyCount; ++k)
            if (entry.value(rateKeyOf(k)).toInt() < 1)
                entry.remove(rateKeyOf(k));
        // Every entry of a project file needs the first key, or the project never opens.
        if (data.at(i).isObject() && !entry.contains(rateKeyOf(1)))
            entry.insert(rateKeyOf(1), 0);
        data.replace(i, entry);
    }
    root.insert(QStringLiteral("Data"), data);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

void Dialog_Export::closeEvent(QCloseEvent* event)
{
    clearPoints();
    qInfo() << "Dialog_Export" << "closeEvent" << "clear m_projJsonData";
    MyDialog::closeEvent(event);
}
