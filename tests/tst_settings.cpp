// The settings store on real files in the test's configuration home: the text forms,
// loading into a fresh panel, saving from it, damaged files and concurrent saves.
#include "PanelDriver.h"
#include "TestEnvironment.h"
#include "panel/frmMain.h"
#include "settings/PanelSettings.h"
#include "settings/SettingsError.h"
#include "settings/SettingsStore.h"
#include "settings/TextForms.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QTest>
#include <QTimer>

using namespace PanelDriver;

namespace {

QString storeDir()
{
    return TestEnvironment::configHome() + QStringLiteral("/Dialboard");
}

QString storeFile()
{
    return storeDir() + QStringLiteral("/Dialboard.conf");
}

// Writes the store file by hand. Each file gets a modification time of its own, so
// QSettings never mistakes it for the one it read before.
void writeStoreFile(const QByteArray &contents)
{
    static QDateTime stamp = QDateTime::currentDateTimeUtc().addSecs(-100000);
    stamp = stamp.addSecs(1);
    QDir().mkpath(storeDir());
    QFile file(storeFile());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(contents);
    QVERIFY(file.setFileTime(stamp, QFileDevice::FileModificationTime));
}

QByteArray readStoreFile(const QString &name = storeFile())
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The values in the store's section, as a fresh QSettings reads them.
QMap<QString, QString> storedValues()
{
    QSettings settings(storeFile(), QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("Settings"));
    QMap<QString, QString> values;
    for (const QString &key : settings.childKeys())
        values.insert(key, settings.value(key).toString());
    return values;
}

const QPoint StartPos(300, 200);  // where the "window system" put the panel

SettingsStore panelStore()
{
    return SettingsStore(QStringLiteral("Dialboard"), QStringLiteral("Settings"));
}

QString call(const frmMain &w, int index)
{
    return w.currentSettings().calls[index].value_or(QStringLiteral("<none>"));
}

// The height of the button area, in pixels, for a whole-window height in twips.
int areaFor(int windowTwips)
{
    return (windowTwips - 645) / 15;
}

}  // namespace

class tst_settings : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();

    void booleanFromText_data();
    void booleanFromText();
    void numberFromText_data();
    void numberFromText();
    void numberToText();

    void firstStartWithEmptyStore();
    void load_data();
    void load();
    void callsLoadedExactlyAsStored();
    void unreadableFileLoadsAsEmptyAndIsSetAsideOnSave_data();
    void unreadableFileLoadsAsEmptyAndIsSetAsideOnSave();

    void strayLineNeverBlocksSaving();
    void saveWritesAll45Keys();
    void minimizedSaveKeepsStoredPosition();
    void awkwardCallsRoundTripExactly();
    void failedSaveIsReported();
    void positionOffEveryScreenComesBackOnTheNearest();
    void secondUnreadableFileKeepsTheFirstCopy();
    void twoProcessesSavingNeverCorruptTheFile();

private:
    std::unique_ptr<frmMain> loadedPanel();
    TestHost host;
};

void tst_settings::init()
{
    QDir(storeDir()).removeRecursively();
    QLocale::setDefault(QLocale::c());
}

// A panel at its design state, placed by "the window system", then loaded and shown.
std::unique_ptr<frmMain> tst_settings::loadedPanel()
{
    auto w = std::make_unique<frmMain>(host);
    w->move(StartPos);
    PanelSettings stale;
    stale.calls.fill(QStringLiteral("stale"));
    w->applySettings(stale);
    w->applySettings(PanelSettings::read(panelStore()));
    w->show();
    if (!QTest::qWaitForWindowExposed(w.get()))
        qWarning("the panel was not exposed");
    return w;
}

