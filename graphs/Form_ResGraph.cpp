#include "Form_ResGraph.h"

#include "AppGlobals.h"
#include "GraphScreenshot.h"
#include "LegendLabel.h"
#include "PlotMatrix.h"
#include "PointCalculation.h"

#include <QBrush>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_magnifier.h>
#include <qwt_plot_textlabel.h>
#include <qwt_scale_engine.h>
#include <qwt_scale_widget.h>
#include <qwt_symbol.h>

#include <algorithm>

QwtText Form_ResGraph::KScaleDraw::label(double value) const
{
    QString text;
    if (value >= 1e6)
        text = QStringLiteral(" %1M ").arg(value / 1e6, 0, 'g', -1);
    else if (value >= 10000)
        text = QStringLiteral(" %1K ").arg(value / 1000, 0, 'g', -1);
    else
        text = QString::number(value, 'g', 6);
    QwtText label(text);
    label.setFont(AppFont);
    return label;
}

Form_ResGraph::Form_ResGraph(QWidget* parent)
    : QWidget(parent)
{
    m_rangeDialog.setWindowFlags(Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    m_rangeDialog.setWindowModality(Qt::ApplicationModal);

    auto* layout = new QGridLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    setMinimumSize(100, 100);
    createRangeDialog();
    setContextMenuPolicy(Qt::CustomContextMenu);
    createContextMenu();
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { m_menu->exec(mapToGlobal(pos)); });
    initPlots();

    qRegisterMetaType<uint8_t>("uint8_t");
    qRegisterMetaType<QMap<int, QVector<OneFreqImpedance> > >("QMap<int,QVector<OneFreqImpedance> >");
}

Form_ResGraph::~Form_ResGraph()
{
    // The plots delete only what is attached, and updatePlots leaves empty groups detached.
    // Deleting a curve detaches it (so nothing is freed twice) and deletes its symbol.
    for (auto& plotCurves : m_curves) {
        for (QwtPlotCurve*& curve : plotCurves) {
            delete curve;
            curve = nullptr;
        }
    }
}

