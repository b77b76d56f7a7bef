#include "GraphScreenshot.h"

#include "ModalAnswers.h"
#include "OperatorMessages.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFileInfo>
#include <QPainter>
#include <QPixmap>
#include <QWidget>

#include <cmath>

QString screenshotFileName(const QString& chosen)
{
    if (chosen.isEmpty())
        return chosen;
    if (QFileInfo(chosen).suffix().compare(QLatin1String("png"), Qt::CaseInsensitive) == 0)
        return chosen;
    return chosen + QStringLiteral(".png");
}

bool saveScreenshot(QWidget* page, const QString& fileName)
{
    const QString target = screenshotFileName(fileName);
    QPixmap pixmap(int(std::lround(page->width() * 2.0)), int(std::lround(page->height() * 2.0)));
    pixmap.setDevicePixelRatio(2.0);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    page->render(&painter, QPoint(0, 0), QRegion(),
                 QWidget::DrawWindowBackground | QWidget::DrawChildren);
    painter.end();

    if (target.isEmpty() || !pixmap.save(target, "PNG")) {
        qWarning() << "saveScreenshot: cannot write" << target;
        showSnackbarMessage(QCoreApplication::translate("QObject", "截图保存失败:%1").arg(target));
        return false;
    }
    return true;
}

void takeScreenshot(QWidget* page)
{
    const QString name = askSaveFileName(nullptr, QCoreApplication::translate("QObject", "保存图片"),
                                         QString(), QStringLiteral("PNG 图片 (*.png)"));
    if (name.isEmpty())
        return;
    saveScreenshot(page, name);
}
