#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "devicerow.h"
#include "devicetable.h"
#include "rownumberheader.h"
#include "detail/subplcinfo.h"
#include "dialogs/about.h"
#include "dialogs/info.h"
#include "protocol/mysocket.h"

#include <QDebug>
#include <QMessageBox>

#include <limits>

namespace {
// How long the table may go unpainted while rows arrive. Short enough to look immediate.
constexpr int RepaintHoldMs = 30;
} // namespace

static_assert(MainWindow::MaxDeviceRows == std::numeric_limits<qint8>::max(),
              "the row counter must be able to index every row");

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(std::make_unique<Ui::MainWindow>())
{
    ui->setupUi(this);

    QTableWidget *table = ui->tableWidget;
    table->setVerticalHeader(new RowNumberHeader(table));
    const int columnWidths[DeviceColumn::Count] = {100, 100, 110, 130, 100, 100, 100, 100};
    for (int column = 0; column < DeviceColumn::Count; ++column)
        table->setColumnWidth(column, columnWidths[column]);
    // The tool bar holds nothing, and with the usual Linux styles its empty strip pushes the bottom
    // of the two buttons under the status bar; it stays in place, out of sight.
    ui->mainToolBar->hide();

    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);

    connect(ui->actionChinese, &QAction::triggered, this, &MainWindow::chineseActionSlot);
    connect(ui->actionEnglish, &QAction::triggered, this, &MainWindow::englishActionSlot);
    connect(ui->actionRefresh, &QAction::triggered, this, &MainWindow::refreshUserSlot);
    connect(ui->actionHelp, &QAction::triggered, this, &MainWindow::helpActionSlot);
    connect(ui->actionInfo, &QAction::triggered, this, &MainWindow::infoActionSlot);
    connect(ui->actionAbout, &QAction::triggered, this, &MainWindow::aboutActionSlot);
    connect(ui->actionDebug, &QAction::triggered, this, &MainWindow::debugActionSlot);
    connect(ui->refreshUserBtn, &QPushButton::clicked, this, &MainWindow::refreshUserSlot);
    connect(ui->detailedInfoBtn, &QPushButton::clicked, this, &MainWindow::cellDoubleClickedSlot);
    connect(table, &QTableWidget::cellDoubleClicked, this, &MainWindow::cellDoubleClickedSlot);

    repaintHold.setSingleShot(true);
    repaintHold.setInterval(RepaintHoldMs);
    connect(&repaintHold, &QTimer::timeout, this, [table] { table->setUpdatesEnabled(true); });

    g_mySocket = new MySocket;
    if (!g_mySocket->initSocket()) {
        // The window stays usable (the sample row, the dialogs), but no device can answer.
        ui->statusBar->showMessage(
            tr("无法使用UDP端口102，找不到设备：请以root身份运行，或执行 make setcap 授予端口权限"));
    }
    connect(g_mySocket, &MySocket::updPackReceived, this, &MainWindow::tranlateUdpRawFrameSlot);
}

MainWindow::~MainWindow()
{
    // The socket outlives this window; the table does not.
    if (g_deviceTable == ui->tableWidget)
        g_deviceTable = nullptr;
}

// The program has one language, and no help of its own: these actions show the About dialog.
void MainWindow::chineseActionSlot()
{
    showAbout();
}

void MainWindow::englishActionSlot()
{
    showAbout();
}

void MainWindow::infoActionSlot()
{
    // The dialog releases itself when it closes.
    (new Info(this))->exec();
}

void MainWindow::helpActionSlot()
{
    showAbout();
}

void MainWindow::aboutActionSlot()
{
    showAbout();
}

void MainWindow::debugActionSlot()
{
    addUserRow(sampleDeviceRow());
}

void MainWindow::refreshUserSlot()
{
    g_mySocket->broadcastSearch();
    holdRepaintsDuringBurst();
    // Replies are read once control is back in the event loop, so they land in the emptied table.
    while (userCount != 0) {
        --userCount;
        ui->tableWidget->removeRow(userCount);
    }
    if (ui->statusBar->currentMessage() == listFullText())
        ui->statusBar->clearMessage();
}

