// The German catalogue and the layouts: every text translated, nothing obsolete, and every dialog
// on small and scaled screens in both languages.
#include "dialog/RoomCalibrationDialog.h"
#include "history/HistoryExport.h"
#include "history/HistoryWindow.h"
#include "history/RecordParser.h"
#include "kit/FakeIOManager.h"
#include "kit/ModalDriver.h"
#include "kit/TestMain.h"
#include "plugin/BackendVersions.h"
#include "progress/CalibrationProgressDlg.h"
#include "progress/CountdownDlg.h"
#include "result/RoomCalibrationResultDlg.h"
#include "transfer/RoomcalPortDlg.h"

#include <QAbstractButton>
#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTranslator>

namespace {
const QString SourceDir = qEnvironmentVariable("ROOMCAL_SOURCE_DIR");

// Installs the German catalogue for as long as the translator lives.
bool installGerman(QTranslator& catalogue)
{
    return catalogue.load(":/i18n/roomcal_de.qm") &&
           QCoreApplication::installTranslator(&catalogue);
}

// A controller with 100 cameras, a re-calibration with a duration other than the default, an
// active room adjustment, and a transfer whose snapshot fails.
void answerAll(FakeIOManager& io)
{
    const QString answers =
        "tracking available=yes|roomcal duration=45|roomcal has_type wand_no_angle=yes|"
        "roomcal type=wand_no_angle|roomcal wand_length=410|roomcal angle=278 163 83|"
        "cal available room=yes|roomcal last_date=2023-05-04 10:20:30|status active=cal|"
        "camera number_of_cameras=100|cal number_of_steps room=1|cal step_pause room s01=no|"
        "morvek2 cal room start=morvek2 ok|status progress=0.5|status step_progress=1 0.5|"
        "cal step_duration room s01=30|roomcal wand_residual=0.1234 0.5|"
        "tracking extra_scaling=2|config active_config=lab|config desc=Main lab|"
        "config number_of_configs=2|config config t01=lab|config config t02=demo|"
        "config desc_of_config demo=Demo|config config_has_password demo=no";
    for (const QString& pair : answers.split('|'))
        io.answer(pair.section('=', 0, 0), pair.section('=', 1));
    for (int i = 1; i <= 100; ++i) {
        const QString c = QString::asprintf("c%02d", i);
        io.answer("morvek2 get camera camera " + c, QString("a b c d e 0x0c01 %1").arg(i + 40000));
        io.answer("roomcal cam_residual " + c, "0.08 0.987");
    }
    io.fail("morvek2 get tracking room c01");
}

// What an operator would miss: a button or label outside the window, or a text cut off.
QStringList clipped(QWidget* window)
{
    QStringList found;
    // Tiles may lie beyond the visible part of their scroll area.
    const auto* area = window->findChild<QScrollArea*>();
    for (QWidget* w : window->findChildren<QWidget*>()) {
        auto* label = qobject_cast<QLabel*>(w);
        auto* button = qobject_cast<QAbstractButton*>(w);
        if ((!label && !button) || !w->isVisibleTo(window))
            continue;
        const QString text = label ? label->text() : button->text();
        const QString name = w->objectName() + " \"" + text.left(30) + '"';
        const bool scrolled = area && area->viewport()->isAncestorOf(w);
        if (!scrolled && !window->rect().contains(QRect(w->mapTo(window, QPoint()), w->size())))
            found << name + " outside";
        QSize need = w->minimumSizeHint();
        if (label && label->wordWrap())
            need.setHeight(label->heightForWidth(label->width()));
        if (!text.isEmpty() && (w->width() < need.width() || w->height() < need.height()))
            found << name + QString::asprintf(" cut: %dx%d of %dx%d", w->width(), w->height(),
                                              need.width(), need.height());
    }
    return found;
}
} // namespace