void tst_settings::booleanFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");  // 1 true, 0 false, -1 not a Boolean
    QTest::newRow("True") << "True" << 1;
    QTest::newRow("FALSE") << "FALSE" << 0;
    QTest::newRow("tRuE") << "tRuE" << 1;
    QTest::newRow("1") << "1" << 1;
    QTest::newRow("0") << "0" << 0;
    QTest::newRow("-3") << "-3" << 1;
    QTest::newRow("1e3") << "1e3" << 1;
    QTest::newRow("0.0") << "0.0" << 0;
    QTest::newRow(" 7 ") << " 7 " << 1;
    QTest::newRow("empty") << "" << -1;
    QTest::newRow("yes") << "yes" << -1;
    QTest::newRow("maybe") << "maybe" << -1;
    QTest::newRow("NaN") << "NaN" << -1;
    QTest::newRow("1e999") << "1e999" << -1;
    QTest::newRow("True1") << "True1" << -1;
}

void tst_settings::booleanFromText()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    if (expected < 0)
        QVERIFY_THROWS_EXCEPTION(ConversionError, TextForms::toBoolean(text));
    else
        QCOMPARE(TextForms::toBoolean(text), expected == 1);
}

void tst_settings::numberFromText_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<float>("expected");
    QTest::newRow("2400") << "C"
                          << "2400" << true << 2400.0f;
    QTest::newRow("-1200") << "C"
                           << "-1200" << true << -1200.0f;
    QTest::newRow("1e3") << "C"
                         << "1e3" << true << 1000.0f;
    QTest::newRow(" 7 ") << "C"
                         << " 7 " << true << 7.0f;
    QTest::newRow("12.5") << "C"
                          << "12.5" << true << 12.5f;
    QTest::newRow("12,5 in German") << "de_DE"
                                    << "12,5" << true << 12.5f;
    QTest::newRow("0.125 in German") << "de_DE"
                                     << "0.125" << true << 0.125f;
    QTest::newRow("1.250,5 in German") << "de_DE"
                                       << "1.250,5" << true << 1250.5f;
    QTest::newRow("12.5 in German") << "de_DE"
                                    << "12.5" << true << 12.5f;
    QTest::newRow("0.125 in German") << "de_DE"
                                     << "0.125" << true << 0.125f;
    QTest::newRow("1.250,5 in German") << "de_DE"
                                       << "1.250,5" << true << 1250.5f;
    QTest::newRow("1,500 in English") << "en_US"
                                      << "1,500" << true << 1500.0f;
    QTest::newRow("3e38") << "C"
                          << "3e38" << true << 3e38f;
    QTest::newRow("empty") << "C"
                           << "" << false << 0.0f;
    QTest::newRow("yes") << "C"
                         << "yes" << false << 0.0f;
    QTest::newRow("NaN") << "C"
                         << "NaN" << false << 0.0f;
    QTest::newRow("inf") << "C"
                         << "inf" << false << 0.0f;
    QTest::newRow("1e39 beyond single") << "C"
                                        << "1e39" << false << 0.0f;
    QTest::newRow("99 digits") << "C" << QString(99, QLatin1Char('9')) << false << 0.0f;
    QTest::newRow("12abc") << "C"
                           << "12abc" << false << 0.0f;
}

void tst_settings::numberFromText()
{
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(float, expected);
    QLocale::setDefault(QLocale(locale));
    if (ok)
        QCOMPARE(TextForms::toSingle(text), expected);
    else
        QVERIFY_THROWS_EXCEPTION(ConversionError, TextForms::toSingle(text));
}

void tst_settings::numberToText()
{
    using TextForms::fromSingle;
    QCOMPARE(fromSingle(2400), QStringLiteral("2400"));
    QCOMPARE(fromSingle(-1200), QStringLiteral("-1200"));
    QCOMPARE(fromSingle(0), QStringLiteral("0"));
    QCOMPARE(fromSingle(12.5f), QStringLiteral("12.5"));
    QCOMPARE(fromSingle(0.1f), QStringLiteral("0.1"));
    QCOMPARE(fromSingle(1e10f), QStringLiteral("10000000000"));
    // Written in any locale, read back in any locale.
    QLocale::setDefault(QLocale(QLocale::German));
    QCOMPARE(fromSingle(1234.5f), QStringLiteral("1234.5"));
    for (float value : {2400.0f, -1200.0f, 1234.5f, 0.1f, 3.4e38f})
        QCOMPARE(TextForms::toSingle(fromSingle(value)), value);
    QCOMPARE(TextForms::fromBoolean(true), QStringLiteral("True"));
    QCOMPARE(TextForms::fromBoolean(false), QStringLiteral("False"));
}

