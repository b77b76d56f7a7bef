#pragma once

#include "MTEstimates.h"

#include <QColor>
#include <QDialog>
#include <QFont>
#include <QMap>
#include <QVector>
#include <QWidget>

#include <qwt_scale_draw.h>

#include <cstdint>

class PlotMatrix;
class QLineEdit;
class QMenu;
class QwtPlot;
class QwtPlotCurve;

// The sounding of one measuring point: apparent resistivity, phase and coherence against
// frequency and resistivity against depth, one group of symbols per electric channel.
class Form_ResGraph : public QWidget
{
    Q_OBJECT
public:
    // Axis numbers shortened to thousands ("K") and millions ("M"), in the application font.
    class KScaleDraw : public QwtScaleDraw
    {
    public:
        QwtText label(double value) const override;
    };

    explicit Form_ResGraph(QWidget* parent = nullptr);
    ~Form_ResGraph() override;

public slots:
    void onNewResData(QMap<int, QVector<OneFreqImpedance> > results, uint8_t CHMatch);

public:
    void updatePlots();
    void initPlots();
    void createContextMenu();
    void createRangeDialog();
    void addAxisTitleLabel(QwtPlot* plot, const QString& text, int renderFlags, const QFont& font,
                           const QColor& colour);
    void addLegend(QwtPlot* plot);

private:
    void showRangeDialog();
    void applyRange();
    void onRhoScaleChanged();
    void onFrequencyScaleChanged();

    QMenu* m_menu = nullptr;
    QDialog m_rangeDialog;
    QLineEdit* m_rhoMaxEdit = nullptr;
    QLineEdit* m_rhoMinEdit = nullptr;
    QLineEdit* m_depthEdit = nullptr;
    QMap<int, QVector<OneFreqImpedance> > m_results;
    uint8_t m_CHMatch = 0;
    QVector<double> m_samples[3][4][2];
    int m_rhoMax = 10000;
    double m_rhoMin = 1.0;
    int m_depth = 1000;
    QwtPlot* m_plots[4] = {};
    QwtPlotCurve* m_curves[4][3] = {};
    PlotMatrix* m_matrix = nullptr;
};
