#pragma once

#include "MachineStatus.h"

#include <QColor>
#include <QHash>
#include <QPixmap>
#include <QString>
#include <QWidget>

class QShowEvent;
class QTimer;
class TaskbarButton;
class Ui_Form_StatusBar;

// "hh:mm:ss.zzz" of a span in ms; hours are not wrapped at 24.
QString msToTimeString(qint64 ms);

// ddmm.mmmm (degrees x 100 + minutes) as decimal degrees.
double ddmmToDegrees(double ddmm);

// The strip at the bottom of the main window: link and instrument state, clock check and
// the progress of the running sampling group.
class Form_StatusBar : public QWidget
{
    Q_OBJECT
public:
    enum ERR_ID {
        STM = 0x1,
        PW = 0x2,
        TEMP = 0x4,
        DISK = 0x8,
        CMD = 0x10,
        SAMPLE = 0x20,
        STOP = 0x80,
        CONFIG = 0x100,
        SELF = 0x200,
        TIMEOUT = 0x400,
        DISKFS = 0x800,
    };
    Q_ENUM(ERR_ID)

    explicit Form_StatusBar(QWidget* parent = nullptr);
    ~Form_StatusBar() override;

    void setMachineStatus(const st_MachineStatus& status);
    // Raw report as the link delivers it; a report shorter than 48 bytes is ignored (false).
    bool setMachineStatus(const char* data, qint64 size);
    void setNetConnectStatus(bool connected);
    void setProgressBarTime(bool run, int seconds, int rate);
    void setSampleEnd();
    quint8 getMachineState() const { return machineState; }

signals:
    void statusChanged(QString text);
    void dirCreateError();

public slots:
    void showErrorDialog(uint32_t errID, uint8_t errChn);
    void calcProgress();
    void onTimeOut();
    void showEvent(QShowEvent* event) override;
    QPixmap qPixmapFromSvg(QString svg_path, QColor color);
    QPixmap qPixmapFromSvg(QString svg_path);
    QPixmap qPixmapFromSvgWithGradient(QString svg_path, QColor start_color, QColor end_color);
    QPixmap qPixmapFromSvgWithGradient(QString svg_path, QColor start_color);
    QPixmap qPixmapFromSvgWithGradient(QString svg_path);

private:
    void mirrorProgressOnTaskbar(int value);

    Ui_Form_StatusBar* ui;
    bool progressRunning = false;
    quint8 machineState = 0;
    double progressElapsed = 0;
    double progressTotal = 0;
    QTimer* timer;
    double statusAge = 0;
    bool taskbarReady = false;
    QHash<QString, QPixmap> pixmapCache;
    quint32 lastErrID = 0;  // error bits of the last box shown; 0 = none
    TaskbarButton* taskbarButton = nullptr;
};
