#include "Form_ResGraph.h"
#include "GraphScreenshot.h"
#include "GraphTestSupport.h"
#include "LegendLabel.h"
#include "PlotMatrix.h"
#include "PointCalculation.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_scale_engine.h>
#include <qwt_scale_widget.h>

#include <cmath>

using namespace graphtest;

using ResultMap = QMap<int, QVector<OneFreqImpedance> >;

namespace {

// A sounding of one channel pair from 0.1 Hz (or `lowest`) to 10 kHz, ten per decade.
QVector<OneFreqImpedance> sounding(double rhoScale, double lowest = 0.1)
{
    QVector<OneFreqImpedance> list;
    for (double f = lowest; f <= 10000.0 * 1.0001; f *= std::pow(10.0, 0.1)) {
        OneFreqImpedance r;
        r.Frequency = f;
        r.ApparentResis = rhoScale * (100.0 + 60.0 * std::sin(std::log10(f)));
        r.Phase = 45.0 + 10.0 * std::cos(std::log10(f));
        r.Coh = 0.8 + 0.15 * std::sin(f);
        r.TrueResis = r.ApparentResis;
        r.Depth = 503.0 * std::sqrt(r.ApparentResis / f);
        list << r;
    }
    return list;
}

struct Page
{
    Form_ResGraph form;
    PlotMatrix* matrix = nullptr;
    LegendLabel* legend = nullptr;

    Page()
    {
        form.resize(1000, 600);
        matrix = form.findChild<PlotMatrix*>();
        legend = form.findChild<LegendLabel*>();
    }
    QwtPlot* plot(int i) { return matrix->plotAt(0, i); }
    int curveCount(int i) { return plot(i)->itemList(QwtPlotItem::Rtti_PlotCurve).size(); }
    QDialog* rangeDialog()
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QDialog*>(w))
                if (d->windowTitle() == QStringLiteral("显示范围"))
                    return d;
        return nullptr;
    }
    QLineEdit* edit(const QString& placeholder)
    {
        for (QLineEdit* e : rangeDialog()->findChildren<QLineEdit*>())
            if (e->placeholderText() == placeholder)
                return e;
        return nullptr;
    }
};

// Stands in for the main window, which delivers results from a worker thread.
class ResultSender : public QObject
{
    Q_OBJECT
signals:
    void newResData(QMap<int, QVector<OneFreqImpedance> > results, uint8_t CHMatch);
};

} // namespace

class TestResGraph : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void resultMapFillsThePanels();
    void legendNamesTheChannelPairs_data();
    void legendNamesTheChannelPairs();
    void axesRunTheWayOfASoundingCurve();
    void lowestFrequencyWidensTheFrequencyAxis();
    void depthsComeFromTheMeanResistivity();
    void resultsArriveFromAWorkerThread();
    void rangeDialogClampsItsInputs_data();
    void rangeDialogClampsItsInputs();
    void resistivityZoomIsHeldAndFollowedByTheDepthPlot();
    void scaleLabelsShortenLargeNumbers();
    void rangeDialogShowsTheCurrentRange();
    void screenshotIsSavedAsPng();
};

void TestResGraph::initTestCase()
{
    QVERIFY2(setUpAppFont(), "no Chinese font installed (fonts-wqy-microhei)");
    BuildDateTime = QDateTime(QDate(2026, 12, 1), QTime(8, 0));
}

void TestResGraph::resultMapFillsThePanels()
{
    Page page;
    QVERIFY(page.legend);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(page.curveCount(i), 0);

    ResultMap results;
    results[0] = sounding(1.0);
    QVector<OneFreqImpedance> second = sounding(3.0);
    second[2].ApparentResis = 0; // skipped
    second[3].Frequency = -1;    // skipped
    results[1] = second;
    page.form.onNewResData(results, 0x09);

    for (int i = 0; i < 4; ++i)
        QCOMPARE(page.curveCount(i), 2);
    auto* rho = static_cast<QwtPlotCurve*>(page.plot(0)->itemList(QwtPlotItem::Rtti_PlotCurve).at(1));
    QCOMPARE(int(rho->dataSize()), results[1].size() - 2);
    QCOMPARE(rho->sample(0).x(), results[1][0].ApparentResis);
    QCOMPARE(rho->sample(0).y(), results[1][0].Frequency);
    auto* phase = static_cast<QwtPlotCurve*>(page.plot(1)->itemList(QwtPlotItem::Rtti_PlotCurve).at(0));
    QCOMPARE(phase->sample(5).x(), results[0][5].Phase);
    auto* coh = static_cast<QwtPlotCurve*>(page.plot(2)->itemList(QwtPlotItem::Rtti_PlotCurve).at(0));
    QCOMPARE(coh->sample(5).x(), results[0][5].Coh);
    QCOMPARE(coh->style(), QwtPlotCurve::NoCurve);
    QVERIFY(coh->symbol());

    // A later, smaller delivery replaces the curves.
    ResultMap only2;
    only2[2] = sounding(2.0);
    page.form.onNewResData(only2, 0x00);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(page.curveCount(i), 1);
    QCOMPARE(page.legend->entryTitles(), QStringList{QStringLiteral("E2")});
}

