// The device detail window without sockets: its form, its input rules, the fill from the device
// table, the refresh and the ways it closes. The configuration write is tst_configwrite.

#include "detail/fieldpatterns.h"
#include "detail/subplcinfo.h"
#include "mainwindow/devicetable.h"
#include "support/modalcloser.h"
#include "support/windowsupport.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

#include <memory>

using kvrtest::cells;
using kvrtest::sampleRow;

namespace {

// A device listed under its model text, which is longer than the name field.
const QStringList mappedRow =
    cells("PLC|KVR-CTL700-MQ16TRB|192.168.1.9|50:E5:49:CE:2E:09|255.255.0.0|192.168.1.254|1.2.3|0.16");

// What the window shows, in the order of the table's columns from the name on, then the reported name.
QStringList shownRow(const SubPlcInfo *w)
{
    const auto text = [w](const char *name) {
        const auto *field = w->findChild<QLineEdit *>(QLatin1String(name));
        return field ? field->text() : QStringLiteral("<no field>");
    };
    return {w->getPlcName(),   w->getIpAddr(),       w->getMacAddr(),   w->getSubnetMask(),
            w->getGateWay(),   text("PlcSW_Version"), text("PlcPoints"), w->getReportedName()};
}

} // namespace

class TestSubPlcInfo : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void form();
    void ipv4Pattern_data();
    void ipv4Pattern();
    void fillsFromCurrentRow();
    void refreshReloadsOnlyThisDevice();
    void aboutOpensANewModalDialogEachTime();
    void everyCloseEmitsOnceAndReleases_data();
    void everyCloseEmitsOnceAndReleases();

private:
    SubPlcInfo *openWindow();

    std::unique_ptr<kvrtest::DeviceTable> table;
    QPointer<SubPlcInfo> window;
};

void TestSubPlcInfo::init()
{
    table = std::make_unique<kvrtest::DeviceTable>();
    table->addRow(sampleRow());
}

void TestSubPlcInfo::cleanup()
{
    delete window;
    table.reset();
}

SubPlcInfo *TestSubPlcInfo::openWindow()
{
    // The parent dies here and the window survives it: the argument is not used.
    QWidget parent;
    window = new SubPlcInfo(&parent);
    return window;
}

