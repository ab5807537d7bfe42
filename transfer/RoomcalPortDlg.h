#pragma once

#include <QDialog>
#include <QStringList>
#include <memory>

class IOManager;
class QResizeEvent;
namespace Ui {
class RoomcalPortDlgClass;
}

// Copies the room calibration of the controller's active configuration into other stored
// configurations. The controller holds one active configuration at a time, so the copy is a
// snapshot of the per-camera calibration taken when the dialog opens, replayed as commands
// after switching to each target in turn.
class RoomcalPortDlg : public QDialog
{
    Q_OBJECT

public:
    RoomcalPortDlg(QWidget* parent, IOManager* io);
    ~RoomcalPortDlg() override;
    // Fills the dialog from the controller and runs it modally; answers the exec() result.
    int fill_and_exec();

private slots:
    void on_tableWidget_configs_cellClicked(int row, int column);
    void on_pushButton_apply_clicked();
    void on_pushButton_exit_clicked();
    void resizeEvent(QResizeEvent* event) override;

private:
    enum Column { ColumnId, ColumnDescription, ColumnOwner, ColumnLocked, ColumnSelect };

    void fill_config_table();
    // Takes the snapshot; true when every camera of the active configuration is calibrated.
    bool read_room_calibration();
    void set_controls_enabled(bool on);
    void update_apply_button();
    void resize_columns();
    bool transfer_to_config(const QString& id);

    bool is_selected(int row) const;
    QString description_of(const QString& id) const;

    // Behind a pointer so that users of this header need not see the generated form.
    std::unique_ptr<Ui::RoomcalPortDlgClass> m_ui;
    IOManager* m_io;
    // One entry per camera, from camera 1: the controller's own answer, replayed verbatim.
    QStringList m_snapshot;
};
