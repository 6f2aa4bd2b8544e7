#include "app/frmSplash.h"

#include "panel/Fonts.h"
#include "panel/Twips.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QScreen>

namespace {

// Design values, in twips.
constexpr int ClientWidth = 4215;
constexpr int ClientHeight = 2430;

}  // namespace

// A splash-type window: the window manager gives it no title bar and no taskbar entry.
frmSplash::frmSplash(QWidget *parent) : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("frmSplash"));
    setAttribute(Qt::WA_QuitOnClose, false);
    setFixedSize(Twips::toPixels(ClientWidth), Twips::toPixels(ClientHeight));

    Frame1 = new QGroupBox(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(Twips::toPixels(120, 0, 3975, 2310));

    // The picture at its natural size inside a 2-pixel sunken border: 249 x 97 pixels
    // for a 245 x 93 picture, nothing scaled or cropped.
    Picture1 = new QLabel(Frame1);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setGeometry(Twips::toPixels(120, 240, 3735, 1455));
    Picture1->setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    Picture1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Picture1->setPixmap(QPixmap(QStringLiteral(":/splash.jpg")));

    Label1 = new QLabel(QStringLiteral("Dialboard By Orvane"), Frame1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(Twips::toPixels(120, 1860, 3675, 270));
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setFont(Fonts::verdana(12));

    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect placed(QPoint(), size());
        placed.moveCenter(screen->geometry().center());
        move(placed.topLeft());
    }
}