void TestResGraph::legendNamesTheChannelPairs_data()
{
    QTest::addColumn<QList<int> >("keys");
    QTest::addColumn<int>("chMatch");
    QTest::addColumn<QStringList>("titles");
    QTest::newRow("E0 only") << QList<int>{0} << 0x01 << QStringList{"E0Hx"};
    QTest::newRow("0x09") << QList<int>{0, 1} << 0x09 << QStringList{"E0Hx", "E1Hy"};
    QTest::newRow("E2 field 3") << QList<int>{0, 1, 2} << 0x36 << QStringList{"E0Hy", "E1Hx", "E2"};
    QTest::newRow("E2 field 0") << QList<int>{2} << 0x06 << QStringList{"E2"};
}

void TestResGraph::legendNamesTheChannelPairs()
{
    QFETCH(QList<int>, keys);
    QFETCH(int, chMatch);
    QFETCH(QStringList, titles);
    Page page;
    ResultMap results;
    for (int key : keys)
        results[key] = sounding(1.0 + key);
    page.form.onNewResData(results, uint8_t(chMatch));
    QCOMPARE(page.legend->entryTitles(), titles);
    QCOMPARE(page.legend->parentWidget(), page.plot(0)->canvas()); // inside the canvas
}

void TestResGraph::axesRunTheWayOfASoundingCurve()
{
    Page page;
    ResultMap results;
    results[0] = sounding(1.0);
    page.form.onNewResData(results, 0x01);
    page.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page.form));

    // Frequency: logarithmic, inverted, shared by the first three plots.
    for (int i = 0; i < 3; ++i) {
        const QwtScaleEngine* engine = page.plot(i)->axisScaleEngine(QwtPlot::yLeft);
        QVERIFY(dynamic_cast<const QwtLogScaleEngine*>(engine));
        QVERIFY(engine->testAttribute(QwtScaleEngine::Inverted));
    }
    QTRY_COMPARE(page.plot(1)->axisScaleDiv(QwtPlot::yLeft).lowerBound(), 0.1);
    QCOMPARE(page.plot(0)->axisScaleDiv(QwtPlot::yLeft).upperBound(), 100000.0);
    QTRY_COMPARE(page.plot(2)->axisScaleDiv(QwtPlot::yLeft).upperBound(), 100000.0);

    QCOMPARE(page.plot(0)->axisScaleDiv(QwtPlot::xBottom).lowerBound(), 1.0);
    QCOMPARE(page.plot(0)->axisScaleDiv(QwtPlot::xBottom).upperBound(), 10000.0);
    QVERIFY(dynamic_cast<const QwtLogScaleEngine*>(page.plot(0)->axisScaleEngine(QwtPlot::xBottom)));
    // Phase 90 .. 0 and coherence 1 .. 0 run right to left.
    QCOMPARE(page.plot(1)->axisScaleDiv(QwtPlot::xBottom).lowerBound(), 90.0);
    QCOMPARE(page.plot(1)->axisScaleDiv(QwtPlot::xBottom).upperBound(), 0.0);
    QCOMPARE(page.plot(2)->axisScaleDiv(QwtPlot::xBottom).lowerBound(), 1.0);
    QCOMPARE(page.plot(2)->axisScaleDiv(QwtPlot::xBottom).upperBound(), 0.0);
    // Depth from the default 1000 m to 0, on a linear inverted engine.
    QCOMPARE(page.plot(3)->axisScaleDiv(QwtPlot::yLeft).lowerBound(), 1000.0);
    QCOMPARE(page.plot(3)->axisScaleDiv(QwtPlot::yLeft).upperBound(), 0.0);
    QVERIFY(page.plot(3)->axisScaleEngine(QwtPlot::yLeft)->testAttribute(QwtScaleEngine::Inverted));
    QVERIFY(dynamic_cast<const QwtLinearScaleEngine*>(page.plot(3)->axisScaleEngine(QwtPlot::yLeft)));

    // Scales drawn on the left of plots 0 and 3 and under every plot.
    const bool left[4] = {true, false, false, true};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(page.plot(i)->axisScaleDraw(QwtPlot::yLeft)->hasComponent(QwtAbstractScaleDraw::Labels), left[i]);
        QVERIFY(page.plot(i)->axisScaleDraw(QwtPlot::xBottom)->hasComponent(QwtAbstractScaleDraw::Labels));
    }
    QVERIFY(page.plot(3)->axisWidget(QwtPlot::xBottom)->title().text().contains(QStringLiteral("真电阻率(Ω·m)")));
    QVERIFY(page.plot(0)->axisWidget(QwtPlot::xBottom)->title().text().contains(QStringLiteral("视电阻率(Ω·m)")));
}