void TestSubPlcInfo::form()
{
    SubPlcInfo *w = openWindow();
    w->show();
    QVERIFY(w->isWindow() && !w->parentWidget());
    QCOMPARE(w->windowTitle(), QStringLiteral("PLC信息"));
    QVERIFY(w->minimumSize() == QSize(306, 388) && w->maximumSize() == QSize(306, 388));

    // Each field, top to bottom, with its label on its left and its help text; what typing over its
    // text leaves there shows that only the addresses can be edited, each by the IPv4 rule.
    const struct { const char *field, *label, *text, *help; bool grey; const char *keys, *left; } lines[] = {
        {"PlcName", "deviceName", "设备名", "请输入设备名称", true, "AB12", "KV516_K"},
        {"plcIP_Addr", "IP_Addr", "IP地址", "请输入需要设定PLC地址；不能和网络中的其他子设备重复。", false,
         "10.0.0.256", "10.0.0.25"},
        {"subnetMaskAddr", "subnetMask", "子网掩码", "本PLC的子网掩码", false, "255.x255.y0.0", "255.255.0.0"},
        {"subGateWayAddr", "subGateWay", "网关", "该子设备的网关", false, "1..2.3.4.5", "1.2.3.45"},
        {"PlcPoints", "PLC_Points", "PLC点数", "该PLC的点数", false, "AB12", "00.16.00.00"},
        {"PlcSW_Version", "PLC_SW", "PLC版本信息", "PLC的软件版本", true, "AB12", "001.000.000.000"},
        {"PlcMAC_Addr", "PLC_MacLabel", "PLC MAC地址", "PLC的MAC地址", true, "AB12", "50:E5:49:CE:2E:4A"}};
    int above = 0;
    for (const auto &line : lines) {
        auto *field = w->findChild<QLineEdit *>(QLatin1String(line.field));
        const auto *label = w->findChild<QLabel *>(QLatin1String(line.label));
        QVERIFY2(field && label, line.field);
        QCOMPARE(label->text(), QString::fromUtf8(line.text));
        QCOMPARE(field->whatsThis(),
                 QStringLiteral("<html><head/><body><p>%1</p></body></html>").arg(QString::fromUtf8(line.help)));
        QCOMPARE(field->styleSheet().contains(QLatin1String("lightGray")), line.grey);
        QVERIFY2(label->y() == field->y() && label->geometry().right() <= field->x() && field->y() > above, line.field);
        above = field->geometry().bottom();
        field->selectAll();
        QTest::keyClicks(field, QLatin1String(line.keys));
        QCOMPARE(field->text(), QString::fromUtf8(line.left));
    }

    // The restart hint, the one label without a name, is blue.
    QList<QLabel *> hints = w->findChildren<QLabel *>();
    hints.removeIf([](const QLabel *label) { return !label->objectName().isEmpty(); });
    QCOMPARE(hints.size(), 1);
    QCOMPARE(hints[0]->text(), QStringLiteral("提示：修改在重新启动设备后生效!"));
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        QCOMPARE(hints[0]->palette().color(group, QPalette::WindowText), QColor(Qt::blue));

    QStringList buttons;
    for (const QPushButton *button : w->findChildren<QPushButton *>())
        buttons << button->objectName() + QLatin1Char(' ') + button->text();
    QCOMPARE(buttons, cells("freshBtn 刷新|confirmBtn 确认修改"));
    QCOMPARE(kvrtest::menuTexts(w, "menuBar|setBar|aboutBar"), cells("设置|关于|刷新|确认修改|<separator>|退出|关于"));

    QStringList focusOrder;
    for (QWidget *next = w->nextInFocusChain(); next != w; next = next->nextInFocusChain()) {
        if (next->focusPolicy() & Qt::TabFocus)
            focusOrder.append(next->objectName());
    }
    QCOMPARE(focusOrder,
             cells("PlcName|plcIP_Addr|subnetMaskAddr|subGateWayAddr|PlcPoints|PlcMAC_Addr|freshBtn|confirmBtn"));
}

void TestSubPlcInfo::ipv4Pattern_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("state");

    const int invalid = QValidator::Invalid, intermediate = QValidator::Intermediate, acceptable = QValidator::Acceptable;
    QTest::newRow("complete address") << "192.168.1.7" << acceptable;
    QTest::newRow("zero-padded groups") << "192.168.001.002" << acceptable;
    QTest::newRow("255 in every group") << "255.255.255.255" << acceptable;
    QTest::newRow("three groups typed") << "192.168.1." << intermediate;
    QTest::newRow("empty field") << "" << intermediate;
    QTest::newRow("256 refused") << "256" << invalid;
    QTest::newRow("four digits in a group") << "1921" << invalid;
    QTest::newRow("letter refused") << "19a" << invalid;
    QTest::newRow("empty group") << "192.." << invalid;
    QTest::newRow("fifth group") << "1.2.3.4." << invalid;
    QTest::newRow("leading blank") << " 1.2.3.4" << invalid;
    // Pattern's $ also matches before a final newline: a pasted "1.2.3.4\n" may stand, but it is
    // never complete, so the write refuses it.
    QTest::newRow("trailing newline is never complete") << "1.2.3.4\n" << intermediate;
    QTest::newRow("\\d takes no full-width digit") << "\uFF11.2.3.4" << invalid;
}

void TestSubPlcInfo::ipv4Pattern()
{
    QFETCH(QString, input);
    QFETCH(int, state);
    int position = 0;
    QCOMPARE(int(QRegularExpressionValidator(FieldPattern::ipv4()).validate(input, position)), state);
    QCOMPARE(FieldPattern::isCompleteIPv4(input), state == QValidator::Acceptable);
}