void MainWindow::cellDoubleClickedSlot()
{
    if (userCount == 0) {
        warn(tr("操作失败："), tr("子设备列表为空！"));
        return;
    }
    if (subWindowOpen) {
        warn(tr("打开设备详情失败："), tr("正在设置一个子设备，请关闭后再尝试!"));
        return;
    }
    g_deviceTable = ui->tableWidget;
    // The user cannot leave a filled table without a current row, but a missing cell is never read.
    const QTableWidgetItem *ipItem = currentRowItem(DeviceColumn::IpAddress);
    const std::optional<QString> mac = currentRowMac();
    if (!ipItem || !mac) {
        warn(tr("操作失败："), tr("子设备列表为空！"));
        return;
    }
    g_mySocket->setTargetAddress(ipItem->text());
    g_mySocket->setTargetMac(*mac);
    g_mySocket->udpSendCmdLedsFlash(*mac);
    g_mySocket->startLedFlashTimer();

    // A new window for every opening; it releases itself when it closes.
    auto *detail = new SubPlcInfo(this);
    connect(detail, &SubPlcInfo::subPlcWindowClosed, this, &MainWindow::closeSubWindowSlot);
    detail->show();
    subWindowOpen = true;
}

void MainWindow::closeSubWindowSlot()
{
    // The device the window was opened for, even if another row is selected now or a refresh
    // emptied the list: otherwise no device would be told to stop flashing.
    g_mySocket->udpSendCmdLedsOff(g_mySocket->targetMacText());
    g_mySocket->stopLedFlashTimer();
    subWindowOpen = false;
}

void MainWindow::tranlateUdpRawFrameSlot()
{
    const Frame::DeviceReply record{g_mySocket->devType,      g_mySocket->devMac,
                                    g_mySocket->devName,      g_mySocket->devSwVersion,
                                    g_mySocket->devNetAddr,   g_mySocket->devPoints};
    const DeviceRowTexts row = deviceRowTexts(record);
    // A device is listed once per search; the first reply's values stay.
    if (isListed(row.macText))
        return;
    addUserRow(row);
}

void MainWindow::addUserRow(const DeviceRowTexts &row)
{
    if (userCount == MaxDeviceRows) {
        ui->statusBar->showMessage(listFullText());
        return;
    }
    holdRepaintsDuringBurst();
    QTableWidget *table = ui->tableWidget;
    table->insertRow(userCount);
    for (int column = 0; column < DeviceColumn::Count; ++column)
        table->setItem(userCount, column, new QTableWidgetItem(row.cellText(column)));
    table->item(userCount, DeviceColumn::Name)->setData(ReportedNameRole, row.reportedName);
    table->selectRow(userCount);
    ++userCount;
}

// A search is answered by up to 127 devices at once, mixed with other traffic, and every datagram
// the receive loop rejects gives the event loop a turn. Painting the table at each turn (a few ms
// each) would keep the socket unread long enough to lose replies: the table paints once no row
// has been added for RepaintHoldMs.
void MainWindow::holdRepaintsDuringBurst()
{
    ui->tableWidget->setUpdatesEnabled(false);
    repaintHold.start();
}

bool MainWindow::isListed(const QString &macText) const
{
    for (int row = 0; row < userCount; ++row) {
        const QTableWidgetItem *mac = ui->tableWidget->item(row, DeviceColumn::Mac);
        if (mac && mac->text() == macText)
            return true;
    }
    return false;
}

QString MainWindow::listFullText() const
{
    return tr("设备列表已满（%1 台），请刷新后重试").arg(MaxDeviceRows);
}

void MainWindow::showAbout()
{
    // The dialog releases itself when it closes.
    (new About(this))->exec();
}

void MainWindow::warn(const QString &title, const QString &text)
{
    QMessageBox::warning(this, title, text, QMessageBox::Ok, QMessageBox::NoButton);
}
