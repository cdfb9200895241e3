#include "subplcinfo.h"

#include "fieldaccessible.h"
#include "fieldpatterns.h"
#include "commissioning/hostnetwork.h"
#include "dialogs/about.h"
#include "detail/devicetable.h"
#include "protocol/addresscheck.h"
#include "protocol/conversions.h"
#include "protocol/mysocket.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDebug>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QShortcut>
#include <QTableWidgetItem>
#include <QTextDocumentFragment>

namespace {

constexpr int WindowWidth = 306;
constexpr int WindowHeight = 388;
constexpr int MenuBarHeight = 23;
constexpr int FieldX = 130;
constexpr int FieldWidth = 121;
constexpr int RowHeight = 31;
constexpr int NameMaxLength = 16;
// The devices refuse names shorter than this.
constexpr int MinNameLength = 6;

const QString greyBackground = QStringLiteral("background-color: lightGray");

} // namespace

SubPlcInfo::SubPlcInfo(QWidget *parent) : QWidget(nullptr)
{
    Q_UNUSED(parent)
    // Nothing keeps a pointer to a closed window: the main window builds a new one every time.
    setAttribute(Qt::WA_DeleteOnClose);
    DetailAccessible::install();
    setupForm();
    retranslateForm();
    connectActions();
    fillFromTable();
}

SubPlcInfo::~SubPlcInfo() = default;

QLineEdit *SubPlcInfo::addField(const char *objectName, int y, int horizontalMargin)
{
    auto *field = new QLineEdit(this);
    field->setObjectName(QLatin1String(objectName));
    field->setGeometry(FieldX, y, FieldWidth, RowHeight);
    field->setTextMargins(horizontalMargin, 0, horizontalMargin, 0);
    return field;
}

QLabel *SubPlcInfo::addLabel(const char *objectName, int x, int y, int width, QLineEdit *field)
{
    auto *label = new QLabel(this);
    label->setObjectName(QLatin1String(objectName));
    label->setGeometry(x, y, width, RowHeight);
    // Names the field for screen readers and UI-automation tools.
    label->setBuddy(field);
    return label;
}

// The accessibility interface (screen readers, UI-automation tools) writes to read-only fields as
// readily as to the others, so a read-only field also puts the device's value back after a change.
void SubPlcInfo::makeReadOnly(QLineEdit *field)
{
    field->setReadOnly(true);
    connect(field, &QLineEdit::textChanged, this, [this, field](const QString &text) {
        const QString shown = deviceValues.value(field);
        if (text != shown) {
            field->setText(shown);
            field->setCursorPosition(0);
        }
    });
}

void SubPlcInfo::showDeviceValue(QLineEdit *field, const QString &value)
{
    deviceValues.insert(field, value.left(field->maxLength()));
    field->setText(value);
    // Long names and MAC texts are wider than their fields: show their beginning, not their end.
    field->setCursorPosition(0);
}