// No store file at all: position untouched, design marks, small view, no timer, 40
// empty calls, and nothing written by the load.
void tst_settings::firstStartWithEmptyStore()
{
    auto w = std::make_unique<frmMain>(host);
    w->move(StartPos);
    w->applySettings(PanelSettings::read(panelStore()));
    QCOMPARE(w->pos(), StartPos);
    QVERIFY(!menuItem(*w, "mnuOnTop")->isChecked());
    QVERIFY(!timer(*w, "OnTop")->isActive());
    QVERIFY(!menuItem(*w, "mnuViewLarge")->isChecked());
    QVERIFY(menuItem(*w, "mnuViewSmall")->isChecked());
    QCOMPARE(w->centralWidget()->height(), areaFor(1545));
    for (int i = 0; i < frmMain::NodeButtonCount; ++i)
        QCOMPARE(call(*w, i), QString());
    QVERIFY(!QFile::exists(storeFile()));
}

void tst_settings::load_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<bool>("onTop");
    QTest::addColumn<bool>("large");
    QTest::addColumn<bool>("small");
    QTest::addColumn<int>("height");

    const auto keys = [](const char *top, const char *left, const char *onTop, const char *large,
                         const char *small) {
        return QByteArray("[Settings]\nScrnTop=") + top + "\nScrnLeft=" + left + "\nOnTop=" + onTop
               + "\nViewLarge=" + large + "\nViewSmall=" + small + "\n";
    };
    QTest::newRow("all applied") << keys("2400", "-1200", "True", "True", "False") << QPoint(-80, 160) << true
                                 << true << false << 6645;
    QTest::newRow("every key empty") << keys("", "", "", "", "") << StartPos << false << false << true
                                     << 1545;
    QTest::newRow("every key garbage")
        << keys("abc", "x1", "maybe", "yes", "no") << StartPos << false << false << true << 1545;
    QTest::newRow("ScrnTop garbage, the rest applied")
        << keys("top", "1500", "1", "TRUE", "0") << QPoint(100, 200) << true << true << false << 6645;
    QTest::newRow("position out of range skipped")
        << keys("1e30", "1500", "", "", "") << QPoint(100, 200) << false << false << true << 1545;
    QTest::newRow("OnTop True") << keys("", "", "True", "", "") << StartPos << true << false << true << 1545;
    QTest::newRow("OnTop 1") << keys("", "", "1", "", "") << StartPos << true << false << true << 1545;
    QTest::newRow("OnTop -3") << keys("", "", "-3", "", "") << StartPos << true << false << true << 1545;
    QTest::newRow("OnTop 0") << keys("", "", "0", "", "") << StartPos << false << false << true << 1545;
    QTest::newRow("OnTop False") << keys("", "", "False", "", "") << StartPos << false << false << true
                                 << 1545;
    QTest::newRow("OnTop maybe") << keys("", "", "maybe", "", "") << StartPos << false << false << true
                                 << 1545;
    QTest::newRow("both views true ends small")
        << keys("", "", "", "True", "True") << StartPos << false << true << true << 1545;
    QTest::newRow("large true, small missing ends small")
        << QByteArray("[Settings]\nViewLarge=True\n") << StartPos << false << true << true << 1545;
    QTest::newRow("both views false")
        << keys("", "", "", "False", "False") << StartPos << false << false << false << 1545;
    QTest::newRow("other section ignored") << QByteArray("[Other]\nScrnTop=15\nOnTop=True\nViewLarge=True\n")
                                           << StartPos << false << false << true << 1545;
}

