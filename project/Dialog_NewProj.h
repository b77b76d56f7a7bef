#pragma once

#include "MyDialog.h"

class QLineEdit;
class QToolButton;
class QDialogButtonBox;

// Asks for a new project's folder, name, site and operator, creates the project's
// folders and its first project file, and hands the file's path on.
class Dialog_NewProj : public MyDialog
{
    Q_OBJECT
public:
    explicit Dialog_NewProj(QWidget* parent = nullptr);

    // Proposes the current folder when none is set and clears the name.
    void showUp();

signals:
    void sigalNewProject(QString path);

public slots:
    void selectDir();
    void newProject();

private:
    QLineEdit* m_dirEdit = nullptr;
    QToolButton* m_dirButton = nullptr;
    QLineEdit* m_nameEdit = nullptr;
    QLineEdit* m_siteEdit = nullptr;
    QLineEdit* m_operatorEdit = nullptr;
    QDialogButtonBox* m_buttonBox = nullptr;
};
