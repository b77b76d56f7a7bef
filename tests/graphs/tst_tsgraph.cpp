#include "Form_TSGraph.h"
#include "GraphScreenshot.h"
#include "GraphTestSupport.h"
#include "PlotMatrix.h"
#include "TSGraphHeader.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGridLayout>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QtTest>

#include <qwt_plot.h>
#include <qwt_plot_canvas.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_textlabel.h>
#include <qwt_scale_draw.h>

using namespace graphtest;

namespace {

const uint8_t kMask1B = 0x1B; // Hx, Hy, E0, E1

struct Page
{
    Form_TSGraph form;
    PlotMatrix* matrix = nullptr;
    QScrollBar* scroll = nullptr;

    Page()
    {
        form.resize(900, 700);
        matrix = form.findChild<PlotMatrix*>();
        scroll = form.findChild<QScrollBar*>();
    }
    QwtPlot* row(int r) { return matrix->plotAt(r, 0); }
    QwtPlotCurve* curve(int r)
    {
        const QwtPlotItemList items = row(r)->itemList(QwtPlotItem::Rtti_PlotCurve);
        return items.isEmpty() ? nullptr : static_cast<QwtPlotCurve*>(items.first());
    }
    int rowWithTimeLabels()
    {
        int found = -1;
        for (int r = 0; r < 6; ++r)
            if (row(r)->axisScaleDraw(QwtPlot::xBottom)->hasComponent(QwtAbstractScaleDraw::Labels))
                found = found < 0 ? r : -2;
        return found;
    }
    int rowWithHeader()
    {
        int found = -1;
        for (int r = 0; r < 6; ++r)
            for (QwtPlotItem* item : row(r)->itemList(QwtPlotItem::Rtti_PlotTextLabel))
                if (static_cast<QwtPlotTextLabel*>(item)->text().text().startsWith(QLatin1String("SN:")))
                    found = found < 0 ? r : -2;
        return found;
    }
    QString headerText()
    {
        for (int r = 0; r < 6; ++r)
            for (QwtPlotItem* item : row(r)->itemList(QwtPlotItem::Rtti_PlotTextLabel))
                if (static_cast<QwtPlotTextLabel*>(item)->text().text().startsWith(QLatin1String("SN:")))
                    return static_cast<QwtPlotTextLabel*>(item)->text().text();
        return QString();
    }
    // Shown, exposed, and given time to lay out and draw.
    bool showAndSettle(int settleMs = 200)
    {
        form.show();
        if (!QTest::qWaitForWindowExposed(&form))
            return false;
        QTest::qWait(settleMs);
        return true;
    }
    QDialog* settingsDialog()
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QDialog*>(w))
                if (d->windowTitle() == QStringLiteral("显示设置"))
                    return d;
        return nullptr;
    }
};

// A group of channel files in a folder made for it if need be: ramps whose count encodes
// channel and sample index.
bool writeGroup(const QString& dir, int group, uint8_t mask, ChannelFileSpec spec = ChannelFileSpec())
{
    if (!QDir().mkpath(dir))
        return false;
    for (int bit = 0; bit < 6; ++bit) {
        if (!(mask & (1u << bit)))
            continue;
        ChannelFileSpec s = spec;
        s.electrodeLength = bit >= 3 ? uint16_t(50 + bit) : 0;
        s.gain = bit >= 3 ? 16 : 4;
        const int total = int(s.sampleRate * s.duration);
        if (!writeChannelFile(QStringLiteral("%1/%2_CH%3.dat").arg(dir).arg(group).arg(bit + 1), s,
                              ramp(total, 10000 * (bit + 1))))
            return false;
    }
    return true;
}

// The two limit edits of the settings dialog; the upper one starts at 4000.
struct LimitEdits
{
    QLineEdit* max = nullptr;
    QLineEdit* min = nullptr;
};

LimitEdits limitEdits(QDialog* dialog)
{
    const QList<QLineEdit*> edits = dialog->findChildren<QLineEdit*>();
    LimitEdits found;
    found.max = edits[0]->text() == QStringLiteral("4000") ? edits[0] : edits[1];
    found.min = found.max == edits[0] ? edits[1] : edits[0];
    return found;
}

} // namespace

