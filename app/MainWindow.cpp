#include "MainWindow.h"

#include "AppConstants.h"
#include "AppGlobals.h"
#include "Dialog_DiskManage.h"
#include "Dialog_Export.h"
#include "Dialog_NewProj.h"
#include "Form_Index.h"
#include "Form_Param.h"
#include "Form_ResGraph.h"
#include "Form_StatusBar.h"
#include "Form_TSGraph.h"
#include "LibCom.h"
#include "QtFTP.h"
#include "MainWindowUi.h"
#include "GlobalSnackbar.h"
#include "MessageBox.h"
#include "QtMaterialSnackbar.h"
#include "StyleSheetPreprocessor.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>

#include <cmath>
#include <QDebug>
#include <QDir>
#include <QKeyEvent>
#include <QLocale>
#include <QMutexLocker>
#include <QSettings>

namespace {

// The compiler's "Mmm dd yyyy" pads single-digit days with a blank; make it a zero.
QDateTime compiledDateTime()
{
    QString text = QStringLiteral(__DATE__);
    text.replace(QStringLiteral("  "), QStringLiteral(" 0"));
    text += QStringLiteral(__TIME__);
    return QLocale(QLocale::English).toDateTime(text, QStringLiteral("MMM dd yyyyhh:mm:ss"));
}

// Empties the folder but keeps it: entries are removed as files first, then as folders.
void clearFolder(const QString& path)
{
    QDir dir(path);
    if (!dir.exists())
        return;
    const QStringList entries = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        if (!dir.remove(entry))
            QDir(dir.filePath(entry)).removeRecursively();
    }
}

} // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent, Qt::FramelessWindowHint)
    , ui(new Ui_MainWindow)
    , pointParam(defaultPointParam())
{
    Q_INIT_RESOURCE(resources);
    ui->setupUi(this);
    initStyle();

    auto* snackbar = new QtMaterialSnackbar(this);
    installOperatorMessageReceivers(snackbar);
    snackbar->setFontPixelSize(AppFont.pixelSize());
    AppDirPath = QCoreApplication::applicationDirPath();
    ui->statusBar->setContentsMargins(0, 0, 0, 1);

    BuildDateTime = compiledDateTime();
    qDebug().noquote() << QStringLiteral("*****Init Varn28 Build") + BuildDateTime.toString(QStringLiteral("yyMMdd*****"));

    formParam = new Form_Param(this);
    ui->stackedWidget->addWidget(formParam);

    dialogNewProj = new Dialog_NewProj();
    connect(dialogNewProj, &Dialog_NewProj::sigalNewProject, this, &MainWindow::openProjectAction);

    formIndex = new Form_Index(this);
    // The tree takes a narrower share of small screens.
    const QSize screen = QGuiApplication::primaryScreen()->size();
    formIndex->setMinimumWidth(screen.width() <= 1000 ? 120 : 150);
    formIndex->setMaximumWidth(screen.height() <= 1080 ? 200 : 250);
    formIndex->setAutoFillBackground(true);
    connect(formIndex, &Form_Index::signalSelectRate, this, &MainWindow::onSelectRate);
    connect(formIndex, &Form_Index::signalSelectPoint, this, &MainWindow::onSelectPoint);
    ui->SampleLayout->insertWidget(0, formIndex);

    formTSGraph = new Form_TSGraph(this);
    formResGraph = new Form_ResGraph(this);
    ui->Page1->layout()->addWidget(formTSGraph);
    ui->stacked_Graph->addWidget(formResGraph);
    ui->stacked_Graph->setCurrentIndex(0);
    // Emitted on a calculation's worker thread: the automatic connection queues it.
    connect(this, &MainWindow::newResData, formResGraph, &Form_ResGraph::onNewResData);
    ui->stacked_Graph->setMinimumSize(600, 500);
    connect(ui->stacked_Graph, &QStackedWidget::currentChanged, this, [this](int index) {
        ui->tbtnSwitchView->setText(index != 0 ? tr("时序图") : tr("阻抗图"));
    });

    formStatusBar = new Form_StatusBar(this);
    ui->statusBar->addWidget(formStatusBar, 1);
    connect(formStatusBar, &Form_StatusBar::statusChanged, formParam, &Form_Param::setStatusText);
    // The instrument could not make the point's folder: the next point gets a new id.
    connect(formStatusBar, &Form_StatusBar::dirCreateError, formIndex, &Form_Index::pointIDPlus1);

    libCom = new LibCom(this);
    ftp = new QtFTP(this);

    initForm();
    initSync();
    setStateMachine();
    initProjManage();
    initSystemConf();
    initSampleTask();
    readSystemConfig();
    setNetConnectStatus(false);
    {
        QMutexLocker locker(&settingsMutex);
        syncSettings();
        formTSGraph->setTSGraphParam();
    }
    connectServices();
}

