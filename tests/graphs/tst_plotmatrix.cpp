#include "PlotMatrix.h"

#include <QSignalSpy>
#include <QtTest>

#include <qwt_plot.h>
#include <qwt_scale_draw.h>
#include <qwt_scale_widget.h>

namespace {

bool labelsShown(const QwtPlot* plot, int axis)
{
    return plot->axisScaleDraw(axis)->hasComponent(QwtAbstractScaleDraw::Labels);
}

int rowWithTimeLabels(PlotMatrix& matrix, int rows)
{
    int found = -1;
    for (int row = 0; row < rows; ++row) {
        if (labelsShown(matrix.plotAt(row, 0), QwtPlot::xBottom)) {
            if (found >= 0)
                return -2; // more than one
            found = row;
        }
    }
    return found;
}

} // namespace

class TestPlotMatrix : public QObject
{
    Q_OBJECT
private slots:
    void cellsAreAddressedInsideTheGrid();
    void timeLabelsFollowTheLastRowShownInTheMatrix();
    void oneByFourKeepsLeftScalesOnOuterColumnsAligned();
    void xScaleChangeIsCopiedDownTheColumnAndReportedOnce();
    void changeOnAHiddenCellIsIgnored();
    void enablingAnAxisAlreadyEnabledDoesNotRelayout();
};

void TestPlotMatrix::cellsAreAddressedInsideTheGrid()
{
    PlotMatrix matrix(2, 3);
    QCOMPARE(matrix.rowCount(), 2);
    QCOMPARE(matrix.columnCount(), 3);
    QVERIFY(matrix.plotAt(1, 2));
    QVERIFY(matrix.plotAt(0, 0) != matrix.plotAt(0, 1));
    QVERIFY(!matrix.plotAt(2, 0));
    QVERIFY(!matrix.plotAt(0, 3));
    QVERIFY(!matrix.plotAt(-1, 0));
    const PlotMatrix& constMatrix = matrix;
    QCOMPARE(constMatrix.plotAt(1, 1), matrix.plotAt(1, 1));
    QVERIFY(!matrix.axisEnabled(4));
    QVERIFY(matrix.axisEnabled(QwtPlot::yLeft) && matrix.axisEnabled(QwtPlot::xBottom));
    QVERIFY(!matrix.axisEnabled(QwtPlot::yRight) && !matrix.axisEnabled(QwtPlot::xTop));
    // Setting a scale on a cell that does not exist does nothing.
    matrix.setAxisScale(QwtPlot::xBottom, 7, 0, 1);
}

// The matrix is normally loaded while its page is hidden: the row that carries the time
// labels is decided by visibility inside the matrix, not on screen.
void TestPlotMatrix::timeLabelsFollowTheLastRowShownInTheMatrix()
{
    PlotMatrix matrix(6, 1);
    matrix.updateLayout();
    QCOMPARE(rowWithTimeLabels(matrix, 6), 5);

    matrix.plotAt(4, 0)->hide();
    matrix.plotAt(5, 0)->hide();
    matrix.updateLayout();
    QCOMPARE(rowWithTimeLabels(matrix, 6), 3);
    for (int row = 0; row < 6; ++row) {
        QVERIFY(labelsShown(matrix.plotAt(row, 0), QwtPlot::yLeft));
        QVERIFY(!labelsShown(matrix.plotAt(row, 0), QwtPlot::xTop));
        for (int axis = 0; axis < QwtPlot::axisCnt; ++axis)
            QVERIFY(matrix.plotAt(row, 0)->axisEnabled(axis));
    }

    matrix.show();
    QVERIFY(QTest::qWaitForWindowExposed(&matrix));
    matrix.updateLayout();
    QCOMPARE(rowWithTimeLabels(matrix, 6), 3);
    matrix.hide();

    for (int row = 0; row < 6; ++row)
        matrix.plotAt(row, 0)->hide();
    matrix.updateLayout();
    QCOMPARE(rowWithTimeLabels(matrix, 6), 5);
}

