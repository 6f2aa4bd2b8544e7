// The window shown while the panel starts: the splash picture in a frame, with the line
// "Dialboard By Orvane" beneath it, centred on the screen. It has no title bar, no
// taskbar entry and no handlers: clicks and keys on it change nothing.
#pragma once

#include <QWidget>

class QGroupBox;
class QLabel;

class frmSplash : public QWidget
{
    Q_OBJECT
public:
    explicit frmSplash(QWidget *parent = nullptr);

    QGroupBox *Frame1 = nullptr;
    QLabel *Picture1 = nullptr;
    QLabel *Label1 = nullptr;
};
