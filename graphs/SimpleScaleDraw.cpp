#include "SimpleScaleDraw.h"

#include "AppGlobals.h"

QwtText SimpleScaleDraw::label(double value) const
{
    QwtText text(QString::number(value, 'g', 6));
    text.setFont(AppFont);
    return text;
}
