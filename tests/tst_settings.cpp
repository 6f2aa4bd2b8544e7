// The settings store on real files in the test's configuration home: the text forms,
// loading into a fresh panel, saving from it, damaged files and concurrent saves.
#include "TestEnvironment.h"
#include "automation/globals.h"
#include "panel/frmMain.h"
#include "prefs/SettingsError.h"
#include "prefs/SettingsStore.h"
#include "prefs/TextForms.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QSettings>
#include <QTest>
#include <QTimer>

using Module1::NodeCalls;

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

}  // namespace

class tst_settings : public QObject {
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
    void twoProcessesSavingNeverCorruptTheFile();

private:
    std::unique_ptr<frmMain> loadedPanel();
};

void tst_settings::init()
{
    QDir(storeDir()).removeRecursively();
    globals::SettingsApplication = QStringLiteral("Dialboard");
    globals::SettingsSection = QStringLiteral("Settings");
    QLocale::setDefault(QLocale::c());
    NodeCalls.fill(QStringLiteral("stale"));
}

// A panel at its design state, placed by "the window system", then loaded.
std::unique_ptr<frmMain> tst_settings::loadedPanel()
{
    auto w = std::make_unique<frmMain>();
    w->move(StartPos);
    w->GetRegSettings();
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
    QTest::newRow("2400") << "C" << "2400" << true << 2400.0f;
    QTest::newRow("-1200") << "C" << "-1200" << true << -1200.0f;
    QTest::newRow("1e3") << "C" << "1e3" << true << 1000.0f;
    QTest::newRow(" 7 ") << "C" << " 7 " << true << 7.0f;
    QTest::newRow("12.5") << "C" << "12.5" << true << 12.5f;
    QTest::newRow("12,5 in German") << "de_DE" << "12,5" << true << 12.5f;
    QTest::newRow("0.125 in German") << "de_DE" << "0.125" << true << 0.125f;
    QTest::newRow("1.250,5 in German") << "de_DE" << "1.250,5" << true << 1250.5f;
    QTest::newRow("12.5 in German") << "de_DE" << "12.5" << true << 12.5f;
    QTest::newRow("0.125 in German") << "de_DE" << "0.125" << true << 0.125f;
    QTest::newRow("1.250,5 in German") << "de_DE" << "1.250,5" << true << 1250.5f;
    QTest::newRow("1,500 in English") << "en_US" << "1,500" << true << 1500.0f;
    QTest::newRow("3e38") << "C" << "3e38" << true << 3e38f;
    QTest::newRow("empty") << "C" << "" << false << 0.0f;
    QTest::newRow("yes") << "C" << "yes" << false << 0.0f;
    QTest::newRow("NaN") << "C" << "NaN" << false << 0.0f;
    QTest::newRow("inf") << "C" << "inf" << false << 0.0f;
    QTest::newRow("1e39 beyond single") << "C" << "1e39" << false << 0.0f;
    QTest::newRow("99 digits") << "C" << QString(99, QLatin1Char('9')) << false << 0.0f;
    QTest::newRow("12abc") << "C" << "12abc" << false << 0.0f;
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
    auto w = std::make_unique<frmMain>();
    w->move(StartPos);
    w->setHeight(6645);
    w->GetRegSettings();
    QCOMPARE(w->pos(), StartPos);
    QVERIFY(!w->mnuOnTop->isChecked());
    QVERIFY(!w->OnTop->isActive());
    QVERIFY(!w->mnuViewLarge->isChecked());
    QVERIFY(w->mnuViewSmall->isChecked());
    QCOMPARE(w->Height(), 1545);
    for (const QString &call : NodeCalls)
        QCOMPARE(call, QString());
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
    QTest::newRow("all applied") << keys("2400", "-1200", "True", "True", "False")
                                 << QPoint(-80, 160) << true << true << false << 6645;
    QTest::newRow("every key empty") << keys("", "", "", "", "") << StartPos << false << false
                                     << true << 1545;
    QTest::newRow("every key garbage") << keys("abc", "x1", "maybe", "yes", "no") << StartPos
                                       << false << false << true << 1545;
    QTest::newRow("ScrnTop garbage, the rest applied")
        << keys("top", "1500", "1", "TRUE", "0") << QPoint(100, 200) << true << true << false << 6645;
    QTest::newRow("position out of range skipped") << keys("1e30", "1500", "", "", "")
                                                   << QPoint(100, 200) << false << false << true << 1545;
    QTest::newRow("OnTop True") << keys("", "", "True", "", "") << StartPos << true << false << true << 1545;
    QTest::newRow("OnTop 1") << keys("", "", "1", "", "") << StartPos << true << false << true << 1545;
    QTest::newRow("OnTop -3") << keys("", "", "-3", "", "") << StartPos << true << false << true << 1545;
    QTest::newRow("OnTop 0") << keys("", "", "0", "", "") << StartPos << false << false << true << 1545;
    QTest::newRow("OnTop False") << keys("", "", "False", "", "") << StartPos << false << false << true << 1545;
    QTest::newRow("OnTop maybe") << keys("", "", "maybe", "", "") << StartPos << false << false << true << 1545;
    QTest::newRow("both views true ends small") << keys("", "", "", "True", "True") << StartPos
                                                << false << true << true << 1545;
    QTest::newRow("large true, small missing ends small")
        << QByteArray("[Settings]\nViewLarge=True\n") << StartPos << false << true << true << 1545;
    QTest::newRow("both views false") << keys("", "", "", "False", "False") << StartPos << false
                                      << false << false << 1545;
    QTest::newRow("other section ignored")
        << QByteArray("[Other]\nScrnTop=15\nOnTop=True\nViewLarge=True\n") << StartPos << false
        << false << true << 1545;
}

