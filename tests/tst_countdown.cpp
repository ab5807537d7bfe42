#include "kit/ModalDriver.h"
#include "kit/TestMain.h"
#include "progress/CountdownDlg.h"

#include <QElapsedTimer>
#include <QLCDNumber>
#include <QPushButton>

class TestCountdown : public QObject
{
    Q_OBJECT

private slots:
    void countsDownToAcceptance();
    void operatorChoice_data();
    void operatorChoice();
};

void TestCountdown::countsDownToAcceptance()
{
    CountdownDlg dialog;
    auto* lcd = dialog.findChild<QLCDNumber*>("lcdNumber");
    QSignalSpy finished(&dialog, &QDialog::finished);
    dialog.start_countdown(QString(), 3);
    QCOMPARE(lcd->intValue(), 3);
    dialog.updateCountdown();
    dialog.updateCountdown();
    QCOMPARE(lcd->intValue(), 1);
    QCOMPARE(finished.count(), 0);

    // The last second runs on the real timer and ends the modal loop accepted.
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(dialog.exec(), 1);
    QVERIFY(clock.elapsed() >= 900 && clock.elapsed() < 3000);
    QCOMPARE(lcd->intValue(), 0);
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
    driver.on("CountdownDialog", [action](QWidget* w) {
        if (action == QLatin1String("escape"))
            QTest::keyClick(w, Qt::Key_Escape);
        else if (action == QLatin1String("close"))
            w->close();
        else
            w->findChild<QPushButton*>(action)->click();
    });
    QCOMPARE(dialog.exec(), result);
    QVERIFY2(driver.done() && driver.errors().isEmpty(), qPrintable(driver.errors().join('\n')));
    QCOMPARE(dialog.findChild<QLCDNumber*>("lcdNumber")->intValue(), 9);
}

ROOMCAL_TEST_MAIN(TestCountdown)
#include "tst_countdown.moc"
