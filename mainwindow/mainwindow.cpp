#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "devicerow.h"
#include "rownumberheader.h"
#include "statusarea.h"
#include "statustexts.h"
#include "writefollowup.h"
#include "commissioning/adapters.h"
#include "commissioning/founddevice.h"
#include "commissioning/route.h"
#include "commissioning/searchsession.h"
#include "detail/devicetable.h"
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
#include <QShortcut>

#include <limits>

namespace {
// How long the table may go unpainted while rows arrive. Short enough to look immediate.
constexpr int RepaintHoldMs = 30;

// A window refused the port says so in the logs too.
void logPortProblem()
{
    qWarning().noquote() << StatusTexts::portProblemLogLine(g_mySocket->portOpening(),
                                                            QCoreApplication::applicationFilePath());
}

// The adapters that can reach devices, as the system has them now.
QList<Adapters::Adapter> eligibleAdapters()
{
    return Adapters::choose(Adapters::systemCandidates()).adapters;
}

// How LED and write frames reach the device of a row: 0 for unicast to its address, otherwise the
// interface index of the adapter to broadcast on (a device outside the subnet of the adapter it
// answered on, or one whose address another row on that adapter shares: the frames name its MAC).
// Nothing when neither reaches it: a row that came in by no adapter known now (the sample row), at
// an address that would reach this computer itself, every device of a subnet, or none.
std::optional<int> broadcastInterfaceFor(const QString &ipText, const QString &maskText, int answeredOn,
                                         bool addressShared)
{
    const QHostAddress ip = decimalIPv4Address(ipText);
    if (ip.isNull())
        return std::nullopt;
    if (const std::optional<DeviceRoute::Route> route =
            DeviceRoute::toDevice(ip.toIPv4Address(), {answeredOn}, eligibleAdapters(), addressShared))
        return route->broadcast ? route->interfaceIndex : 0;
    if (AddressCheck::isReachableDeviceAddress(ip.toIPv4Address(), decimalIPv4Address(maskText).toIPv4Address()))
        return 0;
    return std::nullopt;
}
// The IPv4 settings a row shows, when all three of its address texts can be read.
std::optional<AddressCheck::Settings> rowSettings(const QTableWidget &table, int row)
{
    quint32 values[3];
    const int columns[3] = {DeviceColumn::IpAddress, DeviceColumn::SubnetMask, DeviceColumn::Gateway};
    for (int i = 0; i < 3; ++i) {
        const QTableWidgetItem *item = row < 0 ? nullptr : table.item(row, columns[i]);
        const QHostAddress address = decimalIPv4Address(item ? item->text() : QString());
        if (address.isNull())
            return std::nullopt;
        values[i] = address.toIPv4Address();
    }
    return AddressCheck::Settings{values[0], values[1], values[2]};
}
} // namespace

static_assert(MainWindow::MaxDeviceRows == std::numeric_limits<qint8>::max(),
              "the row counter must be able to index every row");

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::MainWindow>())
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
    // Tab leaves the list, as it leaves every other widget; Enter on a row opens its details, as a
    // double click does.
    table->setTabKeyNavigation(false);
    for (const QKeySequence &key : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
        auto *open = new QShortcut(key, table);
        open->setContext(Qt::WidgetShortcut);
        connect(open, &QShortcut::activated, this, &MainWindow::cellDoubleClickedSlot);
    }
    connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &MainWindow::makeSelectedRowCurrent);
    // The menus hold the only way to some functions (host information, About); their titles have
    // no mnemonics, and the usual Linux style does not open a menu bar with Alt. F10 does, as in
    // GNOME programs; the arrow keys go on from there.
    auto *menuKey = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(menuKey, &QShortcut::activated, this,
            [this] { ui->menuBar->setActiveAction(ui->menuSetting->menuAction()); });

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
    followUp = new WriteFollowUp(*g_mySocket, this);
    followUp->setObjectName(QStringLiteral("writeFollowUp"));
    connect(followUp, &WriteFollowUp::message, statusArea(),
            qOverload<const QString &, const QString &>(&StatusArea::showStatus));
    // The follow-up searches for one device: its answer shows in its row, in place. The list stays
    // otherwise as the user's refresh made it: a new row would take the selection.
    connect(followUp, &WriteFollowUp::deviceAnswered, this,
            [this](const Frame::DeviceReply &reply, int interfaceIndex) {
                DeviceRowTexts row = deviceRowTexts(reply);
                row.interfaceIndex = interfaceIndex;
                const int listed = rowOfMac(row.macText);
                listed >= 0 ? fillRow(listed, row) : addUserRow(row);
            });

    if (!g_mySocket->initSocket()) {
        // The window stays usable (the sample row, the dialogs), but no device can answer.
        statusArea()->showStatus(portProblem());
        if (g_mySocket->portOpening().outcome != DevicePort::Opening::HeldByAnotherProgram)
            logPortProblem();
    }
    // The holder's name comes later, so that the window never waits for another program.
    connect(g_mySocket, &MySocket::portHolderAnswered, this, [this, unnamed = statusArea()->currentMessage()] {
        if (statusArea()->currentMessage() == unnamed)
            statusArea()->showStatus(portProblem());
        logPortProblem();
    });
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
    endFollowUpQuietly();
    // Out of every adapter that can reach devices, or, with none, the way the routing table says.
    const SearchRound search = sendSearchRound(*g_mySocket, eligibleAdapters());
    holdRepaintsDuringBurst();
    // Replies are read once control is back in the event loop, so they land in the emptied table.
    while (userCount != 0) {
        --userCount;
        ui->tableWidget->removeRow(userCount);
    }
    // Without the search an empty list, or one without the devices of an adapter, would look as
    // if no device had answered there.
    if (search.sent == 0) {
        statusArea()->showStatus(g_mySocket->isBound() ? StatusTexts::searchNotSent() : portProblem());
    } else if (!search.failures.isEmpty()) {
        QStringList failed;
        for (const SearchRound::Failure &failure : search.failures)
            failed.append(failure.adapterName);
        statusArea()->showStatus(StatusTexts::searchPartlySent(failed));
    } else {
        ui->statusBar->clearMessage();
    }
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
    const auto ipOf = [](const QTableWidgetItem *item) { return decimalIPv4Address(item->text()).toIPv4Address(); };
    const auto adapterOf = [](const QTableWidgetItem *item) { return QList<int>{item->data(AdapterRole).toInt()}; };
    bool addressShared = false; // with another row, by the search's own rule
    for (int row = 0; row < userCount && !addressShared; ++row) {
        const QTableWidgetItem *other = ui->tableWidget->item(row, DeviceColumn::IpAddress);
        addressShared = other && other != ipItem
                        && shareAddress(ipOf(ipItem), adapterOf(ipItem), ipOf(other), adapterOf(other));
    }
    const std::optional<int> broadcastInterface =
        broadcastInterfaceFor(ipItem->text(), maskItem ? maskItem->text() : QString(),
                              ipItem->data(AdapterRole).toInt(), addressShared);
    if (!broadcastInterface) {
        warn(tr("打开设备详情失败："),
             tr("设备地址%1不是单个设备的地址（未设置、广播、组播或回环地址），无法使其闪烁或修改其设置！")
                 .arg(ipItem->text()));
        return;
    }
    endFollowUpQuietly();
    g_mySocket->setTargetAddress(ipItem->text());
    g_mySocket->setTargetBroadcastInterface(*broadcastInterface);
    g_mySocket->setTargetMac(*mac);
    g_mySocket->udpSendCmdLedsFlash(*mac);
    g_mySocket->startLedFlashTimer();

    // A new window for every opening; it releases itself when it closes.
    auto *detail = new SubPlcInfo(this);
    connect(detail, &SubPlcInfo::subPlcWindowClosed, this, &MainWindow::closeSubWindowSlot);
    // The way its answers must come to count: the adapter the row came in on, and by unicast from
    // the address the device reports.
    connect(detail, &SubPlcInfo::settingsSent, this,
            [this, adapter = ipItem->data(AdapterRole).toInt(), unicast = *broadcastInterface == 0](
                const QString &macText, const AddressCheck::Settings &settings, const QStringList &warnings) {
                sentWrite = SentWrite{macText, {settings, adapter, unicast}, warnings};
            });
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
    followWrite();
}

