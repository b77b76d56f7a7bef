#include "PlotMatrix.h"

#include <QGridLayout>
#include <QVector>

#include <qwt_plot.h>
#include <qwt_plot_canvas.h>
#include <qwt_scale_draw.h>
#include <qwt_scale_widget.h>

#include <algorithm>

namespace {

class Plot : public QwtPlot
{
public:
    explicit Plot(QWidget* parent) : QwtPlot(parent)
    {
        auto* canvas = new QwtPlotCanvas();
        canvas->setLineWidth(1);
        canvas->setFrameStyle(QFrame::Box | QFrame::Plain);
        setCanvas(canvas);
    }

    QSize sizeHint() const override { return minimumSizeHint(); }
};

bool isXAxis(int axis)
{
    return axis == QwtPlot::xBottom || axis == QwtPlot::xTop;
}

} // namespace

class PlotMatrix::PrivateData
{
public:
    bool isAxisEnabled[QwtPlot::axisCnt] = {true, false, true, false};
    QVector<QwtPlot*> plots;
    int columns = 0;
    bool inScaleSync = false;
    QGridLayout* layout = nullptr;
};

PlotMatrix::PlotMatrix(int rows, int columns, QWidget* parent)
    : QFrame(parent), d(new PrivateData)
{
    d->columns = columns;
    d->plots.resize(std::max(0, rows * columns));
    d->layout = new QGridLayout(this);
    d->layout->setSpacing(0);
    d->layout->setContentsMargins(0, 0, 0, 0);

    for (int row = 0; row < rows; ++row) {
        for (int col = 0; col < columns; ++col) {
            auto* plot = new Plot(this);
            d->layout->addWidget(plot, row, col);
            for (int axis = 0; axis < QwtPlot::axisCnt; ++axis)
                connect(plot->axisWidget(axis), SIGNAL(scaleDivChanged()), this, SLOT(scaleDivChanged()),
                        Qt::QueuedConnection);
            d->plots[row * columns + col] = plot;
        }
    }
    updateLayout();
}

PlotMatrix::~PlotMatrix()
{
    delete d;
}

int PlotMatrix::rowCount() const
{
    const auto* grid = qobject_cast<const QGridLayout*>(layout());
    return grid ? grid->rowCount() : 0;
}

int PlotMatrix::columnCount() const
{
    const auto* grid = qobject_cast<const QGridLayout*>(layout());
    return grid ? grid->columnCount() : 0;
}

QwtPlot* PlotMatrix::plotAt(int row, int column)
{
    if (row < 0 || column < 0 || column >= d->columns)
        return nullptr;
    const int index = row * d->columns + column;
    return index < d->plots.size() ? d->plots[index] : nullptr;
}

const QwtPlot* PlotMatrix::plotAt(int row, int column) const
{
    return const_cast<PlotMatrix*>(this)->plotAt(row, column);
}

void PlotMatrix::setRowStretch(int row, int stretch)
{
    d->layout->setRowStretch(row, stretch);
}

void PlotMatrix::setColumnStretch(int column, int stretch)
{
    d->layout->setColumnStretch(column, stretch);
}

bool PlotMatrix::axisEnabled(int axis) const
{
    return axis >= 0 && axis < QwtPlot::axisCnt && d->isAxisEnabled[axis];
}

void PlotMatrix::enableAxis(int axis, bool on)
{
    if (axis < 0 || axis >= QwtPlot::axisCnt || d->isAxisEnabled[axis] == on)
        return;
    d->isAxisEnabled[axis] = on;
    updateLayout();
}

void PlotMatrix::setAxisScale(int axis, int rowOrColumn, double min, double max, double step)
{
    QwtPlot* plot = isXAxis(axis) ? plotAt(0, rowOrColumn) : plotAt(rowOrColumn, 0);
    if (!plot)
        return;
    plot->setAxisScale(axis, min, max, step);
    plot->updateAxes();
}

// Visibility within the matrix, not on screen: the page is often hidden while it is
// loaded, and the time labels must still land under the last row shown.
int PlotMatrix::lastVisibleRow() const
{
    const int rows = d->columns > 0 ? d->plots.size() / d->columns : 0;
    int last = rows - 1;
    for (int row = 0; row < rows; ++row) {
        const QwtPlot* plot = plotAt(row, 0);
        if (plot && plot->isVisibleTo(this))
            last = row;
    }
    return last;
}