void TestResGraph::lowestFrequencyWidensTheFrequencyAxis()
{
    Page page;
    ResultMap results;
    results[1] = sounding(1.0, 0.08);
    page.form.onNewResData(results, 0x08);
    QCOMPARE(page.plot(0)->axisScaleDiv(QwtPlot::yLeft).lowerBound(), 0.06);
}

void TestResGraph::depthsComeFromTheMeanResistivity()
{
    Page page;
    ResultMap results;
    results[0] = sounding(1.0, 10.0);
    QVector<OneFreqImpedance> expected = results[0];
    calcDepthByMeanRho(expected, 1.0);
    QVERIFY(expected.last().Depth != results[0].last().Depth);
    page.form.onNewResData(results, 0x01);

    auto* depth = static_cast<QwtPlotCurve*>(page.plot(3)->itemList(QwtPlotItem::Rtti_PlotCurve).at(0));
    QCOMPARE(int(depth->dataSize()), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(depth->sample(i).y(), expected[i].Depth);
        QCOMPARE(depth->sample(i).x(), expected[i].ApparentResis);
    }
}

void TestResGraph::resultsArriveFromAWorkerThread()
{
    Page page;
    ResultSender sender;
    QVERIFY(connect(&sender, SIGNAL(newResData(QMap<int,QVector<OneFreqImpedance> >,uint8_t)), &page.form,
                    SLOT(onNewResData(QMap<int,QVector<OneFreqImpedance> >,uint8_t))));
    ResultMap results;
    results[0] = sounding(1.0);
    results[1] = sounding(2.0);
    QThread* worker = QThread::create([&sender, results] { emit sender.newResData(results, 0x09); });
    worker->start();
    QVERIFY(worker->wait(10000));
    delete worker;
    QTRY_COMPARE(page.legend->entryTitles(), (QStringList{"E0Hx", "E1Hy"}));
}

void TestResGraph::rangeDialogClampsItsInputs_data()
{
    QTest::addColumn<QString>("rhoMin");
    QTest::addColumn<QString>("rhoMax");
    QTest::addColumn<QString>("depth");
    QTest::addColumn<double>("appliedMin");
    QTest::addColumn<double>("appliedMax");
    QTest::addColumn<double>("appliedDepth");
    QTest::newRow("min above max") << "8000" << "5000" << "2000" << 1.0 << 5000.0 << 2000.0;
    QTest::newRow("min zero") << "0.0" << "100000" << "10000" << 0.1 << 100000.0 << 10000.0;
    QTest::newRow("small max and depth") << "10" << "500" << "500" << 10.0 << 1000.0 << 1000.0;
}

