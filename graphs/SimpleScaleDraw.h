#pragma once

#include <qwt_scale_draw.h>

// Axis numbers with six significant digits in the application font.
class SimpleScaleDraw : public QwtScaleDraw
{
public:
    QwtText label(double value) const override;
};