// The device restarts with the settings only if it took them: the user is told whether it did.
void MainWindow::followWrite()
{
    if (!sentWrite)
        return;
    const int row = rowOfMac(sentWrite->macText);
    const QTableWidgetItem *name = row < 0 ? nullptr : ui->tableWidget->item(row, DeviceColumn::Name);
    followUp->start(macTextToBytes(sentWrite->macText), name ? name->text() : QString(), sentWrite->write,
                    rowSettings(*ui->tableWidget, row), eligibleAdapters(), sentWrite->warnings);
    sentWrite.reset();
}

// The user's own refresh or detail window comes first; the follow-up's message would no longer be true.
void MainWindow::endFollowUpQuietly()
{
    if (!followUp->isRunning())
        return;
    followUp->cancel();
    ui->statusBar->clearMessage();
}

void MainWindow::tranlateUdpRawFrameSlot()
{
    // During the follow-up of a write, only the followed device's answers show (see the constructor).
    if (followUp->isRunning())
        return;
    const Frame::DeviceReply record{g_mySocket->devType,      g_mySocket->devMac,
                                    g_mySocket->devName,      g_mySocket->devSwVersion,
                                    g_mySocket->devNetAddr,   g_mySocket->devPoints};
    DeviceRowTexts row = deviceRowTexts(record);
    row.interfaceIndex = g_mySocket->devInterfaceIndex;
    // A device is listed once per search; the first reply's values stay.
    if (rowOfMac(row.macText) < 0)
        addUserRow(row);
}

void MainWindow::addUserRow(const DeviceRowTexts &row)
{
    if (userCount == MaxDeviceRows) {
        // Once: every further device of the search would find the list full again.
        const StatusMessage full = StatusTexts::listFull(MaxDeviceRows);
        if (statusArea()->currentMessage() != full.text)
            statusArea()->showStatus(full);
        return;
    }
    holdRepaintsDuringBurst();
    QTableWidget *table = ui->tableWidget;
    table->insertRow(userCount);
    fillRow(userCount, row);
    table->selectRow(userCount);
    ++userCount;
}

void MainWindow::fillRow(int row, const DeviceRowTexts &texts)
{
    for (int column = 0; column < DeviceColumn::Count; ++column) {
        auto *item = new QTableWidgetItem(texts.cellText(column));
        if (column == DeviceColumn::Name)
            item->setData(ReportedNameRole, texts.reportedName);
        else if (column == DeviceColumn::IpAddress)
            item->setData(AdapterRole, texts.interfaceIndex);
        ui->tableWidget->setItem(row, column, item);
    }
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

int MainWindow::rowOfMac(const QString &macText) const
{
    for (int row = 0; row < userCount; ++row) {
        const QTableWidgetItem *mac = ui->tableWidget->item(row, DeviceColumn::Mac);
        if (mac && mac->text() == macText)
            return row;
    }
    return -1;
}

StatusArea *MainWindow::statusArea() const
{
    return ui->statusBar;
}

StatusMessage MainWindow::portProblem() const
{
    return StatusTexts::portProblem(g_mySocket->portOpening(), QCoreApplication::applicationFilePath());
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