void tst_settings::load()
{
    QFETCH(QByteArray, file);
    writeStoreFile(file);
    const auto w = loadedPanel();
    QFETCH(QPoint, pos);
    QFETCH(int, height);
    QTRY_COMPARE(w->pos(), pos);
    QTEST(menuItem(*w, "mnuOnTop")->isChecked(), "onTop");
    QTEST(timer(*w, "OnTop")->isActive(), "onTop");
    QTEST(menuItem(*w, "mnuViewLarge")->isChecked(), "large");
    QTEST(menuItem(*w, "mnuViewSmall")->isChecked(), "small");
    QCOMPARE(w->centralWidget()->height(), areaFor(height));
    QCOMPARE(w->width(), 2970 / 15);
}

// Calls keep blanks and letter case; a hand-written value with commas is its text, not
// a list; a missing call is an unassigned button.
void tst_settings::callsLoadedExactlyAsStored()
{
    writeStoreFile("[Settings]\n"
                   "NodeCall0=\"  w1aw-l \"\n"
                   "NodeCall1=W1AW,K1ABC\n"
                   "NodeCall2=a, b ,c\n"
                   "NodeCall3=\"quoted,comma\"\n"
                   "NodeCall4=\n"
                   "NodeCall39=*ECHOTEST*\n"
                   "[Other]\n"
                   "NodeCall5=x,y\n");
    const auto w = loadedPanel();
    QCOMPARE(call(*w, 0), QStringLiteral("  w1aw-l "));
    QCOMPARE(call(*w, 1), QStringLiteral("W1AW,K1ABC"));
    QCOMPARE(call(*w, 2), QStringLiteral("a, b ,c"));
    QCOMPARE(call(*w, 3), QStringLiteral("quoted,comma"));
    QCOMPARE(call(*w, 4), QString());
    QCOMPARE(call(*w, 5), QString());
    QCOMPARE(call(*w, 39), QStringLiteral("*ECHOTEST*"));
}

void tst_settings::unreadableFileLoadsAsEmptyAndIsSetAsideOnSave_data()
{
    QTest::addColumn<QByteArray>("junk");
    QByteArray binary;
    for (int i = 0; i < 4096; ++i)
        binary.append(char((i * 7919 + 13) % 256));
    // Keys a lenient parser would find among the junk must not be taken for settings.
    binary.insert(1000, "\n[Settings]\nOnTop=True\nViewLarge=True\nNodeCall0=JUNK\n");
    QTest::newRow("binary junk") << binary;
    QTest::newRow("broken section header") << QByteArray("[Settings\nOnTop=True\nNodeCall0=JUNK\n");
}

void tst_settings::unreadableFileLoadsAsEmptyAndIsSetAsideOnSave()
{
    QFETCH(QByteArray, junk);
    writeStoreFile(junk);
    const auto w = loadedPanel();
    QCOMPARE(w->pos(), StartPos);
    QVERIFY(!menuItem(*w, "mnuOnTop")->isChecked());
    QVERIFY(!menuItem(*w, "mnuViewLarge")->isChecked());
    QCOMPARE(w->centralWidget()->height(), areaFor(1545));
    QCOMPARE(call(*w, 0), QString());
    setCalls(*w, {{0, QStringLiteral("W1AW")}});
    w->PutRegSettings();
    QCOMPARE(readStoreFile(storeFile() + QStringLiteral(".unreadable")), junk);
    QCOMPARE(storedValues().size(), 45);
    QCOMPARE(storedValues().value(QStringLiteral("NodeCall0")), QStringLiteral("W1AW"));

    // Another copy of the program meeting a damaged file says so on stderr, once.
    writeStoreFile(junk);
    QProcess saver;
    saver.start(QStringLiteral(SETTINGS_SAVER_PATH), {QStringLiteral("0"), QStringLiteral("B")});
    QVERIFY(saver.waitForFinished(10000));
    QCOMPARE(saver.exitCode(), 0);
    const QString err = QString::fromLocal8Bit(saver.readAllStandardError());
    QCOMPARE(err.count(QLatin1Char('\n')), 1);
    QVERIFY2(err.contains(storeFile() + QStringLiteral(".unreadable.2")), qPrintable(err));
    QCOMPARE(readStoreFile(storeFile() + QStringLiteral(".unreadable")), junk);
    QCOMPARE(readStoreFile(storeFile() + QStringLiteral(".unreadable.2")), junk);
}