void SubPlcInfo::setupForm()
{
    resize(WindowWidth, WindowHeight);
    setMinimumSize(WindowWidth, WindowHeight);
    setMaximumSize(WindowWidth, WindowHeight);

    quitAction = new QAction(this);
    quitAction->setObjectName(QStringLiteral("quitAction"));
    Refresh = new QAction(this);
    Refresh->setObjectName(QStringLiteral("Refresh"));
    modifyConfrim = new QAction(this);
    modifyConfrim->setObjectName(QStringLiteral("modifyConfrim"));
    aboutAction = new QAction(this);
    aboutAction->setObjectName(QStringLiteral("aboutAction"));

    centralWidget = new QWidget(this);
    centralWidget->setObjectName(QStringLiteral("centralWidget"));

    // Fields and their labels, in the order the keyboard focus moves through them.
    PlcName = addField("PlcName", 35, 3);
    makeReadOnly(PlcName);
    PlcName->setMaxLength(NameMaxLength);
    PlcName->setStyleSheet(greyBackground);
    PlcName->setValidator(new QRegularExpressionValidator(FieldPattern::name(), PlcName));
    deviceName = addLabel("deviceName", 60, 35, 51, PlcName);

    plcIP_Addr = addField("plcIP_Addr", 75, 5);
    plcIP_Addr->setValidator(new QRegularExpressionValidator(FieldPattern::ipv4(), plcIP_Addr));
    IP_Addr = addLabel("IP_Addr", 60, 75, 51, plcIP_Addr);

    subnetMaskAddr = addField("subnetMaskAddr", 115, 5);
    subnetMaskAddr->setValidator(new QRegularExpressionValidator(FieldPattern::ipv4(), subnetMaskAddr));
    subnetMask = addLabel("subnetMask", 50, 115, 51, subnetMaskAddr);

    subGateWayAddr = addField("subGateWayAddr", 155, 5);
    subGateWayAddr->setValidator(new QRegularExpressionValidator(FieldPattern::ipv4(), subGateWayAddr));
    subGateWay = addLabel("subGateWay", 70, 155, 51, subGateWayAddr);

    PlcPoints = addField("PlcPoints", 195, 3);
    makeReadOnly(PlcPoints);
    PLC_Points = addLabel("PLC_Points", 60, 195, 51, PlcPoints);

    PlcSW_Version = addField("PlcSW_Version", 235, 5);
    makeReadOnly(PlcSW_Version);
    PlcSW_Version->setFocusPolicy(Qt::NoFocus);
    PlcSW_Version->setStyleSheet(greyBackground);
    PlcSW_Version->setBackgroundRole(QPalette::NoRole);
    PLC_SW = addLabel("PLC_SW", 50, 235, 81, PlcSW_Version);

    PlcMAC_Addr = addField("PlcMAC_Addr", 275, 3);
    makeReadOnly(PlcMAC_Addr);
    PlcMAC_Addr->setStyleSheet(greyBackground);
    PlcMAC_Addr->setValidator(new QRegularExpressionValidator(FieldPattern::mac(), PlcMAC_Addr));
    PLC_MacLabel = addLabel("PLC_MacLabel", 50, 275, 81, PlcMAC_Addr);

    hintLabel = new QLabel(this);
    hintLabel->setGeometry(50, 310, 200, RowHeight);
    QPalette hintPalette = hintLabel->palette();
    hintPalette.setBrush(QPalette::All, QPalette::WindowText, QBrush(Qt::blue, Qt::SolidPattern));
    hintLabel->setPalette(hintPalette);

    freshBtn = new QPushButton(this);
    freshBtn->setObjectName(QStringLiteral("freshBtn"));
    freshBtn->setGeometry(40, 345, 81, RowHeight);
    confirmBtn = new QPushButton(this);
    confirmBtn->setObjectName(QStringLiteral("confirmBtn"));
    confirmBtn->setGeometry(180, 345, 81, RowHeight);

    menuBar = new QMenuBar(this);
    menuBar->setObjectName(QStringLiteral("menuBar"));
    menuBar->setGeometry(0, 0, WindowWidth, MenuBarHeight);
    menuBar->setFixedSize(WindowWidth, MenuBarHeight);
    setBar = new QMenu(menuBar);
    setBar->setObjectName(QStringLiteral("setBar"));
    aboutBar = new QMenu(menuBar);
    aboutBar->setObjectName(QStringLiteral("aboutBar"));
    menuBar->addAction(setBar->menuAction());
    menuBar->addAction(aboutBar->menuAction());
    setBar->addAction(Refresh);
    setBar->addAction(modifyConfrim);
    setBar->addSeparator();
    setBar->addAction(quitAction);
    aboutBar->addAction(aboutAction);
}