class TestTSGraph : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void groupLoadedWhileHiddenShowsItsRows();
    void blocksScrollAndReadTheRightSamples();
    void shortRecordingIsShownWhole();
    void zoomKeepsRowsLinkedAndLoadsTheNewSpan();
    void panLoadsTheBlockAtTheNewLeftEdge();
    void truncatedFileAfterLoadDoesNotCrash();
    void damagedFirstHeaderIsReported();
    void missingGroupFails();
    void nextGroupCycles();
    void adaptiveRange_data();
    void adaptiveRange();
    void zeroDriftAndFixedLimits();
    void limitEditsClampEachOther();
    void screenshotIsSavedAsPng();
    void menuScreenshotWithoutSuffixGetsIt();
    void settingsDialogShowsTheCurrentSettings();

private:
    QTemporaryDir m_tmp;
};

void TestTSGraph::initTestCase()
{
    QVERIFY2(setUpAppFont(), "no Chinese font installed (fonts-wqy-microhei)");
    BuildDateTime = QDateTime(QDate(2026, 12, 1), QTime(8, 0));
    QVERIFY(m_tmp.isValid());
}

// The page is hidden while a group is loaded in a run; the rows and the time labels
// must be right nonetheless.
void TestTSGraph::groupLoadedWhileHiddenShowsItsRows()
{
    const QString dir = m_tmp.filePath(QStringLiteral("hidden"));
    QVERIFY(writeGroup(dir, 1, kMask1B));

    Page page;
    QVERIFY(!page.form.isVisible());
    QVERIFY(page.form.loadGroupFiles(dir, kMask1B, 1));
    QCOMPARE(page.form.getCurGroupNum(), 1);

    const bool shown[6] = {true, true, false, true, true, false};
    for (int r = 0; r < 6; ++r) {
        QCOMPARE(page.row(r)->isVisibleTo(&page.form), shown[r]);
        QCOMPARE(page.curve(r) != nullptr, shown[r]);
    }
    auto* grid = qobject_cast<QGridLayout*>(page.matrix->layout());
    QVERIFY(grid);
    const int stretch[6] = {240, 240, 1, 240, 280, 1};
    for (int r = 0; r < 6; ++r)
        QCOMPARE(grid->rowStretch(r), stretch[r]);

    QCOMPARE(page.rowWithTimeLabels(), 4);
    QCOMPARE(page.rowWithHeader(), 4);
    const QString header = page.headerText();
    QVERIFY2(header.startsWith(QStringLiteral("SN:2801 1000Hz E×16 H×4 E<sub>0</sub>:53m E<sub>1</sub>:54m 0:00:20 @")),
             qPrintable(header));
    QVERIFY(header.contains(QStringLiteral("Build:261201")));
    QVERIFY(page.row(0)->toolTip().contains(QStringLiteral("传感器:ICMS-0001")));

    QVERIFY(page.showAndSettle(100));
    QCOMPARE(page.rowWithTimeLabels(), 4);

    // One channel alone takes the whole height and carries labels and header.
    QVERIFY(writeGroup(dir, 2, 0x04));
    QVERIFY(page.form.loadGroupFiles(dir, 0x04, 2));
    QCOMPARE(page.rowWithTimeLabels(), 2);
    QCOMPARE(page.rowWithHeader(), 2);
    QCOMPARE(grid->rowStretch(2), 1000);
    QCOMPARE(grid->rowStretch(4), 1);
}