// A stray line without "=": whether Qt takes the good lines or refuses the file depends
// on when it first parses it. Either way the save goes through and nothing is lost: the
// good line is carried into the saved file, or the file is kept aside whole.
void tst_settings::strayLineNeverBlocksSaving()
{
    const QString file = TestEnvironment::configHome() + QStringLiteral("/Stray/Stray.conf");
    const QByteArray damaged("[Settings]\nNodeCall0=W1AW\nX\n");
    QDir().mkpath(QFileInfo(file).absolutePath());
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(damaged);
    out.close();

    SettingsStore store(QStringLiteral("Stray"), QStringLiteral("Settings"));  // not parsed before
    PanelSettings settings = PanelSettings::read(store);
    settings.calls[1] = QStringLiteral("K1ABC");
    settings.write(store);
    store.save();
    settings.write(store);
    store.save();
    QSettings saved(file, QSettings::IniFormat);
    QCOMPARE(saved.status(), QSettings::NoError);
    QCOMPARE(saved.value(QStringLiteral("Settings/NodeCall1")).toString(), QStringLiteral("K1ABC"));
    const bool carried =
        saved.value(QStringLiteral("Settings/NodeCall0")).toString() == QStringLiteral("W1AW");
    QVERIFY(carried || readStoreFile(file + QStringLiteral(".unreadable")) == damaged);
}

void tst_settings::saveWritesAll45Keys()
{
    frmMain w(host);
    w.move(160, 80);
    w.show();  // a position is saved once the window system has placed the window
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    PanelSettings set;
    set.onTop = true;
    set.viewLarge = true;
    set.viewSmall = false;
    for (int i = 0; i < 40; ++i)
        set.calls[i] = i % 3 ? QStringLiteral("CALL%1").arg(i) : QString();
    w.applySettings(set);
    w.PutRegSettings();

    QCOMPARE(panelStore().fileName(), storeFile());
    const QMap<QString, QString> values = storedValues();
    QCOMPARE(values.size(), 45);
    QCOMPARE(values.value(QStringLiteral("ScrnTop")), QStringLiteral("1200"));
    QCOMPARE(values.value(QStringLiteral("ScrnLeft")), QStringLiteral("2400"));
    QCOMPARE(values.value(QStringLiteral("OnTop")), QStringLiteral("True"));
    QCOMPARE(values.value(QStringLiteral("ViewLarge")), QStringLiteral("True"));
    QCOMPARE(values.value(QStringLiteral("ViewSmall")), QStringLiteral("False"));
    for (int i = 0; i < 40; ++i)
        QCOMPARE(values.value(QStringLiteral("NodeCall%1").arg(i), QStringLiteral("missing")), *set.calls[i]);
    QVERIFY(!QFile::exists(storeFile() + QStringLiteral(".unreadable")));

    // The store serves whichever application and section it is given.
    SettingsStore otherStore(QStringLiteral("Other"), QStringLiteral("Panel"));
    w.currentSettings().write(otherStore);
    otherStore.save();
    QSettings other(TestEnvironment::configHome() + QStringLiteral("/Other/Other.conf"),
                    QSettings::IniFormat);
    QCOMPARE(other.value(QStringLiteral("Panel/NodeCall1")).toString(), QStringLiteral("CALL1"));
}