void SubPlcInfo::retranslateForm()
{
    const auto text = [](const char *source) { return QCoreApplication::translate("this", source); };
    setWindowTitle(text("PLC信息"));
    quitAction->setText(text("退出"));
    Refresh->setText(text("刷新"));
    modifyConfrim->setText(text("确认修改"));
    aboutAction->setText(text("关于"));
    PlcName->setWhatsThis(text("<html><head/><body><p>请输入设备名称</p></body></html>"));
    deviceName->setText(text("设备名"));
    plcIP_Addr->setWhatsThis(
        text("<html><head/><body><p>请输入需要设定PLC地址；不能和网络中的其他子设备重复。</p></body></html>"));
    IP_Addr->setText(text("IP地址"));
    subnetMaskAddr->setWhatsThis(text("<html><head/><body><p>本PLC的子网掩码</p></body></html>"));
    subnetMask->setText(text("子网掩码"));
    subGateWayAddr->setWhatsThis(text("<html><head/><body><p>该子设备的网关</p></body></html>"));
    subGateWay->setText(text("网关"));
    PlcPoints->setWhatsThis(text("<html><head/><body><p>该PLC的点数</p></body></html>"));
    PLC_Points->setText(text("PLC点数"));
    PlcSW_Version->setWhatsThis(text("<html><head/><body><p>PLC的软件版本</p></body></html>"));
    PLC_SW->setText(text("PLC版本信息"));
    PlcMAC_Addr->setWhatsThis(text("<html><head/><body><p>PLC的MAC地址</p></body></html>"));
    PLC_MacLabel->setText(text("PLC MAC地址"));
    hintLabel->setText(text("提示：修改在重新启动设备后生效!"));
    // Screen readers offer a field's description, not its What's This help.
    for (QLineEdit *field : {PlcName, plcIP_Addr, subnetMaskAddr, subGateWayAddr, PlcPoints, PlcSW_Version, PlcMAC_Addr})
        field->setAccessibleDescription(QTextDocumentFragment::fromHtml(field->whatsThis()).toPlainText());
    freshBtn->setText(text("刷新"));
    confirmBtn->setText(text("确认修改"));
    setBar->setTitle(text("设置"));
    aboutBar->setTitle(text("关于"));
}

void SubPlcInfo::connectActions()
{
    connect(quitAction, &QAction::triggered, this, &SubPlcInfo::quitActionSlot);
    connect(Refresh, &QAction::triggered, this, &SubPlcInfo::refreshActionSlot);
    connect(modifyConfrim, &QAction::triggered, this, &SubPlcInfo::modifyConfirmActionSlot);
    connect(aboutAction, &QAction::triggered, this, &SubPlcInfo::aboutActionSlot);
    connect(freshBtn, &QPushButton::clicked, this, &SubPlcInfo::refreshActionSlot);
    connect(confirmBtn, &QPushButton::clicked, this, &SubPlcInfo::modifyConfirmActionSlot);
    // Escape closes the window as its close control does: the device is told to stop flashing.
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &SubPlcInfo::quitActionSlot);
    // F10 opens the menu bar, as in the main window.
    auto *menuKey = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(menuKey, &QShortcut::activated, this, [this] { menuBar->setActiveAction(setBar->menuAction()); });
}

void SubPlcInfo::fillFromTable()
{
    // Set directly, so the validators do not filter the cell texts; the name is cut to 16.
    const auto cellText = [](int column) {
        const QTableWidgetItem *item = currentRowItem(column);
        return item ? item->data(Qt::DisplayRole).toString() : QString();
    };
    showDeviceValue(PlcName, cellText(DeviceColumn::Name));
    plcIP_Addr->setText(cellText(DeviceColumn::IpAddress));
    subnetMaskAddr->setText(cellText(DeviceColumn::SubnetMask));
    subGateWayAddr->setText(cellText(DeviceColumn::Gateway));
    showDeviceValue(PlcPoints, cellText(DeviceColumn::Points));
    showDeviceValue(PlcSW_Version, cellText(DeviceColumn::Version));
    showDeviceValue(PlcMAC_Addr, cellText(DeviceColumn::Mac));
    deviceMac = cellText(DeviceColumn::Mac);

    // Rows added by hand (the debug sample row) carry no reported name: their text is the name.
    const QTableWidgetItem *nameItem = currentRowItem(DeviceColumn::Name);
    const QString reported = nameItem ? nameItem->data(ReportedNameRole).toString() : QString();
    reportedName = reported.isEmpty() ? cellText(DeviceColumn::Name) : reported;
    // The title is the same for every device; assistive technology names the window after its device.
    setAccessibleName(tr("%1：%2（%3）").arg(windowTitle(), cellText(DeviceColumn::Name), deviceMac));
}

