#pragma once

#include <QProgressDialog>

// The download queue's progress window: non-modal, without a close button, shown and
// hidden only by the queue (never by its own timing). Its canceled signal goes to the
// queue's cancelAll.
class FtpProgressDialog : public QProgressDialog
{
    Q_OBJECT
public:
    explicit FtpProgressDialog(QWidget* parent = nullptr);

public slots:
    // bytesTotal > 0: bar at received of total; -1 (size unknown): busy bar; 0: value 0 only.
    void setTransferProgress(qint64 bytesReceived, qint64 bytesTotal);
};