void tst_settings::minimizedSaveKeepsStoredPosition()
{
    writeStoreFile("[Settings]\nScrnTop=111\nScrnLeft=222\nOnTop=True\nNodeCall3=OLD\n");
    frmMain w(host);
    w.move(StartPos);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.showMinimized();
    QVERIFY(w.isMinimized());
    setCalls(w, {{3, QStringLiteral("NEW")}});
    w.PutRegSettings();
    QMap<QString, QString> values = storedValues();
    QCOMPARE(values.size(), 45);
    QCOMPARE(values.value(QStringLiteral("ScrnTop")), QStringLiteral("111"));
    QCOMPARE(values.value(QStringLiteral("ScrnLeft")), QStringLiteral("222"));
    QCOMPARE(values.value(QStringLiteral("OnTop")), QStringLiteral("False"));
    QCOMPARE(values.value(QStringLiteral("NodeCall3")), QStringLiteral("NEW"));

    w.showNormal();
    QVERIFY(!w.isMinimized());
    w.PutRegSettings();
    values = storedValues();
    QCOMPARE(values.value(QStringLiteral("ScrnTop")), QString::number(StartPos.y() * 15));
    QCOMPARE(values.value(QStringLiteral("ScrnLeft")), QString::number(StartPos.x() * 15));
}

void tst_settings::awkwardCallsRoundTripExactly()
{
    const QStringList awkward = {
        QStringLiteral("a,b"),         QStringLiteral("a, b ,c"),    QStringLiteral(","),
        QStringLiteral("\"quoted\""),  QStringLiteral("\"half"),     QStringLiteral("back\\slash"),
        QStringLiteral("\\"),          QStringLiteral("x=y"),        QStringLiteral("="),
        QStringLiteral("semi;colon"),  QStringLiteral("#hash"),      QStringLiteral("[Settings]"),
        QStringLiteral("  blanks  "),  QStringLiteral(" "),          QStringLiteral("tab\there"),
        QStringLiteral("line\nbreak"), QStringLiteral("Ωμέγα"),      QStringLiteral("日本語"),
        QStringLiteral("😀"),           QStringLiteral("naïve,café"), QStringLiteral("@Variant(abc)"),
        QStringLiteral("@@x"),         QStringLiteral("@"),          QStringLiteral("%20%"),
        QStringLiteral("True"),        QStringLiteral("1,2,3"),      QStringLiteral("a,,b"),
        QStringLiteral("'single'"),    QStringLiteral("\r"),         QStringLiteral("NodeCall5=X"),
        QStringLiteral("w1aw-l"),      QStringLiteral("*CONF*"),     QString(300, QLatin1Char('x')),
        QStringLiteral("a\"b,c\\d=e"), QStringLiteral("\x01\x7f"),   QString(),
        QStringLiteral("$HOME"),       QStringLiteral("${x}"),       QStringLiteral("a\\,b"),
        QStringLiteral("end ")};
    QCOMPARE(awkward.size(), 40);
    {
        frmMain saving(host);
        QMap<int, QString> calls;
        for (int i = 0; i < 40; ++i)
            calls[i] = awkward[i];
        setCalls(saving, calls);
        saving.PutRegSettings();
    }
    const auto w = loadedPanel();
    for (int i = 0; i < 40; ++i)
        QCOMPARE(call(*w, i), awkward[i]);
}

// The configuration home lies under a regular file: no folder can be made there, for
// root neither. The error names the file and the reason.
void tst_settings::failedSaveIsReported()
{
    const QString blocker = TestEnvironment::configHome() + QStringLiteral("/blocker");
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, blocker + QStringLiteral("/config"));
    const auto restore = qScopeGuard([] {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, TestEnvironment::configHome());
    });

    frmMain w(host);
    QString message;
    try {
        w.PutRegSettings();
    } catch (const SettingsError &error) {
        message = error.message();
    }
    QVERIFY2(message.contains(blocker + QStringLiteral("/config/Dialboard/Dialboard.conf")),
             qPrintable(message));
    QVERIFY2(message.contains(QStringLiteral("cannot be created")), qPrintable(message));
}

