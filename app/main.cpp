#include "FileLogger.h"
#include "MainWindow.h"
#include "QtTranslation.h"

#include <QApplication>
#include <QTextCodec>

int main(int argc, char* argv[])
{
    installFileLogger();
    auto* app = new QApplication(argc, argv);
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    installQtTranslation(app);
    auto* window = new MainWindow();
    window->show();
    const int exitCode = app->exec();
    delete window;
    delete app;
    return exitCode;
}