void TestTSGraph::blocksScrollAndReadTheRightSamples()
{
    const QString dir = m_tmp.filePath(QStringLiteral("scroll"));
    QVERIFY(writeGroup(dir, 1, kMask1B));
    Page page;
    QVERIFY(page.form.loadGroupFiles(dir, kMask1B, 1));

    QVERIFY(page.scroll->isEnabled());
    QCOMPARE(page.scroll->pageStep(), 4096);
    QCOMPARE(page.scroll->maximum(), 20000 - 4096);
    QwtPlotCurve* hy = page.curve(1);
    QCOMPARE(int(hy->dataSize()), 4096);
    QCOMPARE(hy->sample(0).y(), 20000 * 0.01);
    QCOMPARE(hy->sample(4095).y(), (20000 + 4095) * 0.01);
    QCOMPARE(hy->sample(4095).x(), 4.095);

    page.scroll->setValue(10000);
    QCOMPARE(hy->sample(0).y(), (20000 + 10000) * 0.01);
    QCOMPARE(hy->sample(0).x(), 10.0);
    const QwtInterval time = page.row(4)->axisInterval(QwtPlot::xBottom);
    QCOMPARE(time.minValue(), 10.0);
    QCOMPARE(time.maxValue(), 14.095);

    // The last block ends at the last sample.
    page.scroll->setValue(page.scroll->maximum());
    QCOMPARE(page.curve(0)->sample(4095).y(), (10000 + 19999) * 0.01);
}

void TestTSGraph::shortRecordingIsShownWhole()
{
    const QString dir = m_tmp.filePath(QStringLiteral("short"));
    QVERIFY(QDir().mkpath(dir));
    ChannelFileSpec spec;
    spec.sampleRate = 100;
    spec.duration = 10;
    QVERIFY(writeGroup(dir, 1, 0x01, spec));
    Page page;
    QVERIFY(page.form.loadGroupFiles(dir, 0x01, 1));
    QCOMPARE(page.scroll->pageStep(), 0);
    QCOMPARE(page.scroll->minimum(), 0);
    QCOMPARE(page.scroll->maximum(), 1000);
    QCOMPARE(int(page.curve(0)->dataSize()), 1000);
    QCOMPARE(page.curve(0)->sample(0).x(), 0.0);
}