void PlotMatrix::updateLayout()
{
    const int columns = d->columns;
    const int rows = columns > 0 ? d->plots.size() / columns : 0;
    const int lastRow = lastVisibleRow();

    for (int row = 0; row < rows; ++row) {
        for (int col = 0; col < columns; ++col) {
            QwtPlot* plot = plotAt(row, col);
            if (!plot)
                continue;
            bool shown[QwtPlot::axisCnt];
            shown[QwtPlot::yLeft] = d->isAxisEnabled[QwtPlot::yLeft] && (col == 0 || col == 3);
            shown[QwtPlot::yRight] = d->isAxisEnabled[QwtPlot::yRight] && col == columns - 1;
            shown[QwtPlot::xBottom] = d->isAxisEnabled[QwtPlot::xBottom] && row == lastRow;
            shown[QwtPlot::xTop] = d->isAxisEnabled[QwtPlot::xTop] && row == 0;

            for (int axis = 0; axis < QwtPlot::axisCnt; ++axis) {
                // Every axis keeps its space so that neighbouring canvases line up.
                plot->enableAxis(axis, true);
                QwtScaleDraw* draw = plot->axisScaleDraw(axis);
                draw->enableComponent(QwtAbstractScaleDraw::Backbone, shown[axis]);
                draw->enableComponent(QwtAbstractScaleDraw::Ticks, shown[axis]);
                draw->enableComponent(QwtAbstractScaleDraw::Labels, shown[axis]);
                QwtScaleWidget* widget = plot->axisWidget(axis);
                widget->setMargin(0);
                widget->setSpacing(0);
            }
        }
    }

    for (int row = 0; row < rows; ++row) {
        alignScaleExtents(row, QwtPlot::xTop);
        alignScaleExtents(row, QwtPlot::xBottom);
        alignBorderDistances(row, QwtPlot::yLeft);
        alignBorderDistances(row, QwtPlot::yRight);
    }
    for (int col = 0; col < columns; ++col) {
        alignScaleExtents(col, QwtPlot::yLeft);
        alignScaleExtents(col, QwtPlot::yRight);
        alignBorderDistances(col, QwtPlot::xBottom);
        alignBorderDistances(col, QwtPlot::xTop);
    }

    for (QwtPlot* plot : qAsConst(d->plots))
        if (plot)
            plot->replot();
}

void PlotMatrix::alignScaleExtents(int rowOrColumn, int axis)
{
    const int columns = d->columns;
    const int rows = columns > 0 ? d->plots.size() / columns : 0;
    QVector<QwtPlot*> cells;
    if (isXAxis(axis)) {
        for (int col = 0; col < columns; ++col)
            cells << plotAt(rowOrColumn, col);
    } else {
        for (int row = 0; row < rows; ++row)
            cells << plotAt(row, rowOrColumn);
    }

    double maxExtent = 0.0;
    for (QwtPlot* plot : qAsConst(cells)) {
        if (!plot)
            continue;
        QwtScaleWidget* widget = plot->axisWidget(axis);
        QwtScaleDraw* draw = widget->scaleDraw();
        draw->setMinimumExtent(0.0);
        maxExtent = std::max(maxExtent, draw->extent(widget->font()));
    }
    for (QwtPlot* plot : qAsConst(cells))
        if (plot)
            plot->axisWidget(axis)->scaleDraw()->setMinimumExtent(maxExtent);
}

void PlotMatrix::alignBorderDistances(int rowOrColumn, int axis)
{
    const int columns = d->columns;
    const int rows = columns > 0 ? d->plots.size() / columns : 0;
    QwtPlot* reference = nullptr;
    QVector<QwtPlot*> others;
    switch (axis) {
    case QwtPlot::yLeft:
        reference = plotAt(rowOrColumn, 0);
        for (int col = 1; col < columns; ++col)
            others << plotAt(rowOrColumn, col);
        break;
    case QwtPlot::yRight:
        reference = plotAt(rowOrColumn, columns - 1);
        for (int col = 0; col < columns - 1; ++col)
            others << plotAt(rowOrColumn, col);
        break;
    case QwtPlot::xTop:
        reference = plotAt(0, rowOrColumn);
        for (int row = 1; row < rows; ++row)
            others << plotAt(row, rowOrColumn);
        break;
    case QwtPlot::xBottom:
        reference = plotAt(rows - 1, rowOrColumn);
        for (int row = 0; row < rows - 1; ++row)
            others << plotAt(row, rowOrColumn);
        break;
    default:
        return;
    }

    int start = 0;
    int end = 0;
    if (reference)
        reference->axisWidget(axis)->getBorderDistHint(start, end);
    for (QwtPlot* plot : qAsConst(others))
        if (plot)
            plot->axisWidget(axis)->setMinBorderDist(start, end);
}

void PlotMatrix::scaleDivChanged()
{
    if (d->inScaleSync)
        return;
    d->inScaleSync = true;

    const int columns = d->columns;
    const int rows = columns > 0 ? d->plots.size() / columns : 0;
    QwtPlot* source = nullptr;
    int axisId = -1;
    int rowOrColumn = -1;
    for (int i = 0; i < d->plots.size() && !source; ++i) {
        QwtPlot* plot = d->plots[i];
        if (!plot)
            continue;
        for (int axis = 0; axis < QwtPlot::axisCnt; ++axis) {
            if (plot->axisWidget(axis) == sender()) {
                source = plot;
                axisId = axis;
                rowOrColumn = isXAxis(axis) ? i % columns : i / columns;
                break;
            }
        }
    }

    if (source && source->isVisibleTo(this)) {
        const QwtScaleDiv div = source->axisScaleDiv(axisId);
        // The followers' own change notices would come back queued, after the guard is
        // down, and report the same change once more per cell: hold them back.
        QVector<QwtPlot*> followers;
        if (isXAxis(axisId)) {
            for (int row = 0; row < rows; ++row) {
                QwtPlot* plot = plotAt(row, rowOrColumn);
                if (plot && plot != source) {
                    plot->setAxisScaleDiv(axisId, div);
                    followers << plot;
                }
            }
        }
        if (axisId == QwtPlot::xBottom) {
            const QwtInterval interval = source->axisInterval(QwtPlot::xBottom);
            emit xAxisScaleChanged(interval.minValue(), interval.maxValue());
        }
        for (QwtPlot* plot : qAsConst(followers))
            plot->axisWidget(axisId)->blockSignals(true);
        updateLayout();
        for (QwtPlot* plot : qAsConst(followers))
            plot->axisWidget(axisId)->blockSignals(false);
    }

    d->inScaleSync = false;
}
