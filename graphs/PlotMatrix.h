#pragma once

#include <QFrame>

class QwtPlot;

// A grid of plots of equal standing laid out edge to edge: axes are drawn only on the
// outer cells, neighbouring axes are aligned and the x scales of a column move together.
class PlotMatrix : public QFrame
{
    Q_OBJECT
public:
    PlotMatrix(int rows, int columns, QWidget* parent = nullptr);
    ~PlotMatrix() override;

    int rowCount() const;
    int columnCount() const;

    QwtPlot* plotAt(int row, int column);
    const QwtPlot* plotAt(int row, int column) const;

    void setRowStretch(int row, int stretch);
    void setColumnStretch(int column, int stretch);

    bool axisEnabled(int axis) const;
    void enableAxis(int axis, bool on = true);

    void setAxisScale(int axis, int rowOrColumn, double min, double max, double step = 0);

    void updateLayout();

signals:
    void xAxisScaleChanged(double lower, double upper);

private slots:
    void scaleDivChanged();

private:
    void alignScaleExtents(int rowOrColumn, int axis);
    void alignBorderDistances(int rowOrColumn, int axis);
    int lastVisibleRow() const;

    class PrivateData;
    PrivateData* d;
};
