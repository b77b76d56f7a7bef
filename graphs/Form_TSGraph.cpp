#include "Form_TSGraph.h"

#include "AppGlobals.h"
#include "ChannelDataFile.h"
#include "GraphScreenshot.h"
#include "MyComboBox.h"
#include "OperatorMessages.h"
#include "PlotMatrix.h"
#include "SimpleScaleDraw.h"
#include "TSGraphHeader.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QFormLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTouchDevice>
#include <QVBoxLayout>
#include <QtEndian>

#include <qwt_plot.h>
#include <qwt_plot_canvas.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_magnifier.h>
#include <qwt_plot_panner.h>
#include <qwt_plot_textlabel.h>
#include <qwt_scale_engine.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const int kHeaderBytes = 1024;
const int kChannels = 6;

// The power of two nearest to a display length, the larger one on a tie.
int nearestPowerOfTwo(int length)
{
    if (length < 1)
        return 0;
    if (length == 1)
        return 1;
    int p = 1;
    while (2 * p < length)
        p *= 2;
    return (length - p < 2 * p - length) ? p : 2 * p;
}

QString channelFilePath(const QString& dir, int group, int channelBit)
{
    return QStringLiteral("%1/%2_CH%3.dat").arg(dir).arg(group).arg(channelBit + 1);
}

} // namespace

Form_TSGraph::Form_TSGraph(QWidget* parent)
    : QWidget(parent)
{
    m_axisDialog.setWindowFlags(Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    m_axisDialog.setWindowModality(Qt::ApplicationModal);
    createAxisDialog();
    setContextMenuPolicy(Qt::CustomContextMenu);
    createContextMenu();
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        m_menuPos = mapToGlobal(pos);
        m_menu->exec(m_menuPos);
    });
    initPlots();
}

Form_TSGraph::~Form_TSGraph()
{
    releaseFiles();
    // A plot deletes only the items attached to it; these come and go. Deleting an item
    // detaches it, so the plots cannot free them a second time.
    for (QwtPlotCurve*& curve : m_curves) {
        delete curve;
        curve = nullptr;
    }
    delete m_headerLabel;
    m_headerLabel = nullptr;
}

void Form_TSGraph::releaseFiles()
{
    // Nothing is held open or mapped between draws (see readATS).
}

void Form_TSGraph::initPlots()
{
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    m_scrollBar = new QScrollBar(Qt::Horizontal, this);
    connect(m_scrollBar, &QScrollBar::valueChanged, this, &Form_TSGraph::showTSBlock);
    m_matrix = new PlotMatrix(6, 1, this);

    const QStringList titles = {QStringLiteral("Hx/mV"), QStringLiteral("Hy/mV"), QStringLiteral("Hz/mV"),
                                QStringLiteral("E0/mV"), QStringLiteral("E1/mV"), QStringLiteral("E2/mV")};
    for (int row = 0; row < kChannels; ++row) {
        QwtPlot* plot = m_matrix->plotAt(row, 0);
        m_plots[row] = plot;

        m_curves[row] = new QwtPlotCurve();
        m_curves[row]->setPen(Qt::blue, 0, Qt::SolidLine);

        auto* grid = new QwtPlotGrid();
        grid->enableX(true);
        grid->enableY(true);
        grid->setMajorPen(Qt::darkGray, 0, Qt::DotLine);
        grid->setMinorPen(Qt::lightGray, 0, Qt::DotLine);
        grid->attach(plot);

        QwtText title(titles[row]);
        title.setRenderFlags(Qt::AlignLeft | Qt::AlignTop);
        title.setFont(AppFont);
        auto* titleLabel = new QwtPlotTextLabel();
        titleLabel->setText(title);
        titleLabel->attach(plot);
        titleLabel->setZ(100);

        plot->setCanvasBackground(QBrush(Qt::white));
        plot->setAxisScale(QwtPlot::xBottom, 0, 100);
        plot->setAxisScaleDraw(QwtPlot::xBottom, new SimpleScaleDraw());
        plot->setAxisScaleEngine(QwtPlot::xBottom, new QwtLinearScaleEngine(10));
        plot->setAxisScale(QwtPlot::yLeft, m_yMin, m_yMax);
        plot->setAxisScaleDraw(QwtPlot::yLeft, new SimpleScaleDraw());
        plot->setAxisScaleEngine(QwtPlot::yLeft, new QwtLinearScaleEngine(10));
        plot->setAxisMaxMajor(QwtPlot::yLeft, 5);
        plot->setAxisMaxMinor(QwtPlot::yLeft, 5);
        plot->enableAxis(QwtPlot::xBottom, false);

        m_panners[row] = new QwtPlotPanner(plot->canvas());
        m_panners[row]->setMouseButton(Qt::LeftButton);
        m_panners[row]->setOrientations(Qt::Horizontal);
        connect(m_panners[row], &QwtPanner::panned, this, [this](int, int) { m_panned = true; });

        m_magnifiers[row] = new QwtPlotMagnifier(plot->canvas());
        m_magnifiers[row]->setMouseButton(Qt::RightButton);
        m_magnifiers[row]->setAxisEnabled(QwtPlot::yLeft, false);
        m_magnifiers[row]->setEnabled(false);
    }

    m_plots[5]->enableAxis(QwtPlot::xBottom, true);
    m_scrollBar->setVisible(true);
    m_scrollBar->setEnabled(false);
    m_scrollBar->setPageStep(0);
    for (int row = 0; row < 5; ++row)
        m_matrix->setRowStretch(row, 19);
    m_matrix->setRowStretch(5, 24);

    layout->addWidget(m_matrix);
    connect(m_matrix, &PlotMatrix::xAxisScaleChanged, this, &Form_TSGraph::onXScaleChanged);
    layout->addWidget(new QLabel(tr("采样时间(S)"), this), 0, Qt::AlignHCenter);
    layout->addWidget(m_scrollBar);
    m_headerLabel = new QwtPlotTextLabel();
    m_matrix->updateLayout();
}

