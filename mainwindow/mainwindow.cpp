#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "devicerow.h"
#include "devicetable.h"
#include "rownumberheader.h"
#include "detail/subplcinfo.h"
#include "dialogs/about.h"
#include "dialogs/info.h"
#include "protocol/addresscheck.h"
#include "protocol/conversions.h"
#include "protocol/mysocket.h"

#include <QCoreApplication>
#include <QDebug>
#include <QHostAddress>
#include <QMessageBox>

#include <limits>

namespace {
// How long the table may go unpainted while rows arrive. Short enough to look immediate.
constexpr int RepaintHoldMs = 30;

// Why port 102 could not be opened, in English for the logs: a refused program says so there too.
QString portProblemLogLine(const DevicePort::Opening &opening)
{
    QString problem;
    switch (opening.outcome) {
    case DevicePort::Opening::Bound:
        return {};
    case DevicePort::Opening::HeldByAnotherProgram:
        problem = opening.holder.isEmpty()
                      ? QStringLiteral("is held by another kvrctl700 program")
                      : QStringLiteral("is held by another kvrctl700 program, %1").arg(opening.holder);
        break;
    case DevicePort::Opening::InUse:
        problem = QStringLiteral("is in use by another program");
        break;
    case DevicePort::Opening::NotPermitted:
        problem = QStringLiteral("may not be bound (run as root, or grant the right once: "
                                 "sudo setcap cap_net_bind_service=+ep %1)")
                      .arg(QCoreApplication::applicationFilePath());
        break;
    case DevicePort::Opening::Failed:
        problem = QStringLiteral("cannot be bound (%1)").arg(opening.detail);
        break;
    }
    return QStringLiteral("UDP port 102 %1: this window finds no devices").arg(problem);
}

// Frames for such a device would reach this computer itself, every device of a subnet, or none.
bool isReachableRow(const QString &ipText, const QString &maskText)
{
    const QHostAddress ip = decimalIPv4Address(ipText);
    const QHostAddress mask = decimalIPv4Address(maskText);
    return !ip.isNull() && AddressCheck::isReachableDeviceAddress(ip.toIPv4Address(), mask.toIPv4Address());
}
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
    table->setAccessibleName(tr("设备列表"));
    connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &MainWindow::makeSelectedRowCurrent);

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
        ui->statusBar->showMessage(portProblemText(g_mySocket->portOpening()));
        qWarning().noquote() << portProblemLogLine(g_mySocket->portOpening());
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
    const bool searchSent = g_mySocket->broadcastSearch() >= 0;
    holdRepaintsDuringBurst();
    // Replies are read once control is back in the event loop, so they land in the emptied table.
    while (userCount != 0) {
        --userCount;
        ui->tableWidget->removeRow(userCount);
    }
    // Without the search an empty list would look as if no device had answered.
    const QString message = ui->statusBar->currentMessage();
    if (!searchSent)
        ui->statusBar->showMessage(searchNotSentText());
    else if (message == listFullText() || message == searchNotSentText())
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
    const QTableWidgetItem *maskItem = currentRowItem(DeviceColumn::SubnetMask);
    if (!isReachableRow(ipItem->text(), maskItem ? maskItem->text() : QString())) {
        warn(tr("打开设备详情失败："),
             tr("设备地址%1不是单个设备的地址（未设置、广播、组播或回环地址），无法使其闪烁或修改其设置！")
                 .arg(ipItem->text()));
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

// Screen readers and UI-automation tools select a row through the selection model alone, which
// leaves the current row where it was; details, flashing and the write act on the current row.
void MainWindow::makeSelectedRowCurrent()
{
    QItemSelectionModel *selection = ui->tableWidget->selectionModel();
    const QModelIndexList selected = selection->selectedRows();
    if (selected.size() == 1 && selected.first().row() != selection->currentIndex().row())
        selection->setCurrentIndex(selected.first(), QItemSelectionModel::NoUpdate);
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

QString MainWindow::portProblemText(const DevicePort::Opening &opening) const
{
    switch (opening.outcome) {
    case DevicePort::Opening::Bound:
        break;
    case DevicePort::Opening::HeldByAnotherProgram:
        if (opening.holder.isEmpty())
            return tr("另一个kvrctl700程序正在使用UDP端口102，本窗口找不到设备：请关闭那个程序后重新启动本程序");
        return tr("另一个kvrctl700程序（%1）正在使用UDP端口102，本窗口找不到设备：请关闭那个程序后重新启动本程序")
            .arg(opening.holder);
    case DevicePort::Opening::InUse:
        return tr("UDP端口102已被其他程序占用，找不到设备：请关闭占用该端口的程序后重新启动本程序");
    case DevicePort::Opening::NotPermitted:
        return tr("无法使用UDP端口102，找不到设备：请以root身份运行，或执行 sudo setcap cap_net_bind_service=+ep %1 授予端口权限")
            .arg(QCoreApplication::applicationFilePath());
    case DevicePort::Opening::Failed:
        return tr("无法使用UDP端口102（%1），找不到设备").arg(opening.detail);
    }
    return {};
}

QString MainWindow::searchNotSentText() const
{
    if (!g_mySocket->isBound())
        return portProblemText(g_mySocket->portOpening());
    return tr("搜索命令未能发出（网线已拔出或网卡不可用？），列表为空并不表示没有设备：请检查网络后重新刷新");
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