class TestI18n : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The large-font run sets QT_FONT_DPI, which a fixed 96 dpi would hide.
        if (qEnvironmentVariableIntValue("QT_FONT_DPI") > 0)
            QCoreApplication::setAttribute(Qt::AA_Use96Dpi, false);
        // A desktop's usual size rather than the off-screen platform's 12 pt.
        QApplication::setFont(QFont("DejaVu Sans", 10));
    }

    // The catalogue is checked against the sources, so a new or changed text cannot ship
    // untranslated and a removed one cannot linger.
    void catalogueMatchesTheSources()
    {
        QTemporaryDir dir;
        const QString copy = dir.filePath("roomcal_de.ts");
        QVERIFY(QFile::copy(SourceDir + "/translations/roomcal_de.ts", copy));
        QStringList arguments{"-locations", "none", "-silent"};
        for (const char* folder :
             {"plugin", "dialog", "progress", "result", "transfer", "forms", "history"})
            arguments << SourceDir + '/' + folder;
        QProcess lupdate;
        lupdate.start(qEnvironmentVariable("ROOMCAL_LUPDATE"), arguments << "-ts" << copy);
        QVERIFY2(lupdate.waitForFinished(60000) && lupdate.exitCode() == 0,
                 lupdate.readAllStandardError().constData());

        QFile file(copy);
        QVERIFY(file.open(QIODevice::ReadOnly));
        // lupdate marks a new or changed text "unfinished" and a removed one "vanished".
        const QStringList messages = QString::fromUtf8(file.readAll()).split("<message>").mid(1);
        QStringList faults;
        for (const QString& message : messages)
            if (message.contains("<translation type=") || message.contains("<translation></"))
                faults << message.section("<source>", 1).section("</source>", 0, 0);
        QVERIFY(messages.size() > 100);
        QVERIFY2(faults.isEmpty(), qPrintable("\n" + faults.join('\n')));
    }

    void layoutsFit_data()
    {
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<bool>("german");
        QTest::addColumn<QSize>("screen"); // in device-independent pixels
        // 1600 x 1000 at a scale factor of 1.5 leaves 1066 x 666 to lay out. Large fonts are
        // checked for clipping on a full HD screen, where such a setting is at home.
        QList<QPair<const char*, QSize>> screens{{"1366x768", {1366, 768}},
                                                 {"1600x1000@1.5", {1066, 666}}};
        if (qEnvironmentVariableIntValue("QT_FONT_DPI") > 0)
            screens = {{"1920x1080", {1920, 1080}}};
        for (const char* dialog :
             {"roomCalibration", "CountdownDialog", "CalibrationProgressDialog",
              "RoomCalibrationResultDialog", "RoomcalPortDlgClass", "HistoryWindow"})
            for (bool german : {false, true})
                for (const auto& screen : screens)
                    QTest::addRow("%s %s %s", dialog, german ? "de" : "en", screen.first)
                        << dialog << german << screen.second;
    }

    void layoutsFit()
    {
        QFETCH(QString, dialog);
        QFETCH(bool, german);
        QFETCH(QSize, screen);
        QTranslator catalogue;
        QVERIFY(!german || installGerman(catalogue));
        FakeIOManager io;
        answerAll(io);
        BackendVersions v{1, 23, 0, "VANTA"};
        QWidget host;
        QStringList faults;
        const auto check = [&](QWidget* w) {
            QTest::qWait(50);
            // The frame a window manager adds takes part of the screen too.
            if (w->width() + 16 > screen.width() || w->height() + 40 > screen.height())
                faults << QString("window %1x%2").arg(w->width()).arg(w->height());
            faults << clipped(w);
        };
        ModalDriver driver;
        driver.on(dialog, [&](QWidget* w) {
            // The catalogue reaches the module, and keeps the type name that is compared.
            if (w->objectName() == "roomCalibration" && german)
                QCOMPARE(w->windowTitle() + ' ' + RoomCalibrationDialog::tr("mid_camera"),
                         QString("Raumkalibrierung mid_camera"));
            if (auto* progress = qobject_cast<CalibrationProgressDlg*>(w)) {
                progress->update_cal_status();
                progress->show_warning();
            }
            check(w);
            static_cast<QDialog*>(w)->done(0);
        });
        if (dialog == "roomCalibration") {
            RoomCalibrationDialog(&io, &host, &v).update_and_exec();
        } else if (dialog == "CountdownDialog") {
            CountdownDlg countdown;
            countdown.start_countdown(QString(), 5);
            countdown.exec();
        } else if (dialog == "CalibrationProgressDialog") {
            CalibrationProgressDlg(&io, nullptr, &v, false).run_calibration("room");
        } else if (dialog == "RoomCalibrationResultDialog") {
            RoomCalibrationResultDlg(&io, &host, &v, false).update_and_exec();
        } else if (dialog == "RoomcalPortDlgClass") {
            RoomcalPortDlg(&host, &io).fill_and_exec();
        } else {
            // Six calibrations of four cameras; the newest flags one for its used share, the
            // longest flag word in German.
            QTemporaryDir dir;
            QFile record(dir.filePath("roomcal_out.txt"));
            QVERIFY(record.open(QIODevice::WriteOnly));
            for (int b = 0; b < 6; ++b) {
                record.write(
                    qPrintable(QString("# Roomcalibration  created Mon Nov 2 08:4%1:00 2026\n"
                                       "# Wand residual: 0.118   wand range 0.853\n")
                                   .arg(b)));
                for (int c = 1; c <= 4; ++c)
                    record.write(qPrintable(
                        QString::asprintf("# Cam residual C%02d (0x0b01 %d): 0.080 %s\n", c,
                                          20416 + c, b == 5 && c == 4 ? "0.4" : "0.9")));
            }
            record.close();
            // What programs read stays English under any catalogue.
            const CalibrationHistory history = RecordParser::parseFile(record.fileName());
            const auto flags = HealthRules::evaluate(history, HealthSettings());
            QVERIFY(HistoryExport::csv(history, flags).contains(",low used share\n"));
            QVERIFY(HistoryExport::json(history, flags).contains("used share 0.400 below 0.5"));
            HistoryWindow window(record.fileName());
            window.resize(screen - QSize(16, 40)); // as a window manager would maximise it
            window.show();
            check(&window);
        }
        QVERIFY(driver.done() || dialog == "HistoryWindow");
        QVERIFY2(faults.isEmpty(), qPrintable("\n" + faults.join('\n')));
    }
};

ROOMCAL_TEST_MAIN(TestI18n)
#include "tst_i18n.moc"
