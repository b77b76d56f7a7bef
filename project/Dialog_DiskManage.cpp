#include "Dialog_DiskManage.h"

#include "MessageBox.h"
#include "ModalAnswers.h"
#include "PointParam.h"

#include <QChildEvent>
#include <QDebug>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QJsonArray>
#include <QLayout>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

const QString ConfirmWord = QStringLiteral("恢复");
constexpr int ConfirmMinimumWidth = 580;

// Gives the confirmation's input dialog its width and placeholder once it is built,
// whichever way the question is asked.
class ConfirmInputStyler : public QObject
{
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::ChildPolished) {
            if (auto* input = qobject_cast<QInputDialog*>(static_cast<QChildEvent*>(event)->child())) {
                input->setMinimumWidth(ConfirmMinimumWidth);
                if (auto* edit = input->findChild<QLineEdit*>()) {
                    edit->setPlaceholderText(QObject::tr("请输入：恢复"));
                    // The dialog's layout imposes its own minimum, so the width is carried by the edit.
                    const QMargins margins = input->layout() ? input->layout()->contentsMargins() : QMargins();
                    edit->setMinimumWidth(ConfirmMinimumWidth - margins.left() - margins.right());
                }
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

void warn(const QString& text)
{
    showMessageBox(QMessageBox::Warning, QObject::tr("提示"), text, QMessageBox::Ok);
}

}  // namespace

Dialog_DiskManage::Dialog_DiskManage()
    : MyDialog(nullptr, Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_curProjID(NoProjectID)
{
    setWindowModality(Qt::ApplicationModal);
    // Lets the project ids travel through queued connections and signal spies.
    qRegisterMetaType<int64_t>("int64_t");
    setWindowTitle(tr("内存管理"));
    resize(400, 480);

    m_formatButton = new QPushButton(tr("格式化"), this);
    m_formatButton->setObjectName(QStringLiteral("btn_Format"));
    m_formatButton->setStyleSheet(QStringLiteral("color: white;background-color: red;"));
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("listWidget_Proj"));
    auto* buttonBox = new QDialogButtonBox(Qt::Horizontal, this);
    m_deleteButton = buttonBox->addButton(tr("删除"), QDialogButtonBox::AcceptRole);
    m_deleteButton->setObjectName(QStringLiteral("btn_Delete"));
    m_cancelButton = buttonBox->addButton(tr("取消"), QDialogButtonBox::RejectRole);
    m_cancelButton->setObjectName(QStringLiteral("btn_Cancel"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_formatButton);
    layout->addWidget(m_list);
    layout->addWidget(buttonBox);

    connect(m_formatButton, &QPushButton::clicked, this, &Dialog_DiskManage::onFormat);
    connect(buttonBox, &QDialogButtonBox::accepted, this, &Dialog_DiskManage::onDelete);
    connect(buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QListWidget::itemChanged, this, &Dialog_DiskManage::onItemChanged);
}

void Dialog_DiskManage::setTableJson(const QByteArray& json)
{
    {
        const QSignalBlocker blocker(m_list);
        m_list->clear();
        const QJsonDocument document = QJsonDocument::fromJson(json);
        if (!document.isObject())
            return;
        for (const QJsonValue& value : document.object().value(QStringLiteral("Data")).toArray()) {
            const QJsonObject entry = value.toObject();
            const qint64 id = entry.value(QStringLiteral("ID")).toVariant().toLongLong();
            auto* item = new QListWidgetItem(
                entry.value(QStringLiteral("ProjectName")).toString() + QStringLiteral("(ID:%1)").arg(id), m_list);
            item->setData(Qt::UserRole, id);
            if (id == m_curProjID)
                protectCurrentProject(item);
            else
                item->setCheckState(Qt::Unchecked);
        }
    }
    m_deleteButton->setEnabled(true);
    m_formatButton->setEnabled(true);
}

void Dialog_DiskManage::setCurProjID(int64_t id)
{
    m_curProjID = id;
    // The rows in hand are protected at once; a row only becomes free with a new table.
    const QSignalBlocker blocker(m_list);
    for (int row = 0; row < m_list->count(); ++row) {
        QListWidgetItem* item = m_list->item(row);
        if (item->data(Qt::UserRole).toLongLong() == id)
            protectCurrentProject(item);
    }
}

void Dialog_DiskManage::protectCurrentProject(QListWidgetItem* item)
{
    item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
    item->setData(Qt::CheckStateRole, QVariant());
    item->setForeground(Qt::gray);
}

void Dialog_DiskManage::onItemChanged(QListWidgetItem* item)
{
    if (!item || item->data(Qt::CheckStateRole).isNull() || item->checkState() != Qt::Checked)
        return;
    int checked = 0;
    for (int row = 0; row < m_list->count(); ++row)
        if (m_list->item(row)->checkState() == Qt::Checked)
            ++checked;
    if (checked < 3)
        return;
    {
        const QSignalBlocker blocker(m_list);
        item->setCheckState(Qt::Unchecked);
    }
    warn(tr("一次最多只能选择2个工程"));
}

void Dialog_DiskManage::onDelete()
{
    QList<QListWidgetItem*> chosen;
    for (int row = 0; row < m_list->count(); ++row)
        if (m_list->item(row)->checkState() == Qt::Checked)
            chosen << m_list->item(row);
    if (chosen.isEmpty()) {
        warn(tr("请先选择要删除的工程"));
        return;
    }
    if (chosen.size() > 2) {
        warn(tr("一次最多只能删除2个工程，请减少选择"));
        return;
    }
    for (QListWidgetItem* item : chosen) {
        const int row = m_list->row(item);
        if (row < 0)
            continue;
        m_list->takeItem(row);
        const qint64 id = item->data(Qt::UserRole).toLongLong();
        qDebug() << "Dialog_DiskManage" << "onDelete" << id;
        emit deleteProj(id);
        delete item;
    }
    m_deleteButton->setEnabled(false);
}

void Dialog_DiskManage::onFormat()
{
    const QString label = tr("<p>该行为 <strong>无法</strong> 被撤回。</p>"
                             "<p>这将永久删除机器内 <strong><font color=\"red\">所有</font> 工程文件</strong> 。</p>"
                             "<p>请勿在野外进行该操作。</p>"
                             "<p>恢复过程中仪器会进行多次重启，请勿断电！</p>"
                             "<p>请输入 <strong><font color=\"red\">恢复</font></strong> 以确认。</p>");
    ConfirmInputStyler styler;
    installEventFilter(&styler);
    bool ok = false;
    const QString text = askText(this, tr("你真的确定吗？"), label, &ok);
    removeEventFilter(&styler);
    if (ok && text == ConfirmWord)
        emit diskFormat();
}