void Form_ResGraph::initPlots()
{
    m_matrix = new PlotMatrix(1, 4, this);
    for (int i = 0; i < 4; ++i) {
        m_plots[i] = m_matrix->plotAt(0, i);
        m_plots[i]->setCanvasBackground(QBrush(Qt::white));
        for (int axis = 0; axis < QwtPlot::axisCnt; ++axis)
            m_plots[i]->axisWidget(axis)->setMargin(0);
    }

    struct SymbolStyle { QwtSymbol::Style style; Qt::GlobalColor colour; int size; };
    const SymbolStyle styles[3] = {{QwtSymbol::Diamond, Qt::red, 8},
                                   {QwtSymbol::Rect, Qt::blue, 6},
                                   {QwtSymbol::Cross, Qt::magenta, 8}};
    for (int g = 0; g < 3; ++g) {
        for (int p = 0; p < 4; ++p) {
            auto* curve = new QwtPlotCurve(QString());
            curve->setStyle(QwtPlotCurve::NoCurve);
            curve->setSymbol(new QwtSymbol(styles[g].style, QBrush(Qt::white), QPen(styles[g].colour),
                                           QSize(styles[g].size, styles[g].size)));
            m_curves[p][g] = curve;
        }
    }

    for (int p = 0; p < 4; ++p) {
        auto* grid = new QwtPlotGrid();
        grid->enableX(true);
        grid->enableY(true);
        grid->setMajorPen(Qt::darkGray, 0, Qt::DotLine);
        grid->setMinorPen(Qt::lightGray, 0, Qt::DotLine);
        grid->attach(m_plots[p]);
    }

    // Frequency runs down the left of the first three plots.
    for (int p = 0; p < 3; ++p) {
        QwtPlot* plot = m_plots[p];
        plot->setAxisScale(QwtPlot::yLeft, 1, 100000);
        plot->setAxisScaleEngine(QwtPlot::yLeft, new QwtLogScaleEngine(10));
        plot->axisScaleEngine(QwtPlot::yLeft)->setAttribute(QwtScaleEngine::Inverted, true);
        plot->setAxisMaxMinor(QwtPlot::yLeft, 9);
        plot->setAxisScaleDraw(QwtPlot::yLeft, new KScaleDraw());
        plot->enableAxis(QwtPlot::yLeft, p == 0);

        switch (p) {
        case 0:
            plot->setAxisScale(QwtPlot::xBottom, 1, 10000);
            plot->setAxisScaleEngine(QwtPlot::xBottom, new QwtLogScaleEngine(10));
            plot->setAxisMaxMinor(QwtPlot::xBottom, 9);
            plot->setAxisScaleDraw(QwtPlot::xBottom, new KScaleDraw());
            addLegend(plot);
            {
                auto* magnifier = new QwtPlotMagnifier(plot->canvas());
                magnifier->setAxisEnabled(QwtPlot::yLeft, false);
                magnifier->setWheelFactor(1.1);
            }
            connect(plot->axisWidget(QwtPlot::xBottom), &QwtScaleWidget::scaleDivChanged, this,
                    &Form_ResGraph::onRhoScaleChanged);
            connect(plot->axisWidget(QwtPlot::yLeft), &QwtScaleWidget::scaleDivChanged, this,
                    &Form_ResGraph::onFrequencyScaleChanged);
            break;
        case 1:
            plot->setAxisScale(QwtPlot::xBottom, 90, 0, 45);
            plot->setAxisScaleEngine(QwtPlot::xBottom, new QwtLinearScaleEngine(10));
            plot->setAxisMaxMinor(QwtPlot::xBottom, 2);
            plot->setAxisMaxMajor(QwtPlot::xBottom, 2);
            plot->setAxisScaleDraw(QwtPlot::xBottom, new KScaleDraw());
            break;
        default:
            plot->setAxisScale(QwtPlot::xBottom, 1, 0, 0.5);
            plot->setAxisScaleEngine(QwtPlot::xBottom, new QwtLinearScaleEngine(10));
            plot->setAxisMaxMajor(QwtPlot::xBottom, 1);
            plot->setAxisMaxMinor(QwtPlot::xBottom, 2);
            plot->setAxisScaleDraw(QwtPlot::xBottom, new KScaleDraw());
            break;
        }
    }

    QwtPlot* depthPlot = m_plots[3];
    depthPlot->setAxisScale(QwtPlot::yLeft, 1000, 0);
    depthPlot->setAxisScaleEngine(QwtPlot::yLeft, new QwtLinearScaleEngine(10));
    depthPlot->axisScaleEngine(QwtPlot::yLeft)->setAttribute(QwtScaleEngine::Inverted, true);
    depthPlot->setAxisScaleDraw(QwtPlot::yLeft, new KScaleDraw());
    depthPlot->setAxisMaxMinor(QwtPlot::yLeft, 4);
    depthPlot->setAxisMaxMajor(QwtPlot::yLeft, 9);
    depthPlot->enableAxis(QwtPlot::yLeft, true);
    depthPlot->enableAxis(QwtPlot::yRight, false);
    depthPlot->setAxisScale(QwtPlot::xBottom, 1, 10000);
    depthPlot->setAxisMaxMinor(QwtPlot::xBottom, 9);
    depthPlot->setAxisScaleEngine(QwtPlot::xBottom, new QwtLogScaleEngine(10));
    depthPlot->setAxisScaleDraw(QwtPlot::xBottom, new KScaleDraw());

    const QString titleTemplate = QStringLiteral("<p style=\"font-family:Microsoft Yahei;font-size:%1px;\">")
                                      .arg(AppFont.pixelSize() - 2)
                                  + QStringLiteral("%1</p>");
    const QString bottomTitles[4] = {tr("视电阻率(Ω·m)"), tr("相位(°)"), tr("相干度"), tr("真电阻率(Ω·m)")};
    for (int p = 0; p < 4; ++p)
        m_plots[p]->axisWidget(QwtPlot::xBottom)->setTitle(QwtText(titleTemplate.arg(bottomTitles[p]), QwtText::RichText));
    addAxisTitleLabel(m_plots[0], tr("频\r\n率\r\nHz"), Qt::AlignLeft | Qt::AlignTop, AppFont, Qt::black);
    addAxisTitleLabel(m_plots[3], tr("反\r\n演\r\n深\r\n度\r\n"), Qt::AlignLeft | Qt::AlignTop, AppFont, Qt::black);

    QwtText buildMark(tr("Build:%1").arg(BuildDateTime.toString(QStringLiteral("yyMMdd"))));
    buildMark.setRenderFlags(Qt::AlignRight | Qt::AlignBottom);
    buildMark.setFont(AppFont);
    buildMark.setColor(Qt::lightGray);
    auto* buildLabel = new QwtPlotTextLabel();
    buildLabel->setText(buildMark);
    buildLabel->attach(m_plots[3]);

    const int stretches[4] = {35, 15, 15, 35};
    for (int p = 0; p < 4; ++p)
        m_matrix->setColumnStretch(p, stretches[p]);
    layout()->addWidget(m_matrix);
    m_matrix->updateLayout();
}