int Form_TSGraph::getCurGroupNum()
{
    return m_group;
}

void Form_TSGraph::setChannel(uint8_t channel)
{
    int shownCount = 0;
    int last = 4;
    bool anyBit = false;
    for (int bit = 0; bit < kChannels; ++bit) {
        const bool shown = channel & (1u << bit);
        if (shown) {
            ++shownCount;
            last = bit;
            anyBit = true;
        }
        m_plots[bit]->setVisible(shown);
    }
    if (!anyBit)
        last = 4;

    for (int row = 0; row < kChannels; ++row) {
        m_plots[row]->enableAxis(QwtPlot::xBottom, false);
        m_matrix->setRowStretch(row, 1);
    }
    m_plots[last]->enableAxis(QwtPlot::xBottom, true);

    for (int row = 0; row < kChannels; ++row) {
        if (!(channel & (1u << row)))
            continue;
        int stretch = shownCount == 1 ? 1000 : (96 / shownCount) * 10;
        if (shownCount != 1 && row == last)
            stretch += 40;
        m_matrix->setRowStretch(row, stretch);
    }
    m_headerLabel->attach(m_plots[last]);
    m_matrix->updateLayout();
}

void Form_TSGraph::setTSGraphParam()
{
    for (QwtPlotMagnifier* magnifier : m_magnifiers)
        magnifier->setEnabled(true);
    showTSBlock(m_scrollBar->value());
}

void Form_TSGraph::clearPlots()
{
    for (int row = 0; row < kChannels; ++row) {
        m_curves[row]->detach();
        m_plots[row]->setAxisScale(QwtPlot::xBottom, 0, 100);
        m_plots[row]->setAxisScale(QwtPlot::yLeft, m_yMin, m_yMax);
        m_plots[row]->replot();
    }
    m_scrollBar->setVisible(true);
    m_scrollBar->setEnabled(false);
    m_scrollBar->setPageStep(0);
    for (int ch = 0; ch < kChannels; ++ch)
        m_filePaths[ch].clear();
    releaseFiles();
}