void TestTSGraph::zoomKeepsRowsLinkedAndLoadsTheNewSpan()
{
    const QString dir = m_tmp.filePath(QStringLiteral("zoom"));
    QVERIFY(writeGroup(dir, 1, kMask1B));
    Page page;
    QVERIFY(page.form.loadGroupFiles(dir, kMask1B, 1));
    page.form.setTSGraphParam();
    QVERIFY(page.showAndSettle());
    QCOMPARE(page.scroll->pageStep(), 4096);

    // Wheel on the top row's canvas: the magnifier zooms the time axis of that row.
    QWidget* canvas = page.row(0)->canvas();
    const QPointF centre(canvas->width() / 2.0, canvas->height() / 2.0);
    QWheelEvent wheel(centre, canvas->mapToGlobal(centre.toPoint()), QPoint(), QPoint(0, -240), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(canvas, &wheel);

    QTRY_VERIFY_WITH_TIMEOUT(page.scroll->pageStep() != 4096, 10000);
    QTest::qWait(300);
    const int length = page.scroll->pageStep();
    QVERIFY2(length >= 256 && length <= 5000 && std::abs(length - 4096) >= 7, qPrintable(QString::number(length)));
    const QwtInterval top = page.row(0)->axisInterval(QwtPlot::xBottom);
    for (int r : {1, 3, 4}) {
        const QwtInterval other = page.row(r)->axisInterval(QwtPlot::xBottom);
        QCOMPARE(other.minValue(), top.minValue());
        QCOMPARE(other.maxValue(), top.maxValue());
        QCOMPARE(int(page.curve(r)->dataSize()), length);
    }
    QCOMPARE(top.maxValue() - top.minValue(), (length - 1) / 1000.0);
}

void TestTSGraph::panLoadsTheBlockAtTheNewLeftEdge()
{
    const QString dir = m_tmp.filePath(QStringLiteral("pan"));
    QVERIFY(writeGroup(dir, 1, kMask1B));
    Page page;
    QVERIFY(page.form.loadGroupFiles(dir, kMask1B, 1));
    page.form.setTSGraphParam();
    QVERIFY(page.showAndSettle());
    QCOMPARE(page.scroll->value(), 0);

    QWidget* canvas = page.row(3)->canvas();
    const QPoint from(canvas->width() * 3 / 4, canvas->height() / 2);
    const QPoint to(canvas->width() / 4, canvas->height() / 2);
    QMouseEvent press(QEvent::MouseButtonPress, from, canvas->mapToGlobal(from), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(canvas, &press);
    QMouseEvent move(QEvent::MouseMove, to, canvas->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(canvas, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, to, canvas->mapToGlobal(to), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(canvas, &release);

    QTRY_VERIFY_WITH_TIMEOUT(page.scroll->value() > 1000, 10000);
    QTest::qWait(300);
    const int first = page.scroll->value();
    QCOMPARE(page.curve(3)->sample(0).x(), first / 1000.0);
    QCOMPARE(page.curve(3)->sample(0).y(), (40000 + first) * 0.01);
    QCOMPARE(page.row(0)->axisInterval(QwtPlot::xBottom).minValue(), first / 1000.0);
}

// The files of a shown group may be truncated while they are shown: the graph keeps no
// mapping of them, so a redraw shows what the files hold now instead of faulting.
void TestTSGraph::truncatedFileAfterLoadDoesNotCrash()
{
    const QString dir = m_tmp.filePath(QStringLiteral("truncate"));
    QVERIFY(writeGroup(dir, 1, kMask1B));
    Page page;
    QVERIFY(page.form.loadGroupFiles(dir, kMask1B, 1));
    const QPointF shown = page.curve(0)->sample(0);

    for (int ch : {1, 2, 4, 5}) {
        QFile file(QStringLiteral("%1/1_CH%2.dat").arg(dir).arg(ch));
        QVERIFY(file.resize(0));
    }
    // Nothing left to read: the rows keep what they showed, nothing is made up.
    page.scroll->setValue(12000);
    QCOMPARE(page.curve(0)->sample(0), shown);

    // Half written: the header is back, the samples stop early. A reload shows what is there.
    ChannelFileSpec spec;
    for (int ch : {1, 2, 4, 5})
        QVERIFY(writeChannelFile(QStringLiteral("%1/1_CH%2.dat").arg(dir).arg(ch), spec, ramp(500)));
    QVERIFY(page.form.loadGroupFiles(dir, kMask1B, 1));
    QCOMPARE(int(page.curve(0)->dataSize()), 500);
    page.scroll->setValue(10000);
    QVERIFY(page.curve(0)->dataSize() <= 500);
}

// Headers whose rate or count can't be a recording are refused before any arithmetic:
// rate 0, a product beyond 64 signed bits, a rate beyond the axis' reach, no duration,
// a count beyond int.
void TestTSGraph::damagedFirstHeaderIsReported()
{
    const QString dir = m_tmp.filePath(QStringLiteral("damaged"));
    QVERIFY(writeGroup(dir, 1, kMask1B));
    const QString first = dir + QStringLiteral("/1_CH1.dat");
    const QList<QPair<uint32_t, uint32_t> > broken{
        {0, 20}, {4294967295u, 4294967295u}, {MaxTSGraphRate + 1, 1}, {1000, 0}, {65536, 32768}};
    for (const auto& rateDuration : broken) {
        ChannelFileSpec spec;
        spec.sampleRate = rateDuration.first;
        spec.duration = rateDuration.second;
        QVERIFY(writeChannelFile(first, spec, ramp(100)));

        SnackbarCatcher snackbar;
        Page page;
        QVERIFY2(!page.form.loadGroupFiles(dir, kMask1B, 1), qPrintable(QString::number(spec.sampleRate)));
        QTRY_COMPARE(snackbar.messages, QStringList{first + QStringLiteral("数据损坏")});
        QCOMPARE(page.scroll->isEnabled(), false);
        page.form.showTSBlock(0); // nothing loaded: draws nothing
        QVERIFY(!page.curve(0));
    }

    // The largest rate with a count that fits is shown, and a wide axis at that rate
    // keeps its sample indexes in range.
    ChannelFileSpec fastest;
    fastest.sampleRate = MaxTSGraphRate;
    fastest.duration = 100;
    QVERIFY(writeChannelFile(first, fastest, ramp(100)));
    Page page;
    QVERIFY(page.form.loadGroupFiles(dir, 0x01, 1));
    QCOMPARE(int(page.curve(0)->dataSize()), 100);
    page.row(0)->setAxisScale(QwtPlot::xBottom, -5000.0, 5000.0);
    page.row(0)->replot();
    QTest::qWait(50);
    QVERIFY(page.scroll->value() >= 0);
    QCOMPARE(tsGraphSampleAt(1e300, 1), 1 << 29);
    QCOMPARE(tsGraphSampleAt(-1e300, MaxTSGraphRate), -(1 << 29));
}

void TestTSGraph::missingGroupFails()
{
    Page page;
    QVERIFY(!page.form.loadGroupFiles(m_tmp.filePath(QStringLiteral("nowhere")), kMask1B, 1));
    QVERIFY(!page.form.loadGroupFiles(m_tmp.path(), 0, 1));
}

void TestTSGraph::nextGroupCycles()
{
    const QString dir = m_tmp.filePath(QStringLiteral("groups"));
    QVERIFY(writeGroup(dir, 1, kMask1B));
    QVERIFY(writeGroup(dir, 2, kMask1B));
    QVERIFY(writeGroup(dir, 3, 0x01)); // incomplete: not counted
    Page page;
    QVERIFY(page.form.loadGroupFiles(dir, kMask1B, 1));
    page.form.showNextGroup();
    QCOMPARE(page.form.getCurGroupNum(), 2);
    page.form.showNextGroup();
    QCOMPARE(page.form.getCurGroupNum(), 1);
}

void TestTSGraph::adaptiveRange_data()
{
    QTest::addColumn<qint32>("low");
    QTest::addColumn<qint32>("high");
    QTest::addColumn<int>("expectedMin");
    QTest::addColumn<int>("expectedMax");
    QTest::addColumn<bool>("autoScale");
    // Counts at 0.1 mV.
    QTest::newRow("flat 3.2 mV") << 32 << 32 << 2 << 4 << false;
    QTest::newRow("-100 .. 300 mV") << -1000 << 3000 << -400 << 600 << false;
    QTest::newRow("1500 mV span") << -7500 << 7500 << 0 << 0 << true;
}

void TestTSGraph::adaptiveRange()
{
    QFETCH(qint32, low);
    QFETCH(qint32, high);
    QFETCH(int, expectedMin);
    QFETCH(int, expectedMax);
    QFETCH(bool, autoScale);

    const QString dir = m_tmp.filePath(QStringLiteral("adaptive_%1").arg(QTest::currentDataTag()));
    QVERIFY(QDir().mkpath(dir));
    ChannelFileSpec spec;
    spec.lsb = 0.1;
    QVector<qint32> counts(20000, low);
    counts[7] = high;
    QVERIFY(writeChannelFile(dir + QStringLiteral("/1_CH1.dat"), spec, counts));

    Page page;
    QVERIFY(page.form.loadGroupFiles(dir, 0x01, 1));
    QDialog* dialog = page.settingsDialog();
    QVERIFY(dialog);
    const QList<QComboBox*> combos = dialog->findChildren<QComboBox*>();
    QCOMPARE(combos.size(), 2);
    QComboBox* mode = combos[1];
    mode->setCurrentIndex(1);
    auto* zeroDrift = dialog->findChild<QCheckBox*>();
    QVERIFY(!zeroDrift->isEnabled());
    dialog->findChild<QPushButton*>()->click();

    if (autoScale) {
        QVERIFY(page.row(0)->axisAutoScale(QwtPlot::yLeft));
    } else {
        const QwtInterval range = page.row(0)->axisInterval(QwtPlot::yLeft);
        QCOMPARE(range.minValue(), double(expectedMin));
        QCOMPARE(range.maxValue(), double(expectedMax));
    }
}

void TestTSGraph::zeroDriftAndFixedLimits()
{
    const QString dir = m_tmp.filePath(QStringLiteral("drift"));
    QVERIFY(QDir().mkpath(dir));
    QVERIFY(writeChannelFile(dir + QStringLiteral("/1_CH1.dat"), ChannelFileSpec(), QVector<qint32>(20000, 50000)));
    Page page;
    QVERIFY(page.form.loadGroupFiles(dir, 0x01, 1));
    QCOMPARE(page.curve(0)->sample(0).y(), 500.0);

    QDialog* dialog = page.settingsDialog();
    QVERIFY(dialog);
    dialog->findChild<QCheckBox*>()->setChecked(true);
    QComboBox* length = dialog->findChildren<QComboBox*>().first();
    length->setCurrentText(QStringLiteral("1024"));
    const LimitEdits limits = limitEdits(dialog);
    limits.max->setText(QStringLiteral("250"));
    limits.min->setText(QStringLiteral("-250"));
    dialog->findChild<QPushButton*>()->click();

    QCOMPARE(page.curve(0)->sample(0).y(), 0.0);
    QCOMPARE(int(page.curve(0)->dataSize()), 1024);
    QCOMPARE(page.scroll->pageStep(), 1024);
    const QwtInterval range = page.row(0)->axisInterval(QwtPlot::yLeft);
    QCOMPARE(range.minValue(), -250.0);
    QCOMPARE(range.maxValue(), 250.0);

    // The next load goes back to 4096 samples but keeps limits and zero drift.
    QVERIFY(page.form.loadGroupFiles(dir, 0x01, 1));
    QCOMPARE(page.scroll->pageStep(), 4096);
    QCOMPARE(page.curve(0)->sample(0).y(), 0.0);
    QCOMPARE(page.row(0)->axisInterval(QwtPlot::yLeft).maxValue(), 250.0);
}

void TestTSGraph::limitEditsClampEachOther()
{
    Page page;
    QDialog* dialog = page.settingsDialog();
    QVERIFY(dialog);
    const LimitEdits limits = limitEdits(dialog);

    limits.max->setText(QStringLiteral("-2000"));
    limits.min->setText(QStringLiteral("-1000"));
    page.form.updateMaxInput();
    QCOMPARE(limits.max->text(), QStringLiteral("-999"));
    QCOMPARE(limits.max->toolTip(), QStringLiteral("可用范围:-999~4000"));

    limits.min->setText(QStringLiteral("2000"));
    limits.max->setText(QStringLiteral("1000"));
    page.form.updateMinInput();
    QCOMPARE(limits.min->text(), QStringLiteral("999"));
    QCOMPARE(limits.min->toolTip(), QStringLiteral("可用范围:-4000~999"));
}

void TestTSGraph::screenshotIsSavedAsPng()
{
    const QString dir = m_tmp.filePath(QStringLiteral("shot"));
    QVERIFY(QDir().mkpath(dir));
    ChannelFileSpec spec;
    spec.lsb = 0.001;
    for (int bit = 0; bit < 6; ++bit) {
        QVector<qint32> counts(20000);
        for (int i = 0; i < counts.size(); ++i)
            counts[i] = qint32(200000 * std::sin(2 * M_PI * (bit + 1) * i / 2000.0) + 50000 * std::sin(i * 0.37 * (bit + 1)));
        spec.electrodeLength = bit >= 3 ? 50 : 0;
        QVERIFY(writeChannelFile(QStringLiteral("%1/1_CH%2.dat").arg(dir).arg(bit + 1), spec, counts));
    }
    Page page;
    QVERIFY(page.form.loadGroupFiles(dir, 0x3F, 1));
    QVERIFY(page.showAndSettle());

    const QString base = m_tmp.filePath(QStringLiteral("tsgraph"));
    QVERIFY(saveScreenshot(&page.form, base));
    QImage image(base + QStringLiteral(".png"));
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), page.form.size() * 2);
    QVERIFY(publishScreenshot(base + QStringLiteral(".png"), QStringLiteral("tsgraph.png")));

    SnackbarCatcher snackbar;
    QVERIFY(!saveScreenshot(&page.form, m_tmp.filePath(QStringLiteral("no/such/folder/shot.png"))));
    QCOMPARE(snackbar.messages.size(), 1);
    QVERIFY(snackbar.messages.first().startsWith(QStringLiteral("截图保存失败")));
    QCOMPARE(screenshotFileName(QStringLiteral("a/b.PNG")), QStringLiteral("a/b.PNG"));
    QCOMPARE(screenshotFileName(QStringLiteral("a/b.jpg")), QStringLiteral("a/b.jpg.png"));
}

namespace {

QAction* menuAction(QWidget* page, const QString& text)
{
    for (QMenu* menu : page->findChildren<QMenu*>())
        for (QAction* action : menu->actions())
            if (action->text() == text)
                return action;
    return nullptr;
}

} // namespace

// The file dialog on Linux does not add the filter's suffix: a name typed without it
// still gives a PNG file with it.
void TestTSGraph::menuScreenshotWithoutSuffixGetsIt()
{
    Page page;
    page.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page.form));
    const QString base = m_tmp.filePath(QStringLiteral("menu_shot"));
    bool answered = false;
    QString title;
    QStringList filters;
    QTimer timer;
    timer.setInterval(50);
    connect(&timer, &QTimer::timeout, this, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog || answered)
            return;
        answered = true;
        title = dialog->windowTitle();
        filters = dialog->nameFilters();
        dialog->setDirectory(m_tmp.path());
        if (auto* nameEdit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            nameEdit->setText(QStringLiteral("menu_shot"));
        static_cast<QDialog*>(dialog)->accept();
        if (dialog->isVisible())
            dialog->reject(); // never leave the test waiting
    });
    timer.start();
    QAction* shot = menuAction(&page.form, QStringLiteral("截图"));
    QVERIFY(shot);
    shot->trigger();
    QVERIFY(answered);
    QCOMPARE(title, QStringLiteral("保存图片"));
    QCOMPARE(filters, QStringList{QStringLiteral("PNG 图片 (*.png)")});
    QVERIFY(QFile::exists(base + QStringLiteral(".png")));
    QVERIFY(!QImage(base + QStringLiteral(".png")).isNull());
    QVERIFY(!QFile::exists(base));
}