void TestPlotMatrix::oneByFourKeepsLeftScalesOnOuterColumnsAligned()
{
    PlotMatrix matrix(1, 4);
    matrix.resize(800, 400);
    matrix.plotAt(0, 0)->setAxisScale(QwtPlot::yLeft, 0.1, 100000);
    matrix.plotAt(0, 3)->setAxisScale(QwtPlot::yLeft, 1000, 0);
    matrix.updateLayout(); // the new scales take effect in its replot
    matrix.updateLayout();

    const bool expected[4] = {true, false, false, true};
    for (int col = 0; col < 4; ++col) {
        QCOMPARE(labelsShown(matrix.plotAt(0, col), QwtPlot::yLeft), expected[col]);
        QVERIFY(labelsShown(matrix.plotAt(0, col), QwtPlot::xBottom));
        QVERIFY(!labelsShown(matrix.plotAt(0, col), QwtPlot::yRight));
    }

    int refStart = 0, refEnd = 0;
    matrix.plotAt(0, 0)->axisWidget(QwtPlot::yLeft)->getBorderDistHint(refStart, refEnd);
    for (int col = 1; col < 4; ++col) {
        int start = 0, end = 0;
        matrix.plotAt(0, col)->axisWidget(QwtPlot::yLeft)->getMinBorderDist(start, end);
        QCOMPARE(start, refStart);
        QCOMPARE(end, refEnd);
    }
}

void TestPlotMatrix::xScaleChangeIsCopiedDownTheColumnAndReportedOnce()
{
    PlotMatrix matrix(3, 1);
    matrix.show();
    QVERIFY(QTest::qWaitForWindowExposed(&matrix));
    QTest::qWait(100); // let the construction's own change notices pass
    QSignalSpy spy(&matrix, &PlotMatrix::xAxisScaleChanged);

    QwtPlot* middle = matrix.plotAt(1, 0);
    middle->setAxisScale(QwtPlot::xBottom, 2.5, 7.5);
    middle->replot();
    QVERIFY(spy.wait(5000));
    QTest::qWait(200);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().at(0).toDouble(), 2.5);
    QCOMPARE(spy.first().at(1).toDouble(), 7.5);
    for (int row = 0; row < 3; ++row) {
        const QwtScaleDiv div = matrix.plotAt(row, 0)->axisScaleDiv(QwtPlot::xBottom);
        QCOMPARE(div.lowerBound(), 2.5);
        QCOMPARE(div.upperBound(), 7.5);
    }

    // A y change stays in its cell.
    matrix.setAxisScale(QwtPlot::yLeft, 0, -50, 50);
    QTest::qWait(200);
    QCOMPARE(matrix.plotAt(0, 0)->axisScaleDiv(QwtPlot::yLeft).upperBound(), 50.0);
    QVERIFY(matrix.plotAt(1, 0)->axisScaleDiv(QwtPlot::yLeft).upperBound() != 50.0);
    QCOMPARE(spy.count(), 1);
}

void TestPlotMatrix::changeOnAHiddenCellIsIgnored()
{
    PlotMatrix matrix(3, 1);
    matrix.show();
    QVERIFY(QTest::qWaitForWindowExposed(&matrix));
    QTest::qWait(100);
    matrix.plotAt(0, 0)->hide();
    QSignalSpy spy(&matrix, &PlotMatrix::xAxisScaleChanged);

    matrix.plotAt(0, 0)->setAxisScale(QwtPlot::xBottom, 10, 20);
    matrix.plotAt(0, 0)->replot();
    QTest::qWait(300);
    QCOMPARE(spy.count(), 0);
    QVERIFY(matrix.plotAt(1, 0)->axisScaleDiv(QwtPlot::xBottom).lowerBound() != 10.0);
}

void TestPlotMatrix::enablingAnAxisAlreadyEnabledDoesNotRelayout()
{
    PlotMatrix matrix(2, 1);
    QwtScaleDraw* draw = matrix.plotAt(0, 0)->axisScaleDraw(QwtPlot::xBottom);
    QVERIFY(!draw->hasComponent(QwtAbstractScaleDraw::Labels));
    draw->enableComponent(QwtAbstractScaleDraw::Labels, true); // a mark a relayout would undo

    matrix.enableAxis(QwtPlot::xBottom, true);
    matrix.enableAxis(QwtPlot::xTop, false);
    matrix.enableAxis(7, true);
    QVERIFY(draw->hasComponent(QwtAbstractScaleDraw::Labels));

    matrix.enableAxis(QwtPlot::xTop, true);
    QVERIFY(matrix.axisEnabled(QwtPlot::xTop));
    QVERIFY(!draw->hasComponent(QwtAbstractScaleDraw::Labels));
    QVERIFY(matrix.plotAt(0, 0)->axisScaleDraw(QwtPlot::xTop)->hasComponent(QwtAbstractScaleDraw::Labels));
    QVERIFY(!matrix.plotAt(1, 0)->axisScaleDraw(QwtPlot::xTop)->hasComponent(QwtAbstractScaleDraw::Labels));
}

QTEST_MAIN(TestPlotMatrix)
#include "tst_plotmatrix.moc"
