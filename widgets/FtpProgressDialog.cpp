#include "FtpProgressDialog.h"

#include <limits>

FtpProgressDialog::FtpProgressDialog(QWidget* parent)
    : QProgressDialog(parent)
{
    setWindowTitle(tr("文件传输"));
    setCancelButtonText(tr("取消传输"));
    // A title bar of its own choosing: no help and no close button.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowModality(Qt::NonModal);
    setAutoClose(false);
    // QProgressDialog would show itself after a few seconds of progress; the queue decides.
    setMinimumDuration(std::numeric_limits<int>::max());
    cancel();
    hide();
}

void FtpProgressDialog::setTransferProgress(qint64 bytesReceived, qint64 bytesTotal)
{
    if (bytesTotal < 0) {
        setRange(0, 0);
        return;
    }
    if (bytesTotal == 0) {
        setValue(0);
        return;
    }
    // The bar counts in int: large files are counted in KiB (or coarser).
    qint64 unit = 1;
    while (bytesTotal / unit > std::numeric_limits<int>::max())
        unit *= 1024;
    setRange(0, int(bytesTotal / unit));
    setValue(int(qBound<qint64>(0, bytesReceived, bytesTotal) / unit));
}