void tst_settings::load()
{
    QFETCH(QByteArray, file);
    writeStoreFile(file);
    const auto w = loadedPanel();
    QTEST(w->pos(), "pos");
    QTEST(w->mnuOnTop->isChecked(), "onTop");
    QTEST(w->OnTop->isActive(), "onTop");
    QTEST(w->mnuViewLarge->isChecked(), "large");
    QTEST(w->mnuViewSmall->isChecked(), "small");
    QTEST(w->Height(), "height");
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
    QCOMPARE(NodeCalls[0], QStringLiteral("  w1aw-l "));
    QCOMPARE(NodeCalls[1], QStringLiteral("W1AW,K1ABC"));
    QCOMPARE(NodeCalls[2], QStringLiteral("a, b ,c"));
    QCOMPARE(NodeCalls[3], QStringLiteral("quoted,comma"));
    QCOMPARE(NodeCalls[4], QString());
    QCOMPARE(NodeCalls[5], QString());
    QCOMPARE(NodeCalls[39], QStringLiteral("*ECHOTEST*"));
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
    QVERIFY(!w->mnuOnTop->isChecked());
    QVERIFY(!w->mnuViewLarge->isChecked());
    QCOMPARE(w->Height(), 1545);
    QCOMPARE(NodeCalls[0], QString());
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));

    NodeCalls[0] = QStringLiteral("W1AW");
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
    QVERIFY2(err.contains(storeFile() + QStringLiteral(".unreadable")), qPrintable(err));
    QCOMPARE(readStoreFile(storeFile() + QStringLiteral(".unreadable")), junk);
}

// A stray line without "=": whether Qt takes the good lines or refuses the file depends
// on when it first parses it. Either way the save goes through and nothing is lost: the
// good line is carried into the saved file, or the file is kept aside whole.
void tst_settings::strayLineNeverBlocksSaving()
{
    globals::SettingsApplication = QStringLiteral("Stray");  // a file Qt has not parsed yet
    const QString file = storeDir() + QStringLiteral("/Stray.conf");
    const QByteArray damaged("[Settings]\nNodeCall0=W1AW\nX\n");
    QDir().mkpath(storeDir());
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(damaged);
    out.close();

    const auto w = loadedPanel();
    NodeCalls[1] = QStringLiteral("K1ABC");
    w->PutRegSettings();
    w->PutRegSettings();
    QSettings saved(file, QSettings::IniFormat);
    QCOMPARE(saved.status(), QSettings::NoError);
    QCOMPARE(saved.value(QStringLiteral("Settings/NodeCall1")).toString(), QStringLiteral("K1ABC"));
    const bool carried = saved.value(QStringLiteral("Settings/NodeCall0")).toString() == QStringLiteral("W1AW");
    QVERIFY(carried || readStoreFile(file + QStringLiteral(".unreadable")) == damaged);
}

