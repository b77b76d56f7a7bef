#include "MainWindow.h"

#include "Form_Index.h"
#include "Form_Param.h"
#include "Form_ResGraph.h"
#include "Form_StatusBar.h"
#include "LibCom.h"
#include "MainWindowUi.h"
#include "MessageBox.h"
#include "QtFTP.h"

// The instrument dialogs come with their own change; until then the window has none.
#if __has_include("Dialog_Export.h") && __has_include("Dialog_DiskManage.h")
#include "Dialog_DiskManage.h"
#include "Dialog_Export.h"
#define VARN_HAVE_INSTRUMENT_DIALOGS 1
#endif

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>

// The service connections, the page switch, drag and drop.

void MainWindow::connectServices()
{
    connect(libCom, &Com::ComConnected, this, &MainWindow::onSlotNetWorkConnected);
    connect(libCom, &Com::ComClosed, this, &MainWindow::onNetWorkClosed);
    connect(libCom, &Com::ComConnectFailed, this, &MainWindow::onConnectFailed);
    connect(libCom, &LibCom::DevAdjustTimeOver, this, &MainWindow::onAdjustTimeOver);
    connect(libCom, &LibCom::DevSystemInfo, this, &MainWindow::onSlotSystemInfo);
    connect(libCom, &LibCom::DevProjConfiged, this, &MainWindow::onSlotProjectConfiged);
    connect(libCom, &LibCom::ProcessStarted, this, &MainWindow::onSlotSampleStarted);
    connect(libCom, &LibCom::ProcessStoped, this, &MainWindow::onSlotSampleStopped);
    connect(libCom, &LibCom::DevStatus, this, &MainWindow::onSlotMachineStatus);
    connect(libCom, &LibCom::ProcessGroupFinish, this, &MainWindow::onSlotRequestTransormData);
    connect(libCom, &LibCom::DevErrorFlagClear, this, &MainWindow::onSlotDeviceErrorFlagClear);
    connect(libCom, &LibCom::DevSDCardDiskFormated, this, &MainWindow::onSlotSDCardFormatSucceed);
    connect(libCom, &LibCom::DevProjDeleted, ftp, &QtFTP::getTableJson);
    connect(libCom, &LibCom::MsgSendFail, this, &MainWindow::onMsgSendFail);
    connect(ftp, &QtFTP::finished, this, &MainWindow::onFtpFinished);
#ifdef VARN_HAVE_INSTRUMENT_DIALOGS
    // The same table bytes to both dialogs, the storage dialog first.
    connect(ftp, &QtFTP::newTableJson, this, [this](QByteArray json) {
        if (dialogDiskManage)
            dialogDiskManage->setTableJson(json);
        if (dialogExport)
            dialogExport->setTableJson(json);
    });
    if (dialogExport)
        connect(ftp, &QtFTP::newProjJson, dialogExport, &Dialog_Export::setProjJson);
#endif

    // The road's ends: the tree's rows and the sounding page. Unique, as the constructor may
    // have made them already.
    connect(formIndex, &Form_Index::signalSelectRate, this, &MainWindow::onSelectRate, Qt::UniqueConnection);
    connect(formIndex, &Form_Index::signalSelectPoint, this, &MainWindow::onSelectPoint, Qt::UniqueConnection);
    connect(this, &MainWindow::newResData, formResGraph, &Form_ResGraph::onNewResData, Qt::UniqueConnection);
    connect(formStatusBar, &Form_StatusBar::dirCreateError, formIndex, &Form_Index::pointIDPlus1,
            Qt::UniqueConnection);
    connect(&calcWatcher, &QFutureWatcher<void>::finished, this, &MainWindow::startNextCalculation);
}

void MainWindow::saveSettingsNow()
{
    st_PointPos zero{};
    setSystemConfig(formParam->lineEdit_PointStep->text().toInt(), formParam->getOnLineSelect(),
                    formParam->getTaskParam(zero));
}

void MainWindow::switchPage(int index)
{
    const int paramPage = 2;
    if (ui->stackedWidget->currentIndex() != paramPage) {
        ui->stackedWidget->setCurrentIndex(index);
        if (index != paramPage)
            return;
    } else if (index != paramPage) {
        // Leaving the task page only with a task the form accepts.
        if (!formParam->confirParam()) {
            const QSignalBlocker blocker(ui->tabBar);
            ui->tabBar->setCurrentIndex(paramPage);
            return;
        }
        ui->stackedWidget->setCurrentIndex(index);
    }
    saveSettingsNow();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    if (!event->mimeData()->hasUrls())
        return;
    const QString path = event->mimeData()->urls().first().toLocalFile();
    if (path.endsWith(QLatin1String(".json"), Qt::CaseInsensitive))
        openProjectAction(path);
    else
        showMessageBox(QMessageBox::Critical, tr("错误"), tr("请拖入正确的工程文件"), QMessageBox::Ok);
}
