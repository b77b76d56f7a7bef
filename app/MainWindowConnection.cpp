#include "MainWindow.h"

#include "AppGlobals.h"
#include "Form_Index.h"
#include "Form_Param.h"
#include "Form_StatusBar.h"
#include "LibCom.h"
#include "MachineStatus.h"
#include "MainWindowUi.h"
#include "MessageBox.h"
#include "OperatorMessages.h"
#include "PowerPlan.h"
#include "QtFTP.h"

#include <QDebug>
#include <QNetworkProxyFactory>
#include <QUrl>
#include <QtEndian>

// Connecting to the instrument and its events.

namespace {

// Any outside address serves: the system is only asked which proxy it would use.
const char* const ProxyProbeUrl = "http://www.example.com";

bool systemProxyInUse()
{
    const QList<QNetworkProxy> proxies = QNetworkProxyFactory::systemProxyForQuery(
        QNetworkProxyQuery(QUrl(QString::fromLatin1(ProxyProbeUrl)), QNetworkProxyQuery::UrlRequest));
    return !proxies.isEmpty() && proxies.first().type() != QNetworkProxy::NoProxy;
}

} // namespace

void MainWindow::connnectNetwork()
{
    // The link and the downloads must go straight to the instrument on the local network.
    if (systemProxyInUse()) {
        showMessageBox(QMessageBox::Critical, tr("提示"), tr("检测到您正在使用代理，请关闭代理后重试"), QMessageBox::Ok);
        close();
        return;
    }
    if (isPowerSavingPlan(activePowerPlanName()))
        showMessageBox(QMessageBox::Critical, tr("提示"),
                       tr("检测到您的电脑使用的是节能模式，有可能影响数据传输，请及时修改"), QMessageBox::Ok);

    qDebug() << "MainWindow" << "connnectNetwork" << hostAddr.ip;
    libCom->ConnectToHost(hostAddr);
    ftp->setBaseUrl(instrumentFtpBaseUrl(hostAddr.ip));
    if (!libCom->Open())
        showMessageBox(QMessageBox::Critical, tr("网络错误"), tr("控制通信端口连接失败"), QMessageBox::Ok);
}

void MainWindow::onConnectFailed(const QString& reason)
{
    qDebug() << "MainWindow" << "onConnectFailed" << hostAddr.ip << reason;
    setNetConnectStatus(false);
    // Reported from inside the socket's error handling: the box waits for the event loop.
    postMessageBox(NoticeIcon::Critical, tr("网络错误"), tr("控制通信端口连接失败"));
}

void MainWindow::onSlotNetWorkConnected()
{
    if (projectOpen)
        libCom->SendConfigProj(projectAboutToBytes(formIndex->getProjectAbout()));
    setNetConnectStatus(true);
}

void MainWindow::onNetWorkClosed()
{
    setNetConnectStatus(false);
    showSnackbarMessage(tr("已断开连接"));
}

void MainWindow::onAdjustTimeOver()
{
    qDebug() << "MainWindow DevAdjustTimeOver";
}

void MainWindow::onMsgSendFail(const QString& msgName)
{
    showSnackbarMessage(msgName + tr(" 消息发送失败,请断开网络后重试"));
}

void MainWindow::setNetConnectStatus(bool connected)
{
    deviceOnline = connected;
    ui->tbtnConnectNetwork->setVisible(!connected);
    ui->tbtnDisconnectNetwork->setVisible(connected);
    ui->tbtnPowerOff->setVisible(false);
    for (QWidget* widget : std::initializer_list<QWidget*>{ui->tbtnPreSampleData, ui->tbtnStartSample,
                                                           ui->tbtnStopSample, ui->tbtnExportData,
                                                           ui->tbtnDiskManage, ui->lineEdit_LineNum,
                                                           ui->lineEdit_PointNum})
        widget->setEnabled(connected);
    formStatusBar->setNetConnectStatus(connected);
}

// Info holds the 16-byte record: number, firmware version, a word not read, firmware build.
void MainWindow::onSlotSystemInfo(char* Info)
{
    const quint32 number = qFromLittleEndian<quint32>(Info);
    const float version = qFromLittleEndian<float>(Info + 4);
    const quint32 build = qFromLittleEndian<quint32>(Info + 12);

    // Posted: a box opened here would hold up the link's receive pass, and with it every
    // acknowledge behind this message.
    if (!formParam->instrumentList.contains(QString::number(number)))
        postMessageBox(NoticeIcon::Information, tr("提示"), tr("编号为%1仪器校准文件未找到").arg(number));
    qDebug() << "MainWindow" << "onSlotSystemInfo" << number << version << build;
    ui->label_Version->setText(QStringLiteral("V:%1(%2) F:%3(%4)")
                                   .arg(QStringLiteral("1.0.0"), BuildDateTime.toString(QStringLiteral("yyMMdd")),
                                        QString::number(double(version), 'g', 6), QString::number(build)));
}

void MainWindow::onSlotProjectConfiged() {}

void MainWindow::onSlotMachineStatus(char* Info)
{
    st_MachineStatus status;
    if (!readMachineStatus(Info, st_MachineStatus::Size, &status))
        return;
    formStatusBar->setMachineStatus(status);
    // Every report emits again; the state machine ignores what has no transition.
    if (status.State == 0) {
        qInfo() << "MainWindow" << "onSlotMachineStatus" << "Status::Idle";
        emit statusIdle();
    } else if (status.State == 1) {
        qInfo() << "MainWindow" << "onSlotMachineStatus" << "Status::Busy";
        emit statusBusy();
    }
}

void MainWindow::onSlotDeviceErrorFlagClear() {}

void MainWindow::onSlotSDCardFormatSucceed()
{
    showSnackbarMessage(tr("仪器格式化完成"));
}
