#include "node/window/PushToTalk.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>

namespace {

const char *const IdleText = QT_TR_NOOP("Push to talk\n(hold the space bar)");
const char *const ToggleIdleText = QT_TR_NOOP("Push to talk\n(space bar: on and off)");
const char *const TransmittingText = QT_TR_NOOP("TRANSMITTING");
constexpr int ReleaseGraceMs = 60;

}  // namespace

PushToTalk::PushToTalk(QPushButton *button, QWidget *window, QWidget *exempt)
    : QObject(window), m_button(button), m_window(window), m_exempt{exempt}
{
    // The space bar is the window's, not the button's: the filter sees it first.
    m_button->setFocusPolicy(Qt::TabFocus);
    connect(m_button, &QPushButton::pressed, this, [this] {
        if (!m_toggle)
            press();
    });
    connect(m_button, &QPushButton::released, this, [this] {
        if (!m_toggle)
            letGo();
    });
    connect(m_button, &QPushButton::clicked, this, [this] {
        if (m_toggle)
            m_keyed ? letGo() : press();
    });
    m_releaseGrace.setSingleShot(true);
    m_releaseGrace.setInterval(ReleaseGraceMs);
    connect(&m_releaseGrace, &QTimer::timeout, this, [this] {
        if (!m_toggle)
            letGo();
    });
    qApp->installEventFilter(this);
    m_window->installEventFilter(this);
    showTransmitting(false);
}

void PushToTalk::setToggleMode(bool toggle)
{
    release();
    m_toggle = toggle;
    showTransmitting(false);
}

void PushToTalk::showTransmitting(bool on)
{
    // The node stopped by itself (time limit, last link gone) or was keyed from the bus:
    // the control follows, so the next press does what the user expects.
    if (!on || m_toggle)
        m_keyed = on;
    m_button->setText(tr(on ? TransmittingText : m_toggle ? ToggleIdleText : IdleText));
    m_button->setStyleSheet(
        on ? QStringLiteral("QPushButton { background: #d01010; color: white; font-weight: bold; }")
           : QString());
}

void PushToTalk::release()
{
    m_releaseGrace.stop();
    if (m_button->isDown())
        m_button->setDown(false);
    if (m_keyed)
        letGo();
}

void PushToTalk::press()
{
    m_keyed = true;
    Q_EMIT transmitWanted(true);
}

void PushToTalk::letGo()
{
    m_keyed = false;
    Q_EMIT transmitWanted(false);
}

bool PushToTalk::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        auto *key = static_cast<QKeyEvent *>(event);
        auto *widget = qobject_cast<QWidget *>(watched);
        if (key->key() != Qt::Key_Space || key->modifiers() != Qt::NoModifier || widget == nullptr
            || widget->window() != m_window || m_exempt.contains(widget))
            return false;
        if (key->isAutoRepeat())
            return true;
        if (event->type() == QEvent::KeyRelease) {
            m_releaseGrace.start();
        } else if (m_releaseGrace.isActive()) {
            m_releaseGrace.stop();  // the key is still held
        } else if (m_toggle) {
            m_keyed ? letGo() : press();
        } else {
            press();
        }
        return true;  // no other control of the window takes the space bar
    }
    case QEvent::WindowDeactivate:
    case QEvent::Hide:
        if (watched == m_window)
            release();
        return false;
    default:
        return false;
    }
}
