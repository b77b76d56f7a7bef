#pragma once

#include <QLabel>
#include <QList>
#include <QStringList>

class QwtPlotItem;

// Lists the visible curves of a plot, symbol and title, inside the plot's canvas.
class LegendLabel : public QLabel
{
    Q_OBJECT
public:
    explicit LegendLabel(QWidget* parent = nullptr);

    void setItems(const QList<QwtPlotItem*>& items);
    QList<QwtPlotItem*> items() const;

    // Titles of the rows the legend draws, top to bottom.
    QStringList entryTitles() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QList<QwtPlotItem*> m_items;
};
