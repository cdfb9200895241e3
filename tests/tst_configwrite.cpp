// The device detail window: what its fields take from a user and from an assistive tool, the fill
// from the device table, the refresh, the ways it closes, and the configuration write, on real
// sockets inside the private network namespace of tools/isolated.sh: the device endpoint binds
// port 102 on every address and a test "device" binds 192.168.1.2:102, the address of the rows
// below (it sits on the namespace's loopback), so it receives what is sent to that device.

#include "detail/subplcinfo.h"
#include "detail/devicetable.h"
#include "protocol/mysocket.h"
#include "support/modalcloser.h"
#include "support/testsupport.h"
#include "support/windowsupport.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkDatagram>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

#include <memory>

using namespace Qt::StringLiterals;

using kvrtest::cells;
using kvrtest::hex;
using kvrtest::sampleRow;

namespace {

const QByteArray deviceMac = hex("50E549CE2E4A");

// A device at the test device's address, listed under the given name.
QStringList deviceRow(const char *name)
{
    return QString::fromUtf8("PLC|%1|192.168.1.2|50:E5:49:CE:2E:4A|255.255.255.0|192.168.1.1|1.0.0.0|0.16.0.0")
        .arg(QString::fromUtf8(name))
        .split(QLatin1Char('|'));
}

// A device listed under its model text, which is longer than the name field.
const QStringList mappedRow =
    cells("PLC|KVR-CTL700-MQ16TRB|192.168.1.9|50:E5:49:CE:2E:09|255.255.0.0|192.168.1.254|1.2.3|0.16");

// The frame a write of the given values must give, byte for byte (from a fresh socket: sequence 0);
// by default the device's own address 192.168.1.2/24 with gateway 192.168.1.1.
QByteArray writeFrame(const QByteArray &paddedName, const QByteArray &netAddr = hex("C0A80102 FFFFFF00 C0A80101"))
{
    return hex("4B4F5256454C 01 F0 00 04 0000005A 00000000 00000008 00000006") + deviceMac + hex("00000001 00000006")
           + deviceMac + hex("00000002 00000010") + paddedName + hex("00000004 0000000C") + netAddr;
}

// Appends a row the way the main window does, and selects it; the name cell keeps the reported
// name unless that is null.
void addRow(QTableWidget *table, const QStringList &cells, const QString &reportedName = {})
{
    const int row = table->rowCount();
    table->insertRow(row);
    for (int column = 0; column < cells.size(); ++column)
        table->setItem(row, column, new QTableWidgetItem(cells.at(column)));
    if (!reportedName.isNull())
        table->item(row, DeviceColumn::Name)->setData(ReportedNameRole, reportedName);
    table->selectRow(row);
}

// What the window shows, in the order of the table's columns from the name on, then the reported name.
QStringList shownRow(const SubPlcInfo *w)
{
    const auto text = [w](const char *name) { return w->findChild<QLineEdit *>(QLatin1String(name))->text(); };
    return {w->getPlcName(), w->getIpAddr(),        w->getMacAddr(),   w->getSubnetMask(),
            w->getGateWay(), text("PlcSW_Version"), text("PlcPoints"), w->getReportedName()};
}

} // namespace

class TestDetailWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { KVR_REQUIRE_ISOLATED_NETWORK(); }
    void init()
    {
        g_mySocket = socket = new MySocket;
        QVERIFY(socket->initSocket());
        device = std::make_unique<QUdpSocket>();
        QVERIFY(device->bind(QHostAddress(u"192.168.1.2"_s), Frame::DevicePort, QUdpSocket::ShareAddress));
        table = std::make_unique<QTableWidget>(0, DeviceColumn::Count);
        g_deviceTable = table.get();
    }

    void cleanup()
    {
        delete window;
        g_deviceTable = nullptr;
        table.reset();
        device.reset();
        delete g_mySocket; // this test's endpoint, or the main window's
        g_mySocket = socket = nullptr;
    }


    void fieldsTakeOnlyWhatTheyMay()
    {
        SubPlcInfo *w = openWindow(sampleRow());
        // Each field, top to bottom: what typing over its text leaves there shows that only the
        // addresses can be edited, each by the IPv4 rule. An assistive tool (screen reader, UI
        // automation) knows each field by the label on its left and its What's This help as its
        // description, is offered no editing in a read-only field, and gets no further than the keyboard.
        const struct { const char *field, *keys, *left, *assistive, *description; bool editable; } lines[] = {
            {"PlcName", "AB12", "KV516_K", "INTRUDER1", "请输入设备名称", false},
            {"plcIP_Addr", "10.0.0.256", "10.0.0.25", "10.9.9.9", "请输入需要设定PLC地址；不能和网络中的其他子设备重复。", true},
            {"subnetMaskAddr", "255.x255.y0.0", "255.255.0.0", "255.255.255.128", "本PLC的子网掩码", true},
            {"subGateWayAddr", "1..2.3.4.5", "1.2.3.45", "10.9.9.1", "该子设备的网关", true},
            {"PlcPoints", "AB12", "00.16.00.00", "99.99", "该PLC的点数", false},
            {"PlcSW_Version", "AB12", "001.000.000.000", "9.9.9", "PLC的软件版本", false},
            {"PlcMAC_Addr", "AB12", "50:E5:49:CE:2E:4A", "02:00:00:00:00:99", "PLC的MAC地址", false}};
        for (const auto &line : lines) {
            auto *field = w->findChild<QLineEdit *>(QLatin1String(line.field));
            QVERIFY2(field, line.field);
            field->selectAll();
            QTest::keyClicks(field, QLatin1String(line.keys));
            QCOMPARE(field->text(), QLatin1String(line.left));

            QAccessibleInterface *access = QAccessible::queryAccessibleInterface(field);
            const QList<QLabel *> labels = w->findChildren<QLabel *>();
            QVERIFY2(std::any_of(labels.cbegin(), labels.cend(), [&](const QLabel *label) {
                         return label->y() == field->y() && label->geometry().right() <= field->x()
                                && label->text() == access->text(QAccessible::Name);
                     }), line.field);
            QCOMPARE(access->text(QAccessible::Description), QString::fromUtf8(line.description));
            QVERIFY2(access->state().editable == line.editable && access->state().readOnly == !line.editable
                         && (access->editableTextInterface() != nullptr) == line.editable,
                     line.field);
            access->setText(QAccessible::Value, QLatin1String(line.assistive));
            if (line.editable)
                access->editableTextInterface()->insertText(0, u"1"_s);
            QCOMPARE(field->text(),
                     line.editable ? QLatin1Char('1') + QLatin1String(line.assistive) : QLatin1String(line.left));
            // The text is one run of attributes, to its last character: Orca reads a field by its
            // runs, and left the last character out of each empty one Qt reports.
            QAccessibleTextInterface *text = access->textInterface();
            int start = -1;
            int end = -1;
            text->attributes(text->characterCount() - 1, &start, &end);
            QCOMPARE(text->text(start, end), field->text());
        }
        // The window is a window to assistive technology, named after the device it shows.
        QAccessibleInterface *windowAccess = QAccessible::queryAccessibleInterface(w);
        QCOMPARE(windowAccess->role(), QAccessible::Window);
        QCOMPARE(windowAccess->text(QAccessible::Name), u"PLC信息：KV516_K（50:E5:49:CE:2E:4A）"_s);
        // F10 opens its menus, the keyboard's way to About.
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QTest::keyClick(w, Qt::Key_F10);
        QTRY_VERIFY(QApplication::activePopupWidget());
        QCOMPARE(QApplication::activePopupWidget()->objectName(), u"setBar"_s);
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
        QTRY_VERIFY(!QApplication::activePopupWidget());

        // The About dialog is modal over every window, a child of this one. The quit action closes the
        // window, which says so once (the main window then stops the flashing) and is released.
        const QList<kvrtest::Modal> modals = kvrtest::closingModals([w] { kvrtest::use(w, "aboutAction"); });
        QVERIFY(modals.size() == 1 && modals[0].className == "About" && modals[0].parent == w
                && modals[0].modality == Qt::ApplicationModal);
        QSignalSpy closed(w, &SubPlcInfo::subPlcWindowClosed);
        QVERIFY(kvrtest::use(w, "quitAction"));
        QTRY_VERIFY(window.isNull());
        QCOMPARE(closed.size(), 1);
    }

    void fillsFromCurrentRowAndRefreshes()
    {
        // The sample row's zero-padded texts as the table has them; without a reported name the shown
        // name is the name.
        SubPlcInfo *w = openWindow(sampleRow());
        QCOMPARE(shownRow(w), sampleRow().mid(1) << u"KV516_K"_s);

        // Refreshed with the same device current: the edits are dropped and the table's values shown again.
        auto *ip = w->findChild<QLineEdit *>(u"plcIP_Addr"_s);
        table->item(0, DeviceColumn::IpAddress)->setText(u"192.168.1.50"_s);
        ip->setText(u"10.1.1.1"_s);
        QVERIFY(kvrtest::use(w, "freshBtn"));
        QCOMPARE(ip->text(), u"192.168.1.50"_s);

        // Another device current: this device's fields are kept.
        ip->setText(u"10.1.1.1"_s);
        addRow(table.get(), mappedRow, u"CTR516-K"_s);
        QVERIFY(kvrtest::use(w, "Refresh"));
        QCOMPARE(shownRow(w).mid(1, 2), cells("10.1.1.1|50:E5:49:CE:2E:4A"));
        delete window;

        // The model text is cut to the field's 16 letters; the beginning of long values is what shows.
        QCOMPARE(shownRow(openWindow(mappedRow, u"CTR516-K"_s)),
                 cells("KVR-CTL700-MQ16T|192.168.1.9|50:E5:49:CE:2E:09|255.255.0.0|192.168.1.254|1.2.3|0.16|CTR516-K"));
        QCOMPARE(window->findChild<QLineEdit *>(u"PlcName"_s)->cursorPosition(), 0);
        QCOMPARE(window->findChild<QLineEdit *>(u"PlcMAC_Addr"_s)->cursorPosition(), 0);
    }

    void confirm_data()
    {
        QTest::addColumn<QStringList>("row");
        QTest::addColumn<QString>("reportedName"); // null: a row added by hand, which keeps none
        QTest::addColumn<QString>("change"); // made after the window opened: "field=text" or a named change
        QTest::addColumn<QByteArray>("frame"); // what the device gets
        QTest::addColumn<QString>("warning"); // the window stays open with it

        const QStringList abcdef = deviceRow("ABCDEF");
        QTest::newRow("sample row: zero-padded groups read as decimal") << sampleRow() << QString() << ""
            << writeFrame("KV516_K         ") << "";
        QTest::newRow("mapped model text: the reported name is written") << deviceRow("KVR-CTL700-MQ16TRB") << "CTR516-K"
            << "" << writeFrame("CTR516-K        ") << "";
        QTest::newRow("six-letter name gets ten spaces; gateway 0.0.0.0: none") << abcdef << "ABCDEF" << "subGateWayAddr=0.0.0.0"
            << writeFrame("ABCDEF          ", hex("C0A80102 FFFFFF00 00000000")) << "";

        // Sends that fail, with the reason; the window stays open for another try.
        QTest::newRow("port not open: not sent") << abcdef << "ABCDEF" << "port not open" << QByteArray()
            << "设置未发送：本程序没有打开UDP端口102（见主窗口的状态栏）。";
        QTest::newRow("target 0.0.0.0, this computer itself: not sent") << abcdef << "ABCDEF" << "target 0.0.0.0"
            << QByteArray() << "设置未发送：设备地址不是单个设备的地址。";

        // Refusals: nothing is sent. The address rules against real devices: tst_endtoend.
        QTest::newRow("five-letter name refused") << deviceRow("ABCDE") << "ABCDE" << "" << QByteArray() << "设备名称小于6个字符！";
        QTest::newRow("long model text but short reported name refused")
            << deviceRow("KVR-CTL700-MQ16TRB") << "ABCDE" << "" << QByteArray() << "设备名称小于6个字符！";
        // The address validator lets a pasted trailing newline stand.
        QTest::newRow("gateway with a newline refused")
            << abcdef << "ABCDEF" << "subGateWayAddr=192.168.1.1\n" << QByteArray() << "网关不完整！";
    }

    void confirm()
    {
        QFETCH(QStringList, row);
        QFETCH(QString, reportedName);
        QFETCH(QString, change);
        QFETCH(QByteArray, frame);
        QFETCH(QString, warning);

        openWindow(row, reportedName);
        if (change.contains(u'=')) {
            window->findChild<QLineEdit *>(change.section(u'=', 0, 0))->setText(change.section(u'=', 1));
        } else if (change == "port not open"_L1) {
            delete socket;
            g_mySocket = socket = new MySocket;
            socket->setTargetAddress(u"192.168.1.2"_s);
        } else if (change == "target 0.0.0.0"_L1) {
            socket->setTargetAddress(u"0.0.0.0"_s);
        }
        QSignalSpy closed(window.data(), &SubPlcInfo::subPlcWindowClosed);
        kvrtest::TraceCapture traces;

        if (warning.isEmpty()) {
            QVERIFY(kvrtest::use(window, "confirmBtn"));
            QTRY_VERIFY(window.isNull());
        } else {
            // The button and the menu alike.
            for (const char *confirm : {"confirmBtn", "modifyConfrim"}) {
                const QList<kvrtest::Modal> modals = kvrtest::closingModals([&] { kvrtest::use(window, confirm); });
                QVERIFY(kvrtest::isOneWarning(modals, u"操作失败："_s, warning, window.data()));
            }
            QVERIFY(window && window->isVisible());
        }
        // A write is tried once, one that cannot leave at each confirmation, a refused one never.
        const int sends = traces.lines().filter(u"TCP command Write command:"_s).size();
        QCOMPARE(sends, warning.isEmpty() ? 1 : warning.startsWith(u"设置未发送"_s) ? 2 : 0);
        const bool arrived = device->hasPendingDatagrams() || (!frame.isEmpty() && device->waitForReadyRead(3000));
        QCOMPARE(arrived ? device->receiveDatagram().data() : QByteArray(), frame);
        QCOMPARE(closed.size(), warning.isEmpty() ? 1 : 0);
    }


private:
    SubPlcInfo *openWindow(const QStringList &row, const QString &reportedName = {})
    {
        addRow(table.get(), row, reportedName);
        // As the main window does: the target is the current row's IP text when the window opens.
        socket->setTargetAddress(row.at(DeviceColumn::IpAddress));
        window = new SubPlcInfo;
        window->show();
        return window;
    }


    MySocket *socket = nullptr;
    std::unique_ptr<QUdpSocket> device;
    std::unique_ptr<QTableWidget> table; // the device table the window reads
    QPointer<SubPlcInfo> window;
};

QTEST_MAIN(TestDetailWindow)
#include "tst_configwrite.moc"
