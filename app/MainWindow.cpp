#include "MainWindow.h"

#include "AppConstants.h"
#include "AppGlobals.h"
#include "MainWindowUi.h"
#include "MessageBox.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QKeyEvent>
#include <QLocale>

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
{
    Q_INIT_RESOURCE(resources);
    ui->setupUi(this);

    AppDirPath = QCoreApplication::applicationDirPath();
    ui->statusBar->setContentsMargins(0, 0, 0, 1);

    BuildDateTime = compiledDateTime();
    qDebug().noquote() << QStringLiteral("*****Init Varn28 Build") + BuildDateTime.toString(QStringLiteral("yyMMdd*****"));

    initForm();
}

MainWindow::~MainWindow()
{
    qDebug().noquote() << QStringLiteral("*****Exit Varn28*****");
    delete ui;
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    // The window has no frame to close it by; Escape must not take it away either.
    if (event->key() == Qt::Key_Escape)
        return;
    QWidget::keyPressEvent(event);
}

void MainWindow::initForm()
{
    setWindowTitle(ModelName);
    ui->label_Version->setText(QStringLiteral("V%1 (Build %2)")
                                   .arg(QStringLiteral("1.0.0"), BuildDateTime.toString(QStringLiteral("yyMMdd"))));
    ui->label_WebSite->setOpenExternalLinks(true);
    ui->label_WebSite->setText(QStringLiteral("<a href=\"https://example.org/varn28\">Varn28</a>"));
    ui->label_BuildYear->setText(QStringLiteral("© %1").arg(BuildDateTime.toString(QStringLiteral("yyyy"))));

    ui->tabBar->addTab(tr("工程管理"));
    ui->tabBar->addTab(tr("采集任务"));
    ui->tabBar->addTab(tr("参数设置"));
    ui->tabBar->setCurrentIndex(0);
    ui->stackedWidget->setCurrentIndex(0);
    ui->tabBar->setCursor(Qt::PointingHandCursor);
    connect(ui->tabBar, &QTabBar::currentChanged, ui->stackedWidget, &QStackedWidget::setCurrentIndex);

    connect(ui->btnMenu_Min, &QToolButton::clicked, this, &QWidget::showMinimized);
    connect(ui->btnMenu_Max, &QToolButton::clicked, this, [this] {
        if (isMaximized())
            showNormal();
        else
            showMaximized();
        updateMaximizeButton(isMaximized());
    });
    connect(ui->btnMenu_Close, &QToolButton::clicked, this, &MainWindow::onClickBtnClose);
    ui->btnMenu_Min->setToolTip(tr("最小化"));
    ui->btnMenu_Max->setToolTip(tr("最大化"));
    ui->btnMenu_Close->setToolTip(tr("关闭"));
}

void MainWindow::updateMaximizeButton(bool maximized)
{
    ui->btnMenu_Max->setText(maximized ? QStringLiteral("2") : QStringLiteral("1"));
    ui->btnMenu_Max->setToolTip(maximized ? tr("还原") : tr("最大化"));
}

void MainWindow::onClickBtnClose()
{
    if (showMessageBox(QMessageBox::Question, tr("温馨提示"), tr("请确认是否要关闭程序?"),
                       QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    clearFolder(AppDirPath + QStringLiteral("/TempFile"));
    QCoreApplication::quit();
}