void TestResGraph::rangeDialogClampsItsInputs()
{
    QFETCH(QString, rhoMin);
    QFETCH(QString, rhoMax);
    QFETCH(QString, depth);
    QFETCH(double, appliedMin);
    QFETCH(double, appliedMax);
    QFETCH(double, appliedDepth);

    Page page;
    QDialog* dialog = page.rangeDialog();
    QVERIFY(dialog);
    QVERIFY(page.edit(QStringLiteral("0.1~10000")));
    page.edit(QStringLiteral("0.1~10000"))->setText(rhoMin);
    page.edit(QStringLiteral("1000~100000000"))->setText(rhoMax);
    page.edit(QStringLiteral("1000~10000"))->setText(depth);
    dialog->findChild<QPushButton*>()->click();

    QTRY_COMPARE(page.plot(0)->axisScaleDiv(QwtPlot::xBottom).lowerBound(), appliedMin);
    QCOMPARE(page.plot(0)->axisScaleDiv(QwtPlot::xBottom).upperBound(), appliedMax);
    QCOMPARE(page.plot(3)->axisScaleDiv(QwtPlot::yLeft).lowerBound(), appliedDepth);
    QTRY_COMPARE(page.plot(3)->axisScaleDiv(QwtPlot::xBottom).lowerBound(), appliedMin);

    // The range survives the next delivery.
    ResultMap results;
    results[0] = sounding(1.0);
    page.form.onNewResData(results, 0x01);
    QCOMPARE(page.plot(0)->axisScaleDiv(QwtPlot::xBottom).upperBound(), appliedMax);
    QCOMPARE(page.plot(3)->axisScaleDiv(QwtPlot::yLeft).lowerBound(), appliedDepth);
}

void TestResGraph::resistivityZoomIsHeldAndFollowedByTheDepthPlot()
{
    Page page;
    page.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page.form));
    page.plot(0)->setAxisScale(QwtPlot::xBottom, 0.01, 1e7);
    page.plot(0)->replot();
    QTRY_COMPARE(page.plot(0)->axisScaleDiv(QwtPlot::xBottom).lowerBound(), 0.05);
    QCOMPARE(page.plot(0)->axisScaleDiv(QwtPlot::xBottom).upperBound(), 1e6);
    QCOMPARE(page.plot(3)->axisScaleDiv(QwtPlot::xBottom).lowerBound(), 0.05);
    QCOMPARE(page.plot(3)->axisScaleDiv(QwtPlot::xBottom).upperBound(), 1e6);

    page.plot(0)->setAxisScale(QwtPlot::xBottom, 3, 300);
    page.plot(0)->replot();
    QTRY_COMPARE(page.plot(3)->axisScaleDiv(QwtPlot::xBottom).lowerBound(), 3.0);
    QCOMPARE(page.plot(3)->axisScaleDiv(QwtPlot::xBottom).upperBound(), 300.0);
}

void TestResGraph::scaleLabelsShortenLargeNumbers()
{
    Form_ResGraph::KScaleDraw draw;
    QCOMPARE(draw.label(1.5e6).text(), QStringLiteral(" 1.5M "));
    QCOMPARE(draw.label(20000).text(), QStringLiteral(" 20K "));
    QCOMPARE(draw.label(5000).text(), QStringLiteral("5000"));
    QCOMPARE(draw.label(0.1).text(), QStringLiteral("0.1"));
    QCOMPARE(draw.label(20000).font(), AppFont);
}

void TestResGraph::screenshotIsSavedAsPng()
{
    Page page;
    ResultMap results;
    results[0] = sounding(1.0, 0.08);
    results[1] = sounding(2.5);
    results[2] = sounding(0.5, 1.0);
    page.form.onNewResData(results, 0x19);
    page.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page.form));
    QTest::qWait(200);

    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString base = tmp.filePath(QStringLiteral("resgraph"));
    QVERIFY(saveScreenshot(&page.form, base));
    const QImage image(base + QStringLiteral(".png"));
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), page.form.size() * 2);
    QVERIFY(publishScreenshot(base + QStringLiteral(".png"), QStringLiteral("resgraph.png")));
}

void TestResGraph::rangeDialogShowsTheCurrentRange()
{
    Page page;
    QAction* action = nullptr;
    for (QAction* a : page.form.findChild<QMenu*>()->actions())
        if (a->text() == QStringLiteral("设置显示范围"))
            action = a;
    QVERIFY(action);
    action->trigger();
    QDialog* dialog = page.rangeDialog();
    QVERIFY(dialog->isVisible());
    QCOMPARE(page.edit(QStringLiteral("0.1~10000"))->text(), QStringLiteral("1.0"));
    QCOMPARE(page.edit(QStringLiteral("1000~100000000"))->text(), QStringLiteral("10000"));
    QCOMPARE(page.edit(QStringLiteral("1000~10000"))->text(), QStringLiteral("1000"));
    QVERIFY(dialog->findChild<QLabel*>(QString(), Qt::FindDirectChildrenOnly) != nullptr);
    dialog->close();
}

QTEST_MAIN(TestResGraph)
#include "tst_resgraph.moc"