QString SubPlcInfo::getPlcName() const
{
    return PlcName->text();
}

QString SubPlcInfo::getIpAddr() const
{
    return plcIP_Addr->text();
}

QString SubPlcInfo::getSubnetMask() const
{
    return subnetMaskAddr->text();
}

QString SubPlcInfo::getGateWay() const
{
    return subGateWayAddr->text();
}

QString SubPlcInfo::getMacAddr() const
{
    return PlcMAC_Addr->text();
}

QString SubPlcInfo::getReportedName() const
{
    return reportedName;
}

void SubPlcInfo::closeEvent(QCloseEvent *event)
{
    emit subPlcWindowClosed();
    event->accept();
}

void SubPlcInfo::quitActionSlot()
{
    close();
}

void SubPlcInfo::refreshActionSlot()
{
    // Reloads the device's values from the table, dropping the user's edits, but only while the
    // current row still shows this device: after a refresh of the list, or with another row
    // selected, it would show another device's values under this device's title, so the fields
    // are left as they are.
    if (currentRowMac() == deviceMac)
        fillFromTable();
}

QString SubPlcInfo::refusalReason(const QList<AddressCheck::Finding> &findings) const
{
    if (reportedName.size() < MinNameLength)
        return tr("设备名称小于6个字符！");
    const std::optional<QString> rowMac = currentRowMac();
    if (!rowMac)
        return tr("设备列表中没有选中的设备，请刷新后重新打开！");
    // The frame names the device of the selected row. Once another device is selected it would
    // carry this window's values under that device's MAC: refuse rather than mix two devices.
    if (*rowMac != deviceMac)
        return tr("选中的设备已不是本窗口的设备，请重新打开设备详情！");
    for (const AddressCheck::Finding &finding : findings) {
        if (finding.isRefusal())
            return refusalText(finding);
    }
    return {};
}

QString SubPlcInfo::refusalText(const AddressCheck::Finding &finding) const
{
    using AddressCheck::Rule;
    switch (finding.rule) {
    case Rule::IpIncomplete:
        return tr("IP地址不完整！");
    case Rule::MaskIncomplete:
        return tr("子网掩码不完整！");
    case Rule::GatewayIncomplete:
        return tr("网关不完整！");
    case Rule::MaskInvalid:
        return tr("子网掩码无效！");
    case Rule::IpNotUnicast:
        return tr("IP地址不能是未指定、回环、组播或保留地址！");
    case Rule::IpIsNetworkOrBroadcast:
        return tr("IP地址不能是网络地址或广播地址！");
    case Rule::GatewayNotUnicast:
        return tr("网关不能是回环、组播或保留地址！");
    case Rule::GatewayOutsideSubnet:
        return tr("网关不在该子网内！");
    case Rule::GatewayIsNetworkOrBroadcast:
        return tr("网关不能是网络地址或广播地址！");
    case Rule::GatewayIsIp:
        return tr("网关不能与IP地址相同！");
    case Rule::IpUsedByAnotherDevice:
        return tr("IP地址已被设备%1（%2）使用！").arg(finding.device.name, macBytesToText(finding.device.mac));
    case Rule::IpIsThisMachine:
        return tr("IP地址不能是本机的地址！");
    case Rule::HostRoute:
    case Rule::LinkLocal:
    case Rule::SubnetNotOnThisMachine:
        break;
    }
    return {};
}