void TestSubPlcInfo::fillsFromCurrentRow()
{
    // The sample row's zero-padded texts as the table has them; without a reported name the shown
    // name is the name.
    QCOMPARE(shownRow(openWindow()), sampleRow().mid(1) << QStringLiteral("KV516_K"));
    delete window;

    // The model text is cut to the field's 16 letters; the beginning of long values is what shows.
    table->addRow(mappedRow, QStringLiteral("CTR516-K"));
    QCOMPARE(shownRow(openWindow()),
             cells("KVR-CTL700-MQ16T|192.168.1.9|50:E5:49:CE:2E:09|255.255.0.0|192.168.1.254|1.2.3|0.16|CTR516-K"));
    QCOMPARE(window->findChild<QLineEdit *>(QStringLiteral("PlcName"))->cursorPosition(), 0);
    QCOMPARE(window->findChild<QLineEdit *>(QStringLiteral("PlcMAC_Addr"))->cursorPosition(), 0);
    delete window;

    // No row, no table: nothing to read, nothing shown.
    table->setRowCount(0);
    QCOMPARE(shownRow(openWindow()), QStringList(8, QString()));
    delete window;
    g_deviceTable = nullptr;
    QCOMPARE(shownRow(openWindow()), QStringList(8, QString()));
}

void TestSubPlcInfo::refreshReloadsOnlyThisDevice()
{
    SubPlcInfo *w = openWindow();
    auto *ip = w->findChild<QLineEdit *>(QStringLiteral("plcIP_Addr"));
    auto *button = w->findChild<QPushButton *>(QStringLiteral("freshBtn"));
    auto *action = w->findChild<QAction *>(QStringLiteral("Refresh"));
    QVERIFY(ip && button && action);
    const QString typed = QStringLiteral("10.1.1.1");

    // The same device current: the edits are dropped and the table's values shown again.
    ip->setText(typed);
    button->click();
    QCOMPARE(ip->text(), sampleRow()[DeviceColumn::IpAddress]);
    table->item(0, DeviceColumn::IpAddress)->setText(QStringLiteral("192.168.1.50"));
    ip->setText(typed);
    action->trigger();
    QCOMPARE(ip->text(), QStringLiteral("192.168.1.50"));

    // Another device current, or none: this device's fields are kept.
    ip->setText(typed);
    table->addRow(mappedRow, QStringLiteral("CTR516-K"));
    button->click();
    QCOMPARE(ip->text(), typed);
    table->setRowCount(0);
    action->trigger();
    QCOMPARE(ip->text(), typed);
    QCOMPARE(w->getMacAddr(), sampleRow()[DeviceColumn::Mac]);
}

void TestSubPlcInfo::aboutOpensANewModalDialogEachTime()
{
    SubPlcInfo *w = openWindow();
    kvrtest::ModalCloser modal;
    for (int opening = 1; opening <= 2; ++opening) {
        w->findChild<QAction *>(QStringLiteral("aboutAction"))->trigger();
        QCOMPARE(modal.seen.size(), opening);
        QVERIFY(modal.seen.last().className == "About" && modal.seen.last().parent == w
                && modal.seen.last().modality == Qt::ApplicationModal);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY2(w->findChildren<QDialog *>().isEmpty(), "a closed About is released");
    }
}

void TestSubPlcInfo::everyCloseEmitsOnceAndReleases_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("quit action") << QStringLiteral("quit");
    QTest::newRow("title bar's close control") << QStringLiteral("close control");
    QTest::newRow("close()") << QStringLiteral("close");
}

void TestSubPlcInfo::everyCloseEmitsOnceAndReleases()
{
    QFETCH(QString, how);
    SubPlcInfo *w = openWindow();
    w->show();
    QSignalSpy closed(w, &SubPlcInfo::subPlcWindowClosed);

    if (how == QLatin1String("quit"))
        w->findChild<QAction *>(QStringLiteral("quitAction"))->trigger();
    else if (how == QLatin1String("close control")) // what the title bar's close button does
        QVERIFY(w->windowHandle()->close());
    else
        QVERIFY(w->close());
    QVERIFY(!w->isVisible());
    // Nothing refers to a closed window: it is released, and its release says nothing more.
    QTRY_VERIFY(window.isNull());
    QCOMPARE(closed.size(), 1);
}

QTEST_MAIN(TestSubPlcInfo)
#include "tst_subplcinfo.moc"
