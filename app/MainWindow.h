#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>

class Form_Param;
class Form_StatusBar;
class Ui_MainWindow;
class QDragEnterEvent;
class QDropEvent;
class QKeyEvent;
class QStateMachine;

// The one top-level window: a frameless frame with app bar, tab bar, pages and status bar.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

signals:
    void projOpened();
    void statusBusy();
    void statusIdle();
    void sampleOver();
    void sampleStart();
    void sampleStart_Off();
    void sampleStart_Pre();
    void sampleStoped();

public slots:
    void keyPressEvent(QKeyEvent* event) override;
    void initForm();
    void initSync();
    void initStyle();
    void onClickBtnClose();
    void updateMaximizeButton(bool maximized);
    void setStateMachine();

private:
    Ui_MainWindow* ui;
    Form_StatusBar* formStatusBar = nullptr;
    QStateMachine* stateMachine = nullptr;
    bool deviceOnline = false;
    bool projectOpen = false;
    QString projectDir;
    qint32 curPointID = -1;
    QStringList recentList;
    Form_Param* formParam = nullptr;
};