QStringList SubPlcInfo::warningTexts(const QList<AddressCheck::Finding> &findings,
                                     const AddressCheck::Settings &settings) const
{
    const QString subnet = AddressCheck::subnetText(settings);
    QStringList warnings;
    for (const AddressCheck::Finding &finding : findings) {
        switch (finding.rule) {
        case AddressCheck::Rule::HostRoute:
            warnings.append(tr("子网掩码%1没有给其他主机留下地址").arg(ipv4Text(settings.mask)));
            break;
        case AddressCheck::Rule::LinkLocal:
            warnings.append(tr("IP地址%1是链路本地地址（169.254.0.0/16）").arg(ipv4Text(settings.ip)));
            break;
        case AddressCheck::Rule::SubnetNotOnThisMachine:
            warnings.append(tr("本机没有网卡在子网%1内，将无法直接联系该设备").arg(subnet));
            break;
        // Refusals: the write never gets this far. Listed, so that a new warning rule cannot be
        // left without its text.
        case AddressCheck::Rule::IpIncomplete:
        case AddressCheck::Rule::MaskIncomplete:
        case AddressCheck::Rule::GatewayIncomplete:
        case AddressCheck::Rule::MaskInvalid:
        case AddressCheck::Rule::IpNotUnicast:
        case AddressCheck::Rule::IpIsNetworkOrBroadcast:
        case AddressCheck::Rule::GatewayNotUnicast:
        case AddressCheck::Rule::GatewayOutsideSubnet:
        case AddressCheck::Rule::GatewayIsNetworkOrBroadcast:
        case AddressCheck::Rule::GatewayIsIp:
        case AddressCheck::Rule::IpUsedByAnotherDevice:
        case AddressCheck::Rule::IpIsThisMachine:
            break;
        }
    }
    // 0.0.0.0 is how the checks read "no gateway": allowed, but the device then reaches nothing
    // beyond its subnet.
    if (settings.gateway == 0)
        warnings.append(tr("网关为0.0.0.0，即没有网关：设备只能与本子网内的设备通信"));
    return warnings;
}

QString SubPlcInfo::notSentText() const
{
    switch (g_mySocket->lastSendFailure()) {
    case MySocket::SendFailure::PortNotOpen:
        return tr("设置未发送：本程序没有打开UDP端口102（见主窗口的状态栏）。");
    case MySocket::SendFailure::NotADeviceAddress:
        return tr("设置未发送：设备地址不是单个设备的地址。");
    case MySocket::SendFailure::NetworkError:
    case MySocket::SendFailure::None:
        break;
    }
    return tr("设置未发送：网络不通（网线已拔出或网卡不可用？）：%1。请检查后重试。").arg(g_mySocket->lastSendError());
}

void SubPlcInfo::modifyConfirmActionSlot()
{
    // The other listed devices and this machine's own addresses: a new address must be none of them.
    AddressCheck::Context context = hostNetworkContext();
    context.deviceMac = macTextToBytes(deviceMac);
    context.devices = listedDevices();
    const QList<AddressCheck::Finding> findings =
        AddressCheck::check(getIpAddr(), getSubnetMask(), getGateWay(), context);
    const QString refusal = refusalReason(findings);
    if (!refusal.isEmpty()) {
        QMessageBox::warning(this, tr("操作失败："), refusal);
        return;
    }
    // The settings can work but deserve a second look. The window asks no question before a
    // write: they go to the log, and with the write's status message to the user.
    const AddressCheck::Settings settings{decimalIPv4Address(getIpAddr()).toIPv4Address(),
                                          decimalIPv4Address(getSubnetMask()).toIPv4Address(),
                                          decimalIPv4Address(getGateWay()).toIPv4Address()};
    for (const AddressCheck::Finding &warning : findings)
        qWarning().noquote() << "Write to" << deviceMac << "-" << AddressCheck::describe(warning, settings);
    const QStringList warnings = warningTexts(findings, settings);

    // The frame names the device of the current row, which the refusals above made sure is this
    // window's device, and carries its own MAC and the name it reported, whatever the read-only
    // fields show.
    Frame::WriteTexts texts;
    texts.targetMac = deviceMac;
    texts.mac = deviceMac;
    texts.name = getReportedName();
    texts.gateway = getGateWay();
    texts.subnetMask = getSubnetMask();
    texts.ipAddress = getIpAddr();
    if (!g_mySocket->udpSendCmdWrite(texts)) {
        // The device never got the settings: the user may try again once the cause is fixed.
        QMessageBox::warning(this, tr("操作失败："), notSentText());
        return;
    }
    g_mySocket->waitForWriteDone();
    emit settingsSent(deviceMac, settings, warnings);
    close();
}

void SubPlcInfo::aboutActionSlot()
{
    // Modal over every window of the program; the dialog releases itself when it closes.
    auto *about = new About(this);
    about->exec();
}
