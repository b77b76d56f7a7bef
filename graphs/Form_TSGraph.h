#pragma once

#include <QByteArray>
#include <QDialog>
#include <QPoint>
#include <QString>
#include <QVector>
#include <QWidget>

#include <cstdint>

class MyComboBox;
class PlotMatrix;
class QAction;
class QCheckBox;
class QLineEdit;
class QMenu;
class QScrollBar;
class QwtPlot;
class QwtPlotCurve;
class QwtPlotMagnifier;
class QwtPlotPanner;
class QwtPlotTextLabel;

// The recorded time series of one sampling group: a row per channel with a common time
// axis, a scroll bar over the recording and the instrument's data in a header line.
class Form_TSGraph : public QWidget
{
    Q_OBJECT
public:
    explicit Form_TSGraph(QWidget* parent = nullptr);
    ~Form_TSGraph() override;

    bool loadGroupFiles(const QString& pointDir, uint8_t channelMask, int group);
    void showNextGroup();
    void clearPlots();
    void initPlots();

public slots:
    int getCurGroupNum();
    void setChannel(uint8_t channel);
    void setTSGraphParam();
    void onXScaleChanged(double lowerBound, double upperBound);
    void showTSBlock(int index);
    void readATS(int chIdx, int min, int max, QVector<double>& out);
    void showChannelData(int iNum, int min, int max);
    void createContextMenu();
    void createAxisDialog();
    void updateMaxInput();
    void updateMinInput();

private:
    void showAxisDialog();
    void applyAxisDialog();
    void releaseFiles();

    QwtPlot* m_plots[6] = {};
    QwtPlotPanner* m_panners[6] = {};
    QwtPlotMagnifier* m_magnifiers[6] = {};
    QwtPlotCurve* m_curves[6] = {};
    QString m_filePaths[6];
    QString m_sensorIds[6];
    QPoint m_menuPos;
    QMenu* m_menu = nullptr;
    QDialog m_axisDialog;
    QCheckBox* m_zeroDriftCheck = nullptr;
    MyComboBox* m_lengthCombo = nullptr;
    MyComboBox* m_modeCombo = nullptr;
    QLineEdit* m_maxEdit = nullptr;
    QLineEdit* m_minEdit = nullptr;
    int m_yMax = 4000;
    int m_yMin = -4000;
    int m_sampleRate = 0;
    int m_totalSamples = 0;
    int m_displayLength = 4096;
    bool m_adaptive = false;
    bool m_rangeChangePending = false;
    bool m_panned = false;
    bool m_redrawing = false;
    double m_scale = 0;
    bool m_zeroDrift = false;
    QString m_pointDir;
    int m_group = 1;
    uint8_t m_channelMask = 0;
    QwtPlotTextLabel* m_headerLabel = nullptr;
    PlotMatrix* m_matrix = nullptr;
    QScrollBar* m_scrollBar = nullptr;
    QAction* m_settingsAction = nullptr;
    QVector<double> m_sampleBuffer;
    QVector<double> m_xBuffer;
    QVector<double> m_yBuffer;
};