bool Form_TSGraph::loadGroupFiles(const QString& pointDir, uint8_t channelMask, int group)
{
    clearPlots();
    m_displayLength = 4096;

    bool haveFirst = false;
    uint32_t serial = 0;
    int eGain = 1;
    int hGain = 1;
    int electrodeLength[3] = {0, 0, 0};
    DataFileHeader lastHeader = {};

    for (int bit = 0; bit < kChannels; ++bit) {
        if (!(channelMask & (1u << bit)))
            continue;
        const QString path = channelFilePath(pointDir, group, bit);
        if (!QFile::exists(path)) {
            m_filePaths[bit].clear();
            continue;
        }
        m_filePaths[bit] = path;
        const DataFileHeader header = readDataFileHeader(path);
        m_sensorIds[bit] = header.sensorIdText();

        if (!haveFirst) {
            haveFirst = true;
            int rate = 0;
            int total = 0;
            if (!tsGraphSampleCount(header, &rate, &total)) {
                const QString message = QCoreApplication::translate("QObject", "%1数据损坏").arg(path);
                QMetaObject::invokeMethod(qApp, [message] { showSnackbarMessage(message); }, Qt::QueuedConnection);
                for (int ch = 0; ch < kChannels; ++ch)
                    m_filePaths[ch].clear();
                releaseFiles();
                m_sampleRate = 0;
                m_totalSamples = 0;
                return false;
            }
            m_sampleRate = rate;
            m_scale = header.lsb;
            m_totalSamples = total;
            serial = header.serialNumber;
        }
        if (bit >= 3) {
            eGain = header.gain;
            electrodeLength[bit - 3] = header.electrodeLength;
        } else {
            hGain = header.gain;
        }
        lastHeader = header;
    }

    if (!haveFirst)
        return false;

    QString text = tr("SN:%1 %2Hz E×%3 H×%4").arg(serial).arg(m_sampleRate).arg(eGain).arg(hGain);
    for (int i = 0; i < 3; ++i)
        if (electrodeLength[i] > 0)
            text += QStringLiteral(" E<sub>%1</sub>:%2m").arg(i).arg(electrodeLength[i]);
    const uint32_t seconds = lastHeader.duration;
    text += QStringLiteral(" ") + QString::asprintf("%d:%02d:%02d", int(seconds / 3600), int(seconds / 60 % 60),
                                                    int(seconds % 60));
    text += QDateTime::fromSecsSinceEpoch(lastHeader.startTime).toLocalTime().toString(QStringLiteral(" @yy/MM/ddThh:mm:ss"));
    text += QStringLiteral("<span style=\"color:gainsboro\">    Build:%1</span>")
                .arg(BuildDateTime.toString(QStringLiteral("yyMMdd")));
    QwtText header(text, QwtText::RichText);
    header.setRenderFlags(Qt::AlignLeft | Qt::AlignBottom);
    header.setFont(AppFont);
    m_headerLabel->setText(header);

    m_pointDir = pointDir;
    m_group = group;
    m_channelMask = channelMask;
    setChannel(channelMask);
    m_scrollBar->setVisible(true);
    m_scrollBar->setEnabled(true);
    showTSBlock(0);
    return true;
}

void Form_TSGraph::readATS(int chIdx, int min, int max, QVector<double>& out)
{
    const int count = max - min + 1;
    if (count < 1 || chIdx < 0 || chIdx >= kChannels || min < 0)
        return;
    out.reserve(out.size() + count);

    // Each draw reopens the file and reads only the shown block. A file kept mapped would
    // fault when a re-download truncates it, and a whole copy of a long recording would
    // hold gigabytes; a short file simply yields what it holds.
    QFile file(m_filePaths[chIdx]);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(kHeaderBytes + 4 * qint64(min)))
        return;
    const QByteArray bytes = file.read(4 * qint64(count));
    const uchar* raw = reinterpret_cast<const uchar*>(bytes.constData());
    for (int i = 0; i + 4 <= bytes.size(); i += 4)
        out.append(qFromLittleEndian<qint32>(raw + i) * m_scale);
}

void Form_TSGraph::showTSBlock(int index)
{
    if (index < 0 || m_redrawing)
        return;
    m_redrawing = true;
    m_rangeChangePending = false;

    int first = 0;
    int last = 0;
    if (qint64(index) + m_displayLength < m_totalSamples) {
        first = index;
        last = index + m_displayLength - 1;
    } else {
        last = m_totalSamples - 1;
        first = m_displayLength > m_totalSamples ? 0 : m_totalSamples - m_displayLength;
    }

    for (int ch = 0; ch < kChannels; ++ch)
        if (!m_filePaths[ch].isEmpty())
            showChannelData(ch, first, last);

    if (m_displayLength < m_totalSamples) {
        m_scrollBar->setPageStep(m_displayLength);
        m_scrollBar->setRange(0, m_totalSamples - m_displayLength);
    } else {
        m_scrollBar->setPageStep(0);
        m_scrollBar->setRange(0, m_totalSamples);
    }
    if (m_scrollBar->value() != index)
        m_scrollBar->setValue(index);
    m_redrawing = false;
}

