#pragma once

#include "commissioning/writeoutcome.h"

#include <QMainWindow>
#include <QStringList>
#include <QTimer>

#include <memory>
#include <optional>

struct DeviceRowTexts;
struct StatusMessage;
class StatusArea;
class WriteFollowUp;

namespace Ui {
class MainWindow;
}

// The device list: every device that answers a search is one row. Opens the detail window for
// the selected device, one at a time, and keeps that device's LEDs flashing while it is open.
// After a write from the detail window, it looks for the device until it says whether the device
// took the settings.
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
    void endFollowUpQuietly();
    void followWrite();

    // Appends the row and makes it the selected and current one; a full table refuses it and
    // says so in the status bar.
    void addUserRow(const DeviceRowTexts &row);
    void fillRow(int row, const DeviceRowTexts &texts);
    // The index of the row listing this MAC text, or -1.
    int rowOfMac(const QString &macText) const;
    void makeSelectedRowCurrent();
    StatusArea *statusArea() const;
    StatusMessage portProblem() const;
    void holdRepaintsDuringBurst();
    void showAbout();
    void warn(const QString &title, const QString &text);

    std::unique_ptr<Ui::MainWindow> ui;
    qint8 userCount = 0;        // rows in the table, and the index of the next one
    bool subWindowOpen = false; // a detail window opened here is open; the device flashes
    QTimer repaintHold;         // while it runs, the table collects rows without painting
    WriteFollowUp *followUp = nullptr;
    // The write the open detail window sent, followed up once the window has closed.
    struct SentWrite
    {
        QString macText;
        WriteOutcome::Write write;
        QStringList warnings; // what the address checks found worth a second look
    };
    std::optional<SentWrite> sentWrite;
};
