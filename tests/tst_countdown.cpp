#include "kit/ModalDriver.h"
#include "kit/TestMain.h"
#include "progress/CountdownDlg.h"

#include <QElapsedTimer>
#include <QLCDNumber>
#include <QLabel>
#include <QPushButton>

class TestCountdown : public QObject
{
    Q_OBJECT

private slots:
    void countsDownAndAcceptsAtZero();
    void reachingZeroEndsTheModalLoop();
    void operatorChoice_data();
    void operatorChoice();
};

void TestCountdown::countsDownAndAcceptsAtZero()
{
    CountdownDlg dialog;
    QCOMPARE(dialog.objectName(), QStringLiteral("CountdownDialog"));
    auto* lcd = dialog.findChild<QLCDNumber*>(QStringLiteral("lcdNumber"));
    auto* message = dialog.findChild<QLabel*>(QStringLiteral("msg"));
    QVERIFY(lcd && message);
    QSignalSpy finished(&dialog, &QDialog::finished);

    dialog.start_countdown(QString(), 3);
    QCOMPARE(message->text(), QString());
    QCOMPARE(lcd->intValue(), 3);

    QList<int> shown;
    for (int tick = 0; tick < 3; ++tick) {
        QCOMPARE(finished.count(), 0);
        dialog.updateCountdown();
        shown << lcd->intValue();
    }
    QCOMPARE(shown, (QList<int>{2, 1, 0}));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), 1);

    dialog.start_countdown(QStringLiteral("move the wand"), 2);
    QCOMPARE(message->text(), QStringLiteral("move the wand"));
    QCOMPARE(lcd->intValue(), 2);
}

void TestCountdown::reachingZeroEndsTheModalLoop()
{
    CountdownDlg dialog;
    dialog.start_countdown(QString(), 1);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(dialog.exec(), 1);
    QVERIFY2(clock.elapsed() >= 900, "the count must last its full second");
    QVERIFY(clock.elapsed() < 3000);
    QCOMPARE(dialog.findChild<QLCDNumber*>(QStringLiteral("lcdNumber"))->intValue(), 0);
}

void TestCountdown::operatorChoice_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("result");
    QTest::newRow("start now") << "pushButton_2" << 1;
    QTest::newRow("cancel") << "pushButton" << 0;
    QTest::newRow("escape") << "escape" << 0;
    QTest::newRow("close button") << "close" << 0;
}

void TestCountdown::operatorChoice()
{
    QFETCH(QString, action);
    QFETCH(int, result);

    CountdownDlg dialog;
    dialog.start_countdown(QString(), 9);
    ModalDriver driver;
    driver.on(QStringLiteral("CountdownDialog"), [action](QWidget* w) {
        if (action == QLatin1String("escape"))
            QTest::keyClick(w, Qt::Key_Escape);
        else if (action == QLatin1String("close"))
            w->close();
        else
            w->findChild<QPushButton*>(action)->click();
    });
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(dialog.exec(), result);
    QVERIFY(driver.done());
    QVERIFY2(driver.errors().isEmpty(), qPrintable(driver.errors().join(QLatin1Char('\n'))));
    QVERIFY2(clock.elapsed() < 900, "the choice must end the dialog before the next tick");
    QCOMPARE(dialog.findChild<QLCDNumber*>(QStringLiteral("lcdNumber"))->intValue(), 9);
}

ROOMCAL_TEST_MAIN(TestCountdown)
#include "tst_countdown.moc"
