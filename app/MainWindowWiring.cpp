#include "MainWindow.h"

#include "Dialog_DiskManage.h"
#include "Dialog_Export.h"
#include "Form_Index.h"
#include "Form_Param.h"
#include "Form_ResGraph.h"
#include "Form_StatusBar.h"
#include "FtpProgressDialog.h"
#include "LibCom.h"
#include "MainWindowUi.h"
#include "MessageBox.h"
#include "QtFTP.h"


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

    // The download queue's progress, in a dialog of its own whose Cancel empties the queue.
    auto* progress = new FtpProgressDialog(this);
    connect(ftp, &QtFTP::progressVisibleChanged, progress, &QWidget::setVisible);
    connect(ftp, &QtFTP::progressLabelChanged, progress, &QProgressDialog::setLabelText);
    connect(ftp, &QtFTP::progressChanged, progress, &FtpProgressDialog::setTransferProgress);
    connect(ftp, &QtFTP::progressReset, progress, &QProgressDialog::reset);
    connect(progress, &QProgressDialog::canceled, ftp, &QtFTP::cancelAll);
    // Groups whose files were cancelled are fetched from the tree later, not calculated now.
    connect(progress, &QProgressDialog::canceled, this, [this] { downloadGroups.clear(); });
    // The same table bytes to both dialogs, the storage dialog first.
    connect(ftp, &QtFTP::newTableJson, this, [this](QByteArray json) {
        if (dialogDiskManage)
            dialogDiskManage->setTableJson(json);
        if (dialogExport)
            dialogExport->setTableJson(json);
    });
    if (dialogExport)
        connect(ftp, &QtFTP::newProjJson, dialogExport, &Dialog_Export::setProjJson);

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