void Form_TSGraph::showChannelData(int iNum, int min, int max)
{
    if (iNum < 0 || iNum >= kChannels)
        return;
    m_sampleBuffer.clear();
    readATS(iNum, min, max, m_sampleBuffer);
    if (m_sampleBuffer.isEmpty())
        return;

    double lowest = m_sampleBuffer.first();
    double highest = m_sampleBuffer.first();
    double sum = 0;
    for (double v : qAsConst(m_sampleBuffer)) {
        lowest = std::min(lowest, v);
        highest = std::max(highest, v);
        sum += v;
    }
    const double mean = sum / m_sampleBuffer.size();
    m_plots[iNum]->setToolTip(tr("峰峰值:%1, 平均值:%2\r\n传感器:%3")
                                  .arg(highest - lowest, 0, 'f', 3)
                                  .arg(mean, 0, 'f', 3)
                                  .arg(m_sensorIds[iNum]));

    const double offset = (m_zeroDrift && !m_adaptive) ? mean : 0.0;
    const int count = m_sampleBuffer.size();
    m_xBuffer.resize(count);
    m_yBuffer.resize(count);
    double lo = 4000.0;
    double hi = -4000.0;
    for (int i = 0; i < count; ++i) {
        m_xBuffer[i] = double(min + i) / m_sampleRate;
        m_yBuffer[i] = m_sampleBuffer[i] - offset;
        if (m_adaptive) {
            lo = std::min(lo, m_yBuffer[i]);
            hi = std::max(hi, m_yBuffer[i]);
        }
    }

    QwtPlot* plot = m_plots[iNum];
    m_curves[iNum]->setSamples(m_xBuffer, m_yBuffer);
    if (highest > 4000.0)
        qDebug().noquote() << "Form_TSGraph::showChannelData" << tr("Channel%1数据超限").arg(iNum);
    m_curves[iNum]->attach(plot);

    plot->setAxisScale(QwtPlot::xBottom, m_xBuffer.first(), m_xBuffer.last());
    if (!m_adaptive) {
        plot->setAxisScale(QwtPlot::yLeft, m_yMin, m_yMax);
    } else {
        const double range = hi - lo;
        if (range < 2.0) {
            plot->setAxisScale(QwtPlot::yLeft, int(std::floor(lo - 0.5)), int(std::ceil(hi + 0.5)));
        } else if (range < 1000.0) {
            const double pad = 500.0 - range * 0.5;
            plot->setAxisScale(QwtPlot::yLeft, int(std::floor(lo - pad)), int(std::ceil(hi + pad)));
        } else {
            plot->setAxisAutoScale(QwtPlot::yLeft, true);
        }
    }
    plot->replot();
}

void Form_TSGraph::onXScaleChanged(double lowerBound, double upperBound)
{
    const int a = tsGraphSampleAt(lowerBound, m_sampleRate);
    const int b = tsGraphSampleAt(upperBound, m_sampleRate);
    const int span = b - a;
    if (std::abs(span - m_displayLength) >= 7)
        m_rangeChangePending = true;
    else if (!m_rangeChangePending && !m_panned)
        return;

    m_panned = false;
    int length = span + 1;
    if (a < 0)
        ++length;
    length = std::min(length, m_totalSamples / 4);
    length = std::max(length, 256);
    length = std::min(length, 65536);
    m_displayLength = length;
    showTSBlock(std::max(0, std::min(a, m_totalSamples - m_displayLength / 4)));
}

void Form_TSGraph::showNextGroup()
{
    int count = 0;
    for (int g = 1; g <= 4; ++g) {
        bool complete = true;
        for (int bit = 0; bit < kChannels && complete; ++bit)
            if ((m_channelMask & (1u << bit)) && !QFile::exists(channelFilePath(m_pointDir, g, bit)))
                complete = false;
        if (!complete)
            break;
        ++count;
    }
    const int next = m_group < count ? m_group + 1 : 1;
    loadGroupFiles(m_pointDir, m_channelMask, next);
}

void Form_TSGraph::createContextMenu()
{
    m_menu = new QMenu(this);
    m_menu->addAction(tr("截图"), this, [this] { takeScreenshot(this); });
    m_settingsAction = m_menu->addAction(tr("设置显示参数"), this, [this] { showAxisDialog(); });
    if (!QTouchDevice::devices().isEmpty()) {
        m_menu->addAction(tr("显示参数"), this, [this] {
            for (int row = 0; row < kChannels; ++row) {
                QwtPlot* plot = m_plots[row];
                if (!plot || !plot->rect().contains(plot->mapFromGlobal(m_menuPos)))
                    continue;
                if (!plot->toolTip().isEmpty())
                    showSnackbarMessage(plot->toolTip());
            }
        });
    }
}