void TestTSGraph::settingsDialogShowsTheCurrentSettings()
{
    const QString dir = m_tmp.filePath(QStringLiteral("settings"));
    QVERIFY(writeGroup(dir, 1, 0x01));
    Page page;
    QVERIFY(page.form.loadGroupFiles(dir, 0x01, 1));
    QDialog* dialog = page.settingsDialog();
    QVERIFY(dialog && !dialog->isVisible());
    QCOMPARE(dialog->windowModality(), Qt::ApplicationModal);

    QAction* settings = menuAction(&page.form, QStringLiteral("设置显示参数"));
    QVERIFY(settings);
    settings->trigger();
    QVERIFY(dialog->isVisible());
    const QList<QComboBox*> combos = dialog->findChildren<QComboBox*>();
    QCOMPARE(combos[0]->count(), 9);
    QCOMPARE(combos[0]->currentText(), QStringLiteral("4096"));
    QCOMPARE(combos[1]->currentText(), QStringLiteral("最值限制"));

    // A display length between two powers shows the nearer one.
    combos[0]->setCurrentText(QStringLiteral("512"));
    dialog->findChild<QPushButton*>()->click();
    QVERIFY(!dialog->isVisible());
    QCOMPARE(page.scroll->pageStep(), 512);
    page.form.onXScaleChanged(0.0, 0.7); // a zoom to 700 samples
    QCOMPARE(page.scroll->pageStep(), 701);
    settings->trigger();
    QCOMPARE(combos[0]->currentText(), QStringLiteral("512"));
    dialog->close();

    // Halfway between two powers the larger one is shown.
    page.form.onXScaleChanged(0.0, 0.3835); // 384 samples
    QCOMPARE(page.scroll->pageStep(), 384);
    settings->trigger();
    QCOMPARE(combos[0]->currentText(), QStringLiteral("512"));
    dialog->close();

    // The echo of a block's own axis (a span within 7 samples, no pan) changes nothing.
    page.form.onXScaleChanged(1.0, 1.3865);
    QCOMPARE(page.scroll->pageStep(), 384);
    QCOMPARE(page.scroll->value(), 0);
}

QTEST_MAIN(TestTSGraph)
#include "tst_tsgraph.moc"
