#include "QtMaterialSnackbar.h"

#include "GlobalSnackbar.h"
#include "QtMaterialSnackbarStateMachine.h"
#include "QtMaterialStateTransition.h"

#include <QCoreApplication>
#include <QPainter>

QtMaterialSnackbar::QtMaterialSnackbar(QWidget* parent)
    : QtMaterialOverlayWidget(parent)
    , m_stateMachine(new QtMaterialSnackbarStateMachine(this))
{
    setAttribute(Qt::WA_TransparentForMouseEvents);

    QFont font(QStringLiteral("Microsoft Yahei"));
    font.setPixelSize(14);
    font.setStyleStrategy(QFont::PreferAntialias);
    setFont(font);

    m_stateMachine->start();
    QCoreApplication::processEvents();
}

QtMaterialSnackbar::~QtMaterialSnackbar()
{
    // A message that reaches the GUI thread after this must find no snackbar.
    forgetGlobalSnackbar(this);
    // The machine calls back into this object; it must not outlive this part of it.
    delete m_stateMachine;
    m_stateMachine = nullptr;
}

void QtMaterialSnackbar::setAutoHideDuration(int duration)
{
    m_duration = duration;
}

int QtMaterialSnackbar::autoHideDuration() const
{
    return m_duration;
}

void QtMaterialSnackbar::setBackgroundColor(const QColor& color)
{
    m_backgroundColor = color;
    m_useThemeColors = false;
    update();
}

QColor QtMaterialSnackbar::backgroundColor() const
{
    if (m_useThemeColors || !m_backgroundColor.isValid())
        return QColor(0, 0, 0, 222);
    return m_backgroundColor;
}

void QtMaterialSnackbar::setBackgroundOpacity(qreal opacity)
{
    m_backgroundOpacity = opacity;
    update();
}

qreal QtMaterialSnackbar::backgroundOpacity() const
{
    return m_backgroundOpacity;
}

void QtMaterialSnackbar::setTextColor(const QColor& color)
{
    m_textColor = color;
    m_useThemeColors = false;
    update();
}

QColor QtMaterialSnackbar::textColor() const
{
    if (m_useThemeColors || !m_textColor.isValid())
        return QColor(Qt::white);
    return m_textColor;
}

void QtMaterialSnackbar::setFontSize(qreal size)
{
    QFont f(font());
    f.setPointSizeF(size);
    setFont(f);
    update();
}

qreal QtMaterialSnackbar::fontSize() const
{
    return font().pointSizeF();
}

void QtMaterialSnackbar::setFontPixelSize(int size)
{
    QFont f(font());
    f.setPixelSize(size);
    setFont(f);
    update();
}

void QtMaterialSnackbar::setBoxWidth(int width)
{
    m_boxWidth = width;
    update();
}

int QtMaterialSnackbar::boxWidth() const
{
    return m_boxWidth;
}

void QtMaterialSnackbar::setClickToDismissMode(bool value)
{
    m_clickDismiss = value;
}

bool QtMaterialSnackbar::clickToDismissMode() const
{
    return m_clickDismiss;
}

void QtMaterialSnackbar::setUseThemeColors(bool value)
{
    if (m_useThemeColors == value)
        return;
    m_useThemeColors = value;
    update();
}

bool QtMaterialSnackbar::useThemeColors() const
{
    return m_useThemeColors;
}

QStringList QtMaterialSnackbar::messages() const
{
    return m_messages;
}

void QtMaterialSnackbar::addMessage(const QString& message)
{
    // Only the last queued text is compared: the same text may come again once another
    // stands behind it.
    if (!m_messages.isEmpty() && m_messages.last() == message)
        return;
    m_messages.push_back(message);
    m_stateMachine->postEvent(new QtMaterialStateTransitionEvent(SnackbarShowTransition));
    raise();
}

void QtMaterialSnackbar::addInstantMessage(const QString& message)
{
    if (m_messages.isEmpty())
        m_messages.push_back(message);
    else
        m_messages.insert(1, message);
    m_stateMachine->progress();
}

void QtMaterialSnackbar::dequeue()
{
    if (m_messages.isEmpty())
        return;
    m_messages.removeFirst();
    m_stateMachine->postEvent(new QtMaterialStateTransitionEvent(
        m_messages.isEmpty() ? SnackbarWaitTransition : SnackbarNextTransition));
}

void QtMaterialSnackbar::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event)
    if (m_messages.isEmpty())
        return;
    const QString message = m_messages.first();

    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    painter.setBrush(QBrush(backgroundColor(), Qt::SolidPattern));
    painter.setOpacity(m_backgroundOpacity);

    const int flags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap;
    QRect r(0, 0, m_boxWidth, 40);
    painter.setPen(Qt::white);
    QRect br = painter.boundingRect(r, flags, message);
    painter.setPen(Qt::NoPen);

    r = br.united(r).adjusted(-10, -10, 10, 20);

    const qreal s = 1 - m_stateMachine->offset();
    painter.translate((width() - (r.width() - 20)) / 2, height() + 10 - s * r.height());

    br.moveCenter(r.center());
    painter.drawRoundedRect(r.adjusted(0, 0, 0, 4), 4, 4, Qt::AbsoluteSize);
    painter.setPen(textColor());
    painter.drawText(br, flags, message);
}
