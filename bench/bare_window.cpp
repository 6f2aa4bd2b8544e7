// The smallest program that looks like the panel: a fixed window of 40 push buttons in
// two columns in the panel's font, doing nothing. Its memory and idle cost are the floor
// the panel's figures are set against.
#include <QApplication>
#include <QGridLayout>
#include <QPushButton>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setFont(QFont(QStringLiteral("Verdana"), 7));
    auto *grid = new QGridLayout(&window);
    grid->setSpacing(0);
    grid->setContentsMargins(0, 0, 0, 0);
    for (int i = 0; i < 40; ++i)
        grid->addWidget(new QPushButton(QStringLiteral("N%1CALL").arg(i)), i % 20, i / 20);
    window.setFixedSize(198, 400);
    window.show();
    return app.exec();
}
