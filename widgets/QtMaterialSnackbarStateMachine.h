#pragma once

#include <QStateMachine>
#include <QTimer>

class QtMaterialSnackbar;

// Slides the snackbar's box in and out and hides each text after the auto-hide time.
// "offset" is 0 with the box fully shown and 1 with it fully below the bottom edge.
class QtMaterialSnackbarStateMachine : public QStateMachine
{
    Q_OBJECT
    Q_PROPERTY(qreal offset WRITE setOffset READ offset)

public:
    explicit QtMaterialSnackbarStateMachine(QtMaterialSnackbar* parent);

    void setOffset(qreal offset);
    qreal offset() const { return m_offset; }

public slots:
    void progress();
    void snackbarShown();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QtMaterialSnackbar* const m_snackbar;
    QTimer m_timer;
    qreal m_offset = 1;
};