void Form_TSGraph::createAxisDialog()
{
    m_axisDialog.hide();
    m_axisDialog.setWindowTitle(tr("显示设置"));
    auto* layout = new QVBoxLayout(&m_axisDialog);
    auto* form = new QFormLayout();
    layout->addLayout(form);

    m_zeroDriftCheck = new QCheckBox(tr("启用"), &m_axisDialog);
    m_zeroDriftCheck->setChecked(false);

    m_lengthCombo = new MyComboBox(&m_axisDialog);
    for (int power = 8; power <= 16; ++power) {
        const int length = 1 << power;
        m_lengthCombo->addItem(QString::number(length), double(length));
    }

    m_modeCombo = new MyComboBox(&m_axisDialog);
    m_modeCombo->addItem(tr("最值限制"), 0);
    m_modeCombo->addItem(tr("自适应"), 1);

    m_maxEdit = new QLineEdit(QStringLiteral("4000"), &m_axisDialog);
    m_maxEdit->setValidator(new QIntValidator(-3000, 4000, m_maxEdit));
    m_maxEdit->setInputMethodHints(Qt::ImhDigitsOnly);
    m_minEdit = new QLineEdit(QStringLiteral("-4000"), &m_axisDialog);
    m_minEdit->setValidator(new QIntValidator(-4000, 3000, m_minEdit));
    m_minEdit->setInputMethodHints(Qt::ImhDigitsOnly);

    form->addRow(tr("去除零漂:"), m_zeroDriftCheck);
    form->addRow(tr("显示长度:"), m_lengthCombo);
    form->addRow(tr("显示模式:"), m_modeCombo);
    form->addRow(tr("最小值:"), m_minEdit);
    form->addRow(tr("最大值:"), m_maxEdit);

    connect(m_minEdit, &QLineEdit::editingFinished, this, &Form_TSGraph::updateMaxInput);
    connect(m_maxEdit, &QLineEdit::editingFinished, this, &Form_TSGraph::updateMinInput);
    connect(m_modeCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this, form](int index) {
        const bool limits = index == 0;
        m_minEdit->setVisible(limits);
        m_maxEdit->setVisible(limits);
        if (QWidget* label = form->labelForField(m_minEdit))
            label->setVisible(limits);
        if (QWidget* label = form->labelForField(m_maxEdit))
            label->setVisible(limits);
        if (index == 1)
            m_zeroDriftCheck->setChecked(false);
        m_zeroDriftCheck->setEnabled(index != 1);
    });

    auto* ok = new QPushButton(tr("确定"), &m_axisDialog);
    layout->addWidget(ok);
    connect(ok, &QPushButton::clicked, this, [this] { applyAxisDialog(); });
}

void Form_TSGraph::updateMaxInput()
{
    bool isInt = false;
    const int minValue = m_minEdit->text().toInt(&isInt);
    const int lower = isInt ? minValue + 1 : -3000;
    int value = m_maxEdit->text().toInt();
    value = std::min(value, 4000);
    value = std::max(value, lower);
    m_maxEdit->setText(QString::number(value));
    m_maxEdit->setToolTip(tr("可用范围:%1~%2").arg(lower).arg(4000));
}

void Form_TSGraph::updateMinInput()
{
    bool isInt = false;
    const int maxValue = m_maxEdit->text().toInt(&isInt);
    const int upper = isInt ? maxValue - 1 : 3000;
    int value = m_minEdit->text().toInt();
    value = std::min(value, upper);
    value = std::max(value, -4000);
    m_minEdit->setText(QString::number(value));
    m_minEdit->setToolTip(tr("可用范围:%1~%2").arg(-4000).arg(upper));
}

void Form_TSGraph::showAxisDialog()
{
    m_minEdit->setText(QString::number(m_yMin));
    m_maxEdit->setText(QString::number(m_yMax));
    m_zeroDriftCheck->setChecked(m_zeroDrift);
    m_lengthCombo->setCurrentText(QString::number(nearestPowerOfTwo(m_displayLength)));
    m_modeCombo->setCurrentIndex(m_adaptive ? 1 : 0);
    m_axisDialog.show();
}

void Form_TSGraph::applyAxisDialog()
{
    m_displayLength = m_lengthCombo->currentData().toInt();
    m_adaptive = m_modeCombo->currentData().toBool();
    m_zeroDrift = m_zeroDriftCheck->isChecked();
    if (!m_adaptive) {
        m_yMax = m_maxEdit->text().toInt();
        m_yMin = m_minEdit->text().toInt();
        for (QwtPlot* plot : m_plots)
            plot->setAxisScale(QwtPlot::yLeft, m_yMin, m_yMax);
    }
    showTSBlock(m_scrollBar->value());
    m_axisDialog.close();
}