// A position saved with a monitor that is gone puts the panel fully on the nearest
// screen; one that keeps any of it on a screen is applied as it stands.
void tst_settings::positionOffEveryScreenComesBackOnTheNearest()
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    writeStoreFile("[Settings]\nScrnTop=1500\nScrnLeft=60000\n");  // 4000 px to the right
    auto w = loadedPanel();
    QTRY_COMPARE(w->pos().y(), 100);
    QCOMPARE(w->x() + w->width(), screen.right() + 1);  // the frame, as far as it was known

    writeStoreFile("[Settings]\nScrnTop=-30000\nScrnLeft=-30000\n");
    w = loadedPanel();
    QCOMPARE(w->pos(), screen.topLeft());

    // Partly off the screen: kept where it was asked to be.
    writeStoreFile("[Settings]\nScrnTop=-300\nScrnLeft=-1500\n");
    w = loadedPanel();
    QCOMPARE(w->pos(), QPoint(-100, -20));
}

// Each damaged file the panel replaces is kept: a later one never overwrites the copy
// of an earlier one.
void tst_settings::secondUnreadableFileKeepsTheFirstCopy()
{
    const QByteArray first("[Settings\nNodeCall0=FIRST\n");
    const QByteArray second("[Settings\nNodeCall0=SECOND\n");
    for (const QByteArray &junk : {first, second}) {
        writeStoreFile(junk);
        SettingsStore store(QStringLiteral("Dialboard"), QStringLiteral("Settings"));
        PanelSettings::read(store).write(store);
        store.save();
    }
    QCOMPARE(readStoreFile(storeFile() + QStringLiteral(".unreadable")), first);
    QCOMPARE(readStoreFile(storeFile() + QStringLiteral(".unreadable.2")), second);
    QCOMPARE(storedValues().value(QStringLiteral("NodeCall0")), QString());
}

// Both copies save the full set over and over, every value tagged with the save; each
// file seen in between is whole and holds one save's set, never a mix.
void tst_settings::twoProcessesSavingNeverCorruptTheFile()
{
    QProcess other;
    other.start(QStringLiteral(SETTINGS_SAVER_PATH), {QStringLiteral("1500"), QStringLiteral("B")});
    QVERIFY(other.waitForStarted());

    int mine = 0, seenOther = 0;
    const QStringList optionKeys = {QStringLiteral("ScrnTop"), QStringLiteral("ScrnLeft"),
                                    QStringLiteral("OnTop"), QStringLiteral("ViewLarge"),
                                    QStringLiteral("ViewSmall")};
    // Read straight from the disk: this process's QSettings may answer from what it
    // wrote itself.
    const auto checkFile = [&seenOther] {
        const QList<QByteArray> lines = readStoreFile().trimmed().split('\n');
        QCOMPARE(lines.value(0), QByteArray("[Settings]"));
        QCOMPARE(lines.size(), 46);
        const QByteArray tag = lines[1].mid(lines[1].indexOf('=') + 1);
        QVERIFY(tag.startsWith('A') || tag.startsWith('B'));
        for (const QByteArray &line : lines.mid(1))
            QCOMPARE(line.mid(line.indexOf('=') + 1), tag);
        seenOther += tag.startsWith('B');
    };
    while (other.state() != QProcess::NotRunning) {
        if (QFile::exists(storeFile()))
            checkFile();
        {
            SettingsStore store = panelStore();
            const QString value = QStringLiteral("A%1").arg(mine++);
            for (const QString &key : optionKeys)
                store.write(key, value);
            for (int i = 0; i < 40; ++i)
                store.write(QStringLiteral("NodeCall%1").arg(i), value);
            store.save();
        }
        checkFile();
        // A pause as long as the other copy's, so neither keeps the file's lock to itself.
        QTest::qSleep(10);
        other.waitForFinished(0);
    }
    checkFile();
    QCOMPARE(other.exitStatus(), QProcess::NormalExit);
    QCOMPARE(other.exitCode(), 0);
    qInfo("%d saves here, %s there; %d checks found the other copy's save last", mine,
          other.readAllStandardOutput().trimmed().constData(), seenOther);
    QVERIFY(mine >= 20);
    QVERIFY(seenOther > 0);
    QVERIFY(!QFile::exists(storeFile() + QStringLiteral(".unreadable")));
}

DIALBOARD_TEST_MAIN(tst_settings, Offscreen)
#include "tst_settings.moc"