void Form_ResGraph::addAxisTitleLabel(QwtPlot* plot, const QString& text, int renderFlags, const QFont& font,
                                      const QColor& colour)
{
    QwtText title(text);
    title.setRenderFlags(renderFlags);
    title.setFont(font);
    title.setColor(colour);
    auto* label = new QwtPlotTextLabel();
    label->setText(title);
    label->attach(plot);
}

void Form_ResGraph::addLegend(QwtPlot* plot)
{
    auto* layout = new QHBoxLayout(plot->canvas());
    auto* legend = new LegendLabel(plot);
    legend->setAttribute(Qt::WA_StyledBackground);
    legend->setMinimumSize(100, 100);
    layout->addWidget(legend, 0, Qt::AlignLeft | Qt::AlignBottom);
    connect(plot, &QwtPlot::itemAttached, legend, [plot, legend](QwtPlotItem*, bool) {
        const QList<QwtPlotItem*> items = plot->itemList();
        if (items != legend->items())
            legend->setItems(items);
        legend->update();
    });
}

void Form_ResGraph::onNewResData(QMap<int, QVector<OneFreqImpedance> > results, uint8_t CHMatch)
{
    m_results = results;
    m_CHMatch = CHMatch;
    for (int key = 0; key < 3; ++key) {
        QVector<OneFreqImpedance>& list = m_results[key];
        if (!list.isEmpty())
            calcDepthByMeanRho(list, 1.0);
    }
    updatePlots();
}

void Form_ResGraph::updatePlots()
{
    for (auto& plotCurves : m_curves)
        for (QwtPlotCurve* curve : plotCurves)
            curve->detach();

    double minFrequency = 1.0;
    for (int g = 0; g < 3; ++g) {
        const QVector<OneFreqImpedance> list = m_results.value(g);
        if (list.isEmpty())
            continue;
        for (auto& plotSamples : m_samples[g])
            for (QVector<double>& samples : plotSamples)
                samples.clear();
        for (const OneFreqImpedance& record : list) {
            if (!(record.ApparentResis > 0) || !(record.Frequency > 0))
                continue;
            minFrequency = std::min(minFrequency, record.Frequency);
            const double xs[4] = {record.ApparentResis, record.Phase, record.Coh, record.ApparentResis};
            const double ys[4] = {record.Frequency, record.Frequency, record.Frequency, record.Depth};
            for (int p = 0; p < 4; ++p) {
                m_samples[g][p][0].append(xs[p]);
                m_samples[g][p][1].append(ys[p]);
            }
        }

        QString title = QStringLiteral("E%1").arg(g);
        const int pairing = (m_CHMatch >> (2 * g)) & 0x3;
        if (pairing == 1)
            title += QStringLiteral("Hx");
        else if (pairing == 2)
            title += QStringLiteral("Hy");
        m_curves[0][g]->setTitle(title);

        for (int p = 0; p < 4; ++p) {
            m_curves[p][g]->setSamples(m_samples[g][p][0], m_samples[g][p][1]);
            m_curves[p][g]->attach(m_plots[p]);
        }
    }

    m_plots[0]->setAxisScale(QwtPlot::yLeft, minFrequency < 0.1 ? 0.06 : 0.1, 100000);
    m_plots[0]->setAxisScale(QwtPlot::xBottom, m_rhoMin, m_rhoMax);
    m_plots[3]->setAxisScale(QwtPlot::yLeft, m_depth, 0);
    for (QwtPlot* plot : m_plots)
        plot->replot();
}

void Form_ResGraph::createContextMenu()
{
    m_menu = new QMenu(this);
    m_menu->addAction(tr("截图"), this, [this] { takeScreenshot(this); });
    m_menu->addAction(tr("设置显示范围"), this, [this] { showRangeDialog(); });
}

