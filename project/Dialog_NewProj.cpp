#include "Dialog_NewProj.h"

#include "AppConstants.h"
#include "AppGlobals.h"
#include "ModalAnswers.h"
#include "NewFileWrite.h"
#include "OperatorMessages.h"

#include <QDateTime>
#include <QDebug>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QLineEdit* newLineEdit(const QString& objectName, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(objectName);
    return edit;
}

}  // namespace

Dialog_NewProj::Dialog_NewProj(QWidget* parent)
    : MyDialog(parent, Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setWindowModality(Qt::ApplicationModal);
    setWindowTitle(tr("创建工程"));

    auto* projectBox = new QGroupBox(tr("工程设置"), this);
    auto* projectForm = new QFormLayout(projectBox);
    m_dirEdit = newLineEdit(QStringLiteral("lineEdit_ProjDir"), projectBox);
    m_dirButton = new QToolButton(projectBox);
    m_dirButton->setObjectName(QStringLiteral("btn_SelectDir"));
    m_dirButton->setText(QStringLiteral("…"));
    auto* dirRow = new QHBoxLayout;
    dirRow->addWidget(m_dirEdit);
    dirRow->addWidget(m_dirButton);
    projectForm->addRow(tr("工程目录:"), dirRow);
    m_nameEdit = newLineEdit(QStringLiteral("lineEdit_ProjName"), projectBox);
    m_nameEdit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[a-zA-Z0-9_]+")), m_nameEdit));
    m_nameEdit->setInputMethodHints(Qt::ImhPreferLowercase);
    projectForm->addRow(tr("工程名称:"), m_nameEdit);

    auto* siteBox = new QGroupBox(tr("工区设置"), this);
    auto* siteForm = new QFormLayout(siteBox);
    m_siteEdit = newLineEdit(QStringLiteral("lineEdit_ProjAddress"), siteBox);
    siteForm->addRow(tr("工程区域:"), m_siteEdit);
    m_operatorEdit = newLineEdit(QStringLiteral("lineEdit_OperatorName"), siteBox);
    siteForm->addRow(tr("操作人员:"), m_operatorEdit);

    m_buttonBox = new QDialogButtonBox(this);
    m_buttonBox->setObjectName(QStringLiteral("buttonBox"));
    m_buttonBox->addButton(tr("确定"), QDialogButtonBox::AcceptRole);
    m_buttonBox->addButton(tr("取消"), QDialogButtonBox::RejectRole);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(projectBox);
    layout->addWidget(siteBox);
    layout->addWidget(m_buttonBox);

    connect(m_dirButton, &QToolButton::clicked, this, &Dialog_NewProj::selectDir);
    connect(m_buttonBox, &QDialogButtonBox::accepted, this, &Dialog_NewProj::newProject);
    connect(m_buttonBox, &QDialogButtonBox::rejected, this, &QWidget::hide);
}

void Dialog_NewProj::showUp()
{
    if (m_dirEdit->text().isEmpty())
        m_dirEdit->setText(QDir::currentPath());
    m_nameEdit->clear();
    show();
}

void Dialog_NewProj::selectDir()
{
    const QString dir = askExistingDirectory(this, QString(), QString());
    if (!dir.isEmpty())
        m_dirEdit->setText(dir);
}

void Dialog_NewProj::newProject()
{
    const QString dir = m_dirEdit->text();
    if (dir.isEmpty()) {
        showSnackbarMessage(tr("工程目录不能为空，请填写正确的工程目录！"));
        return;
    }
    if (!QDir(dir).exists() && !QDir().mkpath(dir)) {
        showSnackbarMessage(tr("工程目录无法建立！"));
        return;
    }
    const QString name = m_nameEdit->text();
    if (name.isEmpty()) {
        showSnackbarMessage(tr("工程名不能为空，请填写工程名! "));
        return;
    }
    const QString projectDir = dir + "/" + name;
    const QString filePath = projectDir + "/" + name + ".json";
    // A new, empty file would replace the recorded points of the project already there.
    if (QFileInfo::exists(filePath)) {
        showSnackbarMessage(tr("工程文件已存在，请更换工程名！"));
        return;
    }
    if (!QDir(projectDir).exists() && !QDir().mkpath(projectDir)) {
        showSnackbarMessage(tr("工程名的目录无法建立！"));
        return;
    }
    if (!QDir(projectDir + "/data").exists() && !QDir().mkpath(projectDir + "/data")) {
        showSnackbarMessage(tr("原始数据目录无法建立！"));
        return;
    }
    if (m_siteEdit->text().isEmpty()) {
        showSnackbarMessage(tr("工程地点为空，请填写工程地点！"));
        return;
    }
    if (m_operatorEdit->text().isEmpty()) {
        showSnackbarMessage(tr("操作员姓名为空，请填写操作员姓名！"));
        return;
    }
    const qint64 projectID = QDateTime::currentDateTime().toString(QStringLiteral("yyMMddhhmmss")).toLongLong();
    hide();

    qDebug() << "Dialog_NewProj" << "newProject" << filePath;
    const QJsonObject about{{"ProjectID", projectID},
                            {"ProjectName", name},
                            {"ProjectAddress", m_siteEdit->text()},
                            {"OperatorName", m_operatorEdit->text()},
                            {"AppBuild", BuildDateTime.toString(QStringLiteral("yyMMdd"))},
                            {"Instrument", ModelName},
                            {"DataNum", 0}};
    const QJsonObject project{{"About", about}, {"Data", QJsonArray()}};
    if (!writeNewFile(filePath, QJsonDocument(project).toJson(QJsonDocument::Indented))) {
        showSnackbarMessage(tr("工程配置文件创建失败！"));
        return;
    }
    emit sigalNewProject(filePath);
}