void tst_settings::saveWritesAll45Keys()
{
    frmMain w;
    w.move(160, 80);
    w.mnuOnTop->setChecked(true);
    w.mnuViewLarge->setChecked(true);
    w.mnuViewSmall->setChecked(false);
    for (int i = 0; i < 40; ++i)
        NodeCalls[i] = i % 3 ? QStringLiteral("CALL%1").arg(i) : QString();
    w.PutRegSettings();

    QCOMPARE(SettingsStore().fileName(), storeFile());
    const QMap<QString, QString> values = storedValues();
    QCOMPARE(values.size(), 45);
    QCOMPARE(values.value(QStringLiteral("ScrnTop")), QStringLiteral("1200"));
    QCOMPARE(values.value(QStringLiteral("ScrnLeft")), QStringLiteral("2400"));
    QCOMPARE(values.value(QStringLiteral("OnTop")), QStringLiteral("True"));
    QCOMPARE(values.value(QStringLiteral("ViewLarge")), QStringLiteral("True"));
    QCOMPARE(values.value(QStringLiteral("ViewSmall")), QStringLiteral("False"));
    for (int i = 0; i < 40; ++i)
        QCOMPARE(values.value(QStringLiteral("NodeCall%1").arg(i), QStringLiteral("missing")),
                 NodeCalls[i]);
    QVERIFY(!QFile::exists(storeFile() + QStringLiteral(".unreadable")));

    // Start-up may name another application and section.
    globals::SettingsApplication = QStringLiteral("Other");
    globals::SettingsSection = QStringLiteral("Panel");
    w.PutRegSettings();
    QSettings other(storeDir() + QStringLiteral("/Other.conf"), QSettings::IniFormat);
    QCOMPARE(other.value(QStringLiteral("Panel/NodeCall1")).toString(), QStringLiteral("CALL1"));
}

void tst_settings::minimizedSaveKeepsStoredPosition()
{
    writeStoreFile("[Settings]\nScrnTop=111\nScrnLeft=222\nOnTop=True\nNodeCall3=OLD\n");
    frmMain w;
    w.move(StartPos);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.showMinimized();
    QVERIFY(w.isMinimized());
    NodeCalls[3] = QStringLiteral("NEW");
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
        QStringLiteral("a,b"), QStringLiteral("a, b ,c"), QStringLiteral(","), QStringLiteral("\"quoted\""),
        QStringLiteral("\"half"), QStringLiteral("back\\slash"), QStringLiteral("\\"), QStringLiteral("x=y"),
        QStringLiteral("="), QStringLiteral("semi;colon"), QStringLiteral("#hash"), QStringLiteral("[Settings]"),
        QStringLiteral("  blanks  "), QStringLiteral(" "), QStringLiteral("tab\there"), QStringLiteral("line\nbreak"),
        QStringLiteral("Ωμέγα"), QStringLiteral("日本語"), QStringLiteral("😀"), QStringLiteral("naïve,café"),
        QStringLiteral("@Variant(abc)"), QStringLiteral("@@x"), QStringLiteral("@"), QStringLiteral("%20%"),
        QStringLiteral("True"), QStringLiteral("1,2,3"), QStringLiteral("a,,b"), QStringLiteral("'single'"),
        QStringLiteral("\r"), QStringLiteral("NodeCall5=X"), QStringLiteral("w1aw-l"), QStringLiteral("*CONF*"),
        QString(300, QLatin1Char('x')), QStringLiteral("a\"b,c\\d=e"), QStringLiteral("\x01\x7f"), QString(),
        QStringLiteral("$HOME"), QStringLiteral("${x}"), QStringLiteral("a\\,b"), QStringLiteral("end ")};
    QCOMPARE(awkward.size(), 40);
    for (int i = 0; i < 40; ++i)
        NodeCalls[i] = awkward[i];
    frmMain().PutRegSettings();

    NodeCalls.fill(QStringLiteral("stale"));
    const auto w = loadedPanel();
    for (int i = 0; i < 40; ++i)
        QCOMPARE(NodeCalls[i], awkward[i]);
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

    frmMain w;
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
            SettingsStore store;
            const QString value = QStringLiteral("A%1").arg(mine++);
            for (const QString &key : optionKeys)
                store.write(key, value);
            for (int i = 0; i < 40; ++i)
                store.write(QStringLiteral("NodeCall%1").arg(i), value);
            store.save();
        }
        checkFile();
        QTest::qSleep(2);
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