void Form_ResGraph::createRangeDialog()
{
    m_rangeDialog.hide();
    m_rangeDialog.setWindowTitle(tr("显示范围"));
    auto* layout = new QVBoxLayout(&m_rangeDialog);
    auto* form = new QFormLayout();
    layout->addLayout(form);

    m_rhoMinEdit = new QLineEdit(&m_rangeDialog);
    m_rhoMinEdit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("^([1-9]|[1-9]\\d{0,3}|10000)$|^([0-9]{1,4}\\.[0-9]{1})$")), m_rhoMinEdit));
    m_rhoMinEdit->setPlaceholderText(QStringLiteral("0.1~10000"));
    m_rhoMaxEdit = new QLineEdit(&m_rangeDialog);
    m_rhoMaxEdit->setValidator(new QIntValidator(1000, 100000000, m_rhoMaxEdit));
    m_rhoMaxEdit->setPlaceholderText(QStringLiteral("1000~100000000"));
    m_depthEdit = new QLineEdit(&m_rangeDialog);
    m_depthEdit->setValidator(new QIntValidator(1000, 10000, m_depthEdit));
    m_depthEdit->setPlaceholderText(QStringLiteral("1000~10000"));
    for (QLineEdit* edit : {m_rhoMinEdit, m_rhoMaxEdit, m_depthEdit})
        edit->setInputMethodHints(Qt::ImhDigitsOnly);

    form->addRow(tr("电阻率Min"), m_rhoMinEdit);
    form->addRow(tr("电阻率Max"), m_rhoMaxEdit);
    form->addRow(tr("反演深度"), m_depthEdit);

    layout->addWidget(new QLabel(tr("为加快计算:\r\n计算使用FFT长度为%1\r\n最多计算50个FFT长度的数据\r\n若需改变参数请使用处理软件")
                                     .arg(16384),
                                 &m_rangeDialog));
    auto* ok = new QPushButton(tr("确定"), &m_rangeDialog);
    layout->addWidget(ok);
    connect(ok, &QPushButton::clicked, this, [this] { applyRange(); });
}

void Form_ResGraph::showRangeDialog()
{
    m_rhoMinEdit->setText(QString::number(m_rhoMin, 'f', 1));
    m_rhoMaxEdit->setText(QString::number(m_rhoMax));
    m_depthEdit->setText(QString::number(m_depth));
    m_menu->hide();
    m_rangeDialog.show();
}

void Form_ResGraph::applyRange()
{
    m_rhoMax = std::max(1000, std::min(m_rhoMaxEdit->text().toInt(), 100000000));
    m_rhoMin = m_rhoMinEdit->text().toDouble();
    if (m_rhoMin >= m_rhoMax)
        m_rhoMin = 1.0;
    else
        m_rhoMin = std::max(m_rhoMin, 0.1);
    m_plots[0]->setAxisScale(QwtPlot::xBottom, m_rhoMin, m_rhoMax);
    m_plots[0]->replot();

    m_depth = std::max(1000, std::min(m_depthEdit->text().toInt(), 10000));
    m_plots[3]->setAxisScale(QwtPlot::yLeft, m_depth, 0);
    m_plots[3]->replot();
    m_rangeDialog.close();
}

void Form_ResGraph::onRhoScaleChanged()
{
    QwtScaleDiv div = m_plots[0]->axisScaleDiv(QwtPlot::xBottom);
    bool clamped = false;
    if (div.lowerBound() < 0.05) {
        div.setLowerBound(0.05);
        clamped = true;
    }
    if (div.upperBound() > 1e6) {
        div.setUpperBound(1e6);
        clamped = true;
    }
    if (clamped) {
        m_plots[0]->setAxisScaleDiv(QwtPlot::xBottom, div);
        // Runs inside plot 0's own axis update: redraw it once that has returned.
        QMetaObject::invokeMethod(m_plots[0], "replot", Qt::QueuedConnection);
    }
    m_plots[3]->setAxisScaleDiv(QwtPlot::xBottom, div);
    m_plots[3]->replot();
}

void Form_ResGraph::onFrequencyScaleChanged()
{
    const QwtScaleDiv div = m_plots[0]->axisScaleDiv(QwtPlot::yLeft);
    for (int p = 1; p <= 2; ++p) {
        m_plots[p]->setAxisScaleDiv(QwtPlot::yLeft, div);
        m_plots[p]->replot();
    }
}
