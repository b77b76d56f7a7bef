#include "LegendLabel.h"

#include "AppGlobals.h"

#include <QPainter>

#include <qwt_plot_curve.h>
#include <qwt_plot_item.h>
#include <qwt_symbol.h>

namespace {

const QwtPlotCurve* legendCurve(const QwtPlotItem* item)
{
    if (!item || !item->isVisible() || item->rtti() != QwtPlotItem::Rtti_PlotCurve)
        return nullptr;
    return static_cast<const QwtPlotCurve*>(item);
}

} // namespace

LegendLabel::LegendLabel(QWidget* parent)
    : QLabel(parent)
{
}

void LegendLabel::setItems(const QList<QwtPlotItem*>& items)
{
    m_items = items;
}

QList<QwtPlotItem*> LegendLabel::items() const
{
    return m_items;
}

QStringList LegendLabel::entryTitles() const
{
    QStringList titles;
    for (const QwtPlotItem* item : m_items)
        if (const QwtPlotCurve* curve = legendCurve(item))
            titles << curve->title().text();
    return titles;
}

void LegendLabel::paintEvent(QPaintEvent* event)
{
    QLabel::paintEvent(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setFont(AppFont);
    int y = 10;
    for (const QwtPlotItem* item : qAsConst(m_items)) {
        const QwtPlotCurve* curve = legendCurve(item);
        if (!curve)
            continue;
        if (const QwtSymbol* symbol = curve->symbol())
            symbol->drawSymbol(&painter, QPointF(10, y));
        painter.drawText(QPointF(30, y + 11), curve->title().text());
        y += 22;
    }
}