MainWindow::~MainWindow()
{
    // Nothing may reach the window while it goes: no event of the link, the download queue,
    // the tree or the status bar, and no calculation still running on the pool.
    // Only the signals the window wired: the style keeps its own watch on the widgets.
    libCom->disconnect();
    ftp->disconnect();
    disconnect(formIndex, &Form_Index::signalSelectRate, nullptr, nullptr);
    disconnect(formIndex, &Form_Index::signalSelectPoint, nullptr, nullptr);
    disconnect(formStatusBar, &Form_StatusBar::statusChanged, nullptr, nullptr);
    disconnect(formStatusBar, &Form_StatusBar::dirCreateError, nullptr, nullptr);
    stopDownloadsAndCalculations();
    // The dialogs are top-level windows of their own.
    delete dialogNewProj;
    delete dialogExport;
    delete dialogDiskManage;
    qDebug().noquote() << QStringLiteral("*****Exit Varn28*****");
    delete ui;
}

void MainWindow::initStyle()
{
    // Sizes follow the screen: 800 pixels of available height is scale 1.
    const int height = QGuiApplication::primaryScreen()->availableSize().height();
    UiScale = height / 800.0;
    setMinimumSize(int(1.2 * height), int(0.8 * height));
    AppFont.setFamily(QStringLiteral("SIMSUN"));
    AppFont.setPixelSize(int(std::ceil(10 * UiScale)));
    AppFont.setStyleStrategy(QFont::PreferAntialias);

    StyleSheetPreprocessor preprocessor(QStringLiteral(":/qss"));
    auto scaled = [](double k) { return QStringLiteral("%1px").arg(int(std::ceil(k * UiScale))); };
    preprocessor.defineVariable(QStringLiteral("$font-size-s"), scaled(12.4));
    preprocessor.defineVariable(QStringLiteral("$font-size-m"), scaled(15));
    preprocessor.defineVariable(QStringLiteral("$font-size-l"), scaled(24));
    preprocessor.defineVariable(QStringLiteral("$font-size-l-1"), scaled(23));
    preprocessor.defineVariable(QStringLiteral("$input-height"), scaled(30));
    preprocessor.defineVariable(QStringLiteral("$appBar-height"), scaled(52));
    preprocessor.defineVariable(QStringLiteral("$tab-width"), scaled(120));
    preprocessor.defineVariable(QStringLiteral("$xRadius"), scaled(4));
    preprocessor.defineVariable(QStringLiteral("$xPadding"), scaled(9));
    preprocessor.defineVariable(QStringLiteral("$ctrlBtn-width"), scaled(115));
    preprocessor.defineVariable(QStringLiteral("$border-width"), QStringLiteral("1px"));
    preprocessor.defineVariable(QStringLiteral("$border-width-l"), QStringLiteral("2px"));
    qApp->setStyleSheet(preprocessor.processFile(QStringLiteral("style.css")));
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    // The window has no frame to close it by; Escape must not take it away either.
    if (event->key() == Qt::Key_Escape)
        return;
    QWidget::keyPressEvent(event);
}

void MainWindow::onClickBtnClose()
{
    if (showMessageBox(QMessageBox::Question, tr("温馨提示"), tr("请确认是否要关闭程序?"),
                       QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    saveSettingsNow();
    // Now: the deferred write would never run once the event loop has ended.
    syncSettings();
    clearFolder(AppDirPath + QStringLiteral("/TempFile"));
    QCoreApplication::quit();
}
