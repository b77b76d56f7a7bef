#include "MainWindow.h"

#include "MainWindowUi.h"
#include "MyComboBox.h"

#include <QSignalTransition>
#include <QState>
#include <QStateMachine>
#include <QTime>

// The project and sampling buttons are never set by hand: each state assigns them.
void MainWindow::setStateMachine()
{
    stateMachine = new QStateMachine(this);
    auto* noProject = new QState(stateMachine);
    auto* projectIdle = new QState(stateMachine);
    auto* onlineSampling = new QState(stateMachine);
    auto* offlineSampling = new QState(stateMachine);
    auto* preSampling = new QState(stateMachine);
    auto* awaitSave = new QState(stateMachine);
    noProject->setObjectName(QStringLiteral("NoProject"));
    projectIdle->setObjectName(QStringLiteral("ProjectIdle"));
    onlineSampling->setObjectName(QStringLiteral("OnlineSampling"));
    offlineSampling->setObjectName(QStringLiteral("OfflineSampling"));
    preSampling->setObjectName(QStringLiteral("PreSampling"));
    awaitSave->setObjectName(QStringLiteral("AwaitSave"));

    // One row per widget property: the value in each state, -1 where the state leaves it alone.
    struct Row {
        QObject* target;
        const char* property;
        int values[6];  // NoProject, ProjectIdle, OnlineSampling, OfflineSampling, PreSampling, AwaitSave
    };
    const Row rows[] = {
        {ui->tbtnStartSample, "visible", {0, 1, 0, 0, 0, 0}},
        {ui->tbtnPreSampleData, "visible", {0, 1, 0, 0, 0, 0}},
        {ui->tbtnStopSample, "visible", {0, 0, 1, 1, 0, 0}},
        {ui->tbtnSave, "visible", {0, 0, 0, 0, 0, 1}},
        {ui->tbtnCancelSave, "visible", {0, 0, 0, 0, 0, 1}},
        {ui->tbtnNewProject, "enabled", {1, 0, -1, -1, -1, -1}},
        {ui->tbtnOpenProject, "enabled", {1, 0, -1, -1, -1, -1}},
        // No transition leaves a trial run on this button: closed there, it would strand the window.
        {ui->tbtnCloseProject, "enabled", {0, 1, 0, -1, 0, -1}},
        {ui->recentProjList, "enabled", {1, 0, -1, -1, -1, -1}},
        {ui->lineEdit_LineNum, "enabled", {0, 1, 0, -1, -1, -1}},
        {ui->lineEdit_PointNum, "enabled", {0, 1, 0, -1, -1, -1}},
        {ui->tbtnExportData, "visible", {1, 1, 0, 0, 0, -1}},
        {ui->tbtnDiskManage, "visible", {1, 1, 0, 0, 0, -1}},
        {ui->tbtnSwitchView, "visible", {0, 0, 0, -1, -1, -1}},
        {ui->tbtnLastSampleGroup, "visible", {0, 0, 0, -1, -1, -1}},
        {ui->comboBox_SyncHour, "enabled", {-1, 1, 0, 0, -1, -1}},
        {ui->comboBox_SyncMinute, "enabled", {-1, 1, 0, 0, -1, -1}},
    };
    QState* const states[6] = {noProject, projectIdle, onlineSampling, offlineSampling, preSampling, awaitSave};
    for (const Row& row : rows) {
        for (int i = 0; i < 6; ++i) {
            if (row.values[i] >= 0)
                states[i]->assignProperty(row.target, row.property, row.values[i] != 0);
        }
    }
    projectIdle->assignProperty(ui->tabBar, "currentIndex", 1);

    noProject->addTransition(this, &MainWindow::projOpened, projectIdle);
    projectIdle->addTransition(this, &MainWindow::sampleStart, onlineSampling);
    projectIdle->addTransition(this, &MainWindow::sampleStart_Off, offlineSampling);
    projectIdle->addTransition(this, &MainWindow::sampleStart_Pre, preSampling);
    projectIdle->addTransition(this, &MainWindow::statusBusy, offlineSampling);
    onlineSampling->addTransition(this, &MainWindow::sampleOver, awaitSave);
    onlineSampling->addTransition(this, &MainWindow::sampleStoped, projectIdle);
    onlineSampling->addTransition(this, &MainWindow::statusIdle, projectIdle);
    offlineSampling->addTransition(this, &MainWindow::statusIdle, projectIdle);
    offlineSampling->addTransition(this, &MainWindow::sampleStoped, projectIdle);
    offlineSampling->addTransition(this, &MainWindow::sampleOver, projectIdle);
    offlineSampling->addTransition(ui->tbtnCloseProject, &QAbstractButton::clicked, noProject);
    preSampling->addTransition(this, &MainWindow::sampleOver, projectIdle);
    preSampling->addTransition(this, &MainWindow::statusIdle, projectIdle);
    awaitSave->addTransition(ui->tbtnSave, &QAbstractButton::clicked, projectIdle);
    awaitSave->addTransition(ui->tbtnCancelSave, &QAbstractButton::clicked, projectIdle);
    projectIdle->addTransition(ui->tbtnCloseProject, &QAbstractButton::clicked, noProject);

    // Each return to idle proposes the next minute for a cooperative start.
    connect(projectIdle, &QState::entered, this, [this] {
        const QTime now = QTime::currentTime();
        ui->comboBox_SyncHour->setCurrentIndex(now.hour());
        ui->comboBox_SyncMinute->setCurrentIndex(now.minute());
        ui->btn_Increase->click();
    });

    stateMachine->setInitialState(noProject);
    stateMachine->start();
}
