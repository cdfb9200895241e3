#pragma once

#include <QMainWindow>
#include <QTimer>

#include <memory>

struct DeviceRowTexts;
namespace DevicePort {
struct Opening;
}

namespace Ui {
class MainWindow;
}

// The device list: every device that answers a search is one row. Opens the detail window for
// the selected device, one at a time, and keeps that device's LEDs flashing while it is open.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The table holds at most this many rows; further devices are refused until a refresh.
    static constexpr int MaxDeviceRows = 127;

private slots:
    void chineseActionSlot();
    void englishActionSlot();
    void infoActionSlot();
    void helpActionSlot();
    void aboutActionSlot();
    void debugActionSlot();
    void refreshUserSlot();
    void cellDoubleClickedSlot();
    void closeSubWindowSlot();
    void tranlateUdpRawFrameSlot();

private:
    // Appends the row and makes it the selected and current one; a full table refuses it and
    // says so in the status bar.
    void addUserRow(const DeviceRowTexts &row);
    bool isListed(const QString &macText) const;
    void makeSelectedRowCurrent();
    QString portProblemText(const DevicePort::Opening &opening) const;
    QString searchNotSentText() const;
    void holdRepaintsDuringBurst();
    QString listFullText() const;
    void showAbout();
    void warn(const QString &title, const QString &text);

    std::unique_ptr<Ui::MainWindow> ui;
    qint8 userCount = 0;        // rows in the table, and the index of the next one
    bool subWindowOpen = false; // a detail window opened here is open; the device flashes
    QTimer repaintHold;         // while it runs, the table collects rows without painting
};
