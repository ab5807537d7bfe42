#include "tst_dialog_fixture.h"

#include <QApplication>
#include <QLineEdit>

using namespace DialogFixture;

class TestDialogInputs : public QObject
{
    Q_OBJECT

private slots:
    void kitChoice_data();
    void kitChoice();
    void coordinateTypeView_data();
    void coordinateTypeView();
};

void TestDialogInputs::kitChoice_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("byUser");
    QTest::addColumn<QString>("shown"); // A B C height wand, then "focus" when the wand has it

    QTest::newRow("S active by user") << "VANTA" << 2 << true << "192 57 112.5 15.5 204.63";
    QTest::newRow("S active by program") << "VANTA" << 2 << false << "1 1 1 1 999";
    QTest::newRow("L by user") << "VANTA" << 5 << true << "710 200 550 43 710";
    QTest::newRow("expert by user") << "VANTA" << 6 << true << "240 90 150 40 999 focus";
    // A longer model name gets the full list but the short list's wand mapping.
    QTest::newRow("longer name, P") << "TESSERA3" << 0 << true << "278 83 163 55 410";
    QTest::newRow("longer name, S") << "TESSERA3" << 1 << true << "192 57 112.5 15.6 999 focus";
    QTest::newRow("short list, M") << "TESSERA" << 0 << true << "384 114 225 40 410";
}

void TestDialogInputs::kitChoice()
{
    QFETCH(QString, model);
    QFETCH(int, row);
    QFETCH(bool, byUser);
    QFETCH(QString, shown);

    FakeIOManager io;
    BackendVersions v = version(1, 23, model);
    RoomCalibrationDialog dialog(&io, nullptr, &v);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    dialog.pb_exit->setFocus();
    dialog.cb_calibrationSet->setCurrentIndex(row == 0 ? 1 : 0);
    for (QDoubleSpinBox* box :
         {dialog.dsb_a, dialog.dsb_b, dialog.dsb_c, dialog.doubleSpinBox_heightAboveFloor})
        box->setValue(1.0);
    dialog.dsb_wand->setValue(999.0);

    if (byUser)
        dialog.cb_calibrationSet->setFocus();
    dialog.cb_calibrationSet->setCurrentIndex(row);

    QStringList values;
    for (QDoubleSpinBox* box : {dialog.dsb_a, dialog.dsb_b, dialog.dsb_c,
                                dialog.doubleSpinBox_heightAboveFloor, dialog.dsb_wand})
        values << QString::number(box->value());
    if (dialog.dsb_wand->hasFocus()) {
        auto* edit = dialog.dsb_wand->findChild<QLineEdit*>();
        values << (edit->selectedText() == edit->text() ? "focus" : "focus without selection");
    }
    QCOMPARE(values.join(' '), shown);
    // Only the expert row lets the user type the angle tool.
    if (byUser)
        QCOMPARE(dialog.dsb_a->isEnabled(), row == dialog.cb_calibrationSet->count() - 1);
}

void TestDialogInputs::coordinateTypeView_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QSize>("picture");

    QTest::newRow("standing") << "VANTA"
                              << "powerwall_standing" << QSize(166, 124);
    QTest::newRow("mid camera") << "VANTA"
                                << "mid_camera" << QSize(164, 124);
    QTest::newRow("mid camera, third model") << "TESSERA3"
                                             << "mid_camera" << QSize(164, 102);
    QTest::newRow("unknown type") << "VANTA"
                                  << "corner" << QSize(0, 0);
}

void TestDialogInputs::coordinateTypeView()
{
    QFETCH(QString, model);
    QFETCH(QString, type);
    QFETCH(QSize, picture);

    FakeIOManager io;
    BackendVersions v = version(1, 23, model);
    RoomCalibrationDialog dialog(&io, nullptr, &v);
    dialog.cb_coordinateType->addItem("first", "powerwall");
    dialog.cb_coordinateType->addItem("second", type);
    dialog.cb_coordinateType->setCurrentIndex(1);

    const bool angleTool = type != "mid_camera";
    const QList<QWidget*> angleWidgets = {dialog.label_2, dialog.cb_calibrationSet,
                                          dialog.label_3, dialog.dsb_a,
                                          dialog.label_4, dialog.dsb_b,
                                          dialog.label_5, dialog.dsb_c,
                                          dialog.label_6, dialog.doubleSpinBox_heightAboveFloor};
    for (QWidget* w : angleWidgets)
        QCOMPARE(w->isHidden(), !angleTool);
    QCOMPARE(dialog.checkBox_recal->isEnabled(), angleTool);
    QCOMPARE(dialog.l_CoordinateSystem->pixmap(Qt::ReturnByValue).size(), picture);

    dialog.cb_coordinateType->setCurrentIndex(0);
    for (QWidget* w : angleWidgets)
        QVERIFY(!w->isHidden());
    QVERIFY(dialog.checkBox_recal->isEnabled());
}

ROOMCAL_TEST_MAIN(TestDialogInputs)
#include "tst_dialoginputs.moc"
