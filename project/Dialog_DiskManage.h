#pragma once

#include "MyDialog.h"

#include <QByteArray>

#include <cstdint>

class QListWidget;
class QListWidgetItem;
class QPushButton;

// Removes stored projects from the instrument (at most two at a time) and formats its
// storage. The project open on the computer can never be chosen.
class Dialog_DiskManage : public MyDialog
{
    Q_OBJECT
public:
    Dialog_DiskManage();

    // Refills the list from the instrument's project table.
    void setTableJson(const QByteArray& json);
    // The project open on the computer, NoProjectID when none.
    void setCurProjID(int64_t id);

signals:
    void deleteProj(int64_t id);
    void diskFormat();

public slots:
    void onDelete();
    void onFormat();
    void onItemChanged(QListWidgetItem* item);

private:
    void protectCurrentProject(QListWidgetItem* item);

    int64_t m_curProjID;
    QListWidget* m_list = nullptr;
    QPushButton* m_formatButton = nullptr;
    QPushButton* m_deleteButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
};
