// What assistive technology (a screen reader through AT-SPI) learns about a node button:
// a push button named by its call, or "Empty button N" when it has none, described as
// "linked" or "not linked", reported checked while linked, and not showing while it lies
// outside what the window shows.
#pragma once

#include <QAccessibleWidget>

class NodeButton;

class NodeButtonAccessible : public QAccessibleWidget
{
public:
    explicit NodeButtonAccessible(NodeButton *button);

    // Registers the interface with Qt's accessibility, once per process.
    static void install();

    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;
    QStringList actionNames() const override;
    void doAction(const QString &actionName) override;

private:
    NodeButton *button() const;
};
