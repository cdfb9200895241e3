// The device detail window without sockets: its form, its input rules, the fill from the device
// table, the refresh and the ways it closes. The configuration write is tst_configwrite.

#include "detail/fieldpatterns.h"
#include "detail/subplcinfo.h"
#include "dialogs/about.h"
#include "protocol/devicecontext.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QWindow>

namespace {

// One device row as the main window lists it; the name cell keeps the name the device reported.
void addRow(QTableWidget &table, const QStringList &cells, const QString &reportedName = {})
{
    const int row = table.rowCount();
    table.insertRow(row);
    for (int column = 0; column < cells.size(); ++column)
        table.setItem(row, column, new QTableWidgetItem(cells.at(column)));
    if (!reportedName.isNull())
        table.item(row, DeviceColumn::Name)->setData(ReportedNameRole, reportedName);
    table.selectRow(row);
}

const QStringList sampleRow{QStringLiteral("PLC"),
                            QStringLiteral("KV516_K"),
                            QStringLiteral("192.168.001.002"),
                            QStringLiteral("50:E5:49:CE:2E:4A"),
                            QStringLiteral("255.255.255.000"),
                            QStringLiteral("192.168.001.001"),
                            QStringLiteral("001.000.000.000"),
                            QStringLiteral("00.16.00.00")};

const QStringList mappedRow{QStringLiteral("PLC"),
                            QStringLiteral("KVR-CTL700-MQ16TRB"),
                            QStringLiteral("192.168.1.9"),
                            QStringLiteral("50:E5:49:CE:2E:09"),
                            QStringLiteral("255.255.0.0"),
                            QStringLiteral("192.168.1.254"),
                            QStringLiteral("1.2.3"),
                            QStringLiteral("0.16")};

} // namespace

class TestSubPlcInfo : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void isFixedTopLevelWindow();
    void fields_data();
    void fields();
    void labels_data();
    void labels();
    void hintIsBlue();
    void buttonsMenusAndActions();
    void focusFollowsCreationOrder();

    void patterns_data();
    void patterns();
    void typingIntoAddressField_data();
    void typingIntoAddressField();
    void readOnlyFieldsRefuseTyping();

    void fillsFromCurrentRow();
    void keepsReportedName();
    void fillWithoutRowLeavesFieldsEmpty();
    void refresh_data();
    void refresh();

    void aboutOpensANewModalDialogEachTime();

    void everyCloseEmitsOnceAndReleases_data();
    void everyCloseEmitsOnceAndReleases();

private:
    SubPlcInfo *openWindow();
    template<typename T> T *child(SubPlcInfo *window, const char *name);

    QTableWidget *table = nullptr;
    QPointer<SubPlcInfo> window;
};

void TestSubPlcInfo::init()
{
    table = new QTableWidget(0, DeviceColumn::Count);
    addRow(*table, sampleRow);
    g_deviceTable = table;
}

void TestSubPlcInfo::cleanup()
{
    delete window;
    delete table;
    g_deviceTable = nullptr;
}

SubPlcInfo *TestSubPlcInfo::openWindow()
{
    QWidget parent;
    window = new SubPlcInfo(&parent);
    return window;
}

template<typename T> T *TestSubPlcInfo::child(SubPlcInfo *w, const char *name)
{
    T *found = w->findChild<T *>(QLatin1String(name));
    if (!found)
        qWarning("no child %s", name);
    return found;
}

void TestSubPlcInfo::isFixedTopLevelWindow()
{
    // The parent dies here and the window survives it: the argument is not used.
    SubPlcInfo *w = openWindow();
    QVERIFY(w->isWindow());
    QCOMPARE(w->parentWidget(), nullptr);
    QCOMPARE(w->windowTitle(), QStringLiteral("PLC信息"));
    QCOMPARE(w->size(), QSize(306, 388));
    QCOMPARE(w->minimumSize(), QSize(306, 388));
    QCOMPARE(w->maximumSize(), QSize(306, 388));
    QVERIFY(!w->isVisible());
    QVERIFY(w->toolTip().isEmpty());
    const auto *central = child<QWidget>(w, "centralWidget");
    QVERIFY(central && central->children().isEmpty());
}

void TestSubPlcInfo::fields_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<bool>("takesFocus");
    QTest::addColumn<int>("maxLength");
    QTest::addColumn<int>("margin");
    QTest::addColumn<QString>("styleSheet");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("whatsThis");

    const int defaultMax = QLineEdit().maxLength();
    const QString grey = QStringLiteral("background-color: lightGray");
    const QString ipv4 = FieldPattern::ipv4().pattern();
    const auto help = [](const char *text) {
        return QStringLiteral("<html><head/><body><p>%1</p></body></html>").arg(QString::fromUtf8(text));
    };

    QTest::newRow("name: grey, read-only, cut to 16")
        << QStringLiteral("PlcName") << QRect(130, 35, 121, 31) << true << true << 16 << 3 << grey
        << QStringLiteral("[a-zA-Z0-9]+$") << help("请输入设备名称");
    QTest::newRow("IP address: editable")
        << QStringLiteral("plcIP_Addr") << QRect(130, 75, 121, 31) << false << true << defaultMax << 5
        << QString() << ipv4 << help("请输入需要设定PLC地址；不能和网络中的其他子设备重复。");
    QTest::newRow("subnet mask: editable")
        << QStringLiteral("subnetMaskAddr") << QRect(130, 115, 121, 31) << false << true << defaultMax << 5
        << QString() << ipv4 << help("本PLC的子网掩码");
    QTest::newRow("gateway: editable")
        << QStringLiteral("subGateWayAddr") << QRect(130, 155, 121, 31) << false << true << defaultMax << 5
        << QString() << ipv4 << help("该子设备的网关");
    QTest::newRow("points: read-only but not grey")
        << QStringLiteral("PlcPoints") << QRect(130, 195, 121, 31) << true << true << defaultMax << 3
        << QString() << QString() << help("该PLC的点数");
    QTest::newRow("version: read-only, no focus")
        << QStringLiteral("PlcSW_Version") << QRect(130, 235, 121, 31) << true << false << defaultMax << 5
        << grey << QString() << help("PLC的软件版本");
    QTest::newRow("MAC: grey, read-only")
        << QStringLiteral("PlcMAC_Addr") << QRect(130, 275, 121, 31) << true << true << defaultMax << 3 << grey
        << QStringLiteral("^([0-9a-fA-F]{2})(([/s:][0-9a-fA-F]{2}){5})$") << help("PLC的MAC地址");
}

void TestSubPlcInfo::fields()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(bool, readOnly);
    QFETCH(bool, takesFocus);
    QFETCH(int, maxLength);
    QFETCH(int, margin);
    QFETCH(QString, styleSheet);
    QFETCH(QString, pattern);
    QFETCH(QString, whatsThis);

    SubPlcInfo *w = openWindow();
    const auto *field = w->findChild<QLineEdit *>(name);
    QVERIFY(field);
    QCOMPARE(field->parentWidget(), w);
    QCOMPARE(field->geometry(), geometry);
    QCOMPARE(field->isReadOnly(), readOnly);
    QCOMPARE(field->focusPolicy(), takesFocus ? Qt::StrongFocus : Qt::NoFocus);
    QCOMPARE(field->maxLength(), maxLength);
    QCOMPARE(field->textMargins(), QMargins(margin, 0, margin, 0));
    QCOMPARE(field->styleSheet(), styleSheet);
    QCOMPARE(field->whatsThis(), whatsThis);
    QVERIFY(field->toolTip().isEmpty());
    const auto *validator = qobject_cast<const QRegularExpressionValidator *>(field->validator());
    QCOMPARE(validator ? validator->regularExpression().pattern() : QString(), pattern);
    if (validator)
        QVERIFY(!(validator->regularExpression().patternOptions() & QRegularExpression::CaseInsensitiveOption));
}

void TestSubPlcInfo::labels_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");

    QTest::newRow("name") << QStringLiteral("deviceName") << QRect(60, 35, 51, 31) << QStringLiteral("设备名");
    QTest::newRow("IP") << QStringLiteral("IP_Addr") << QRect(60, 75, 51, 31) << QStringLiteral("IP地址");
    QTest::newRow("mask") << QStringLiteral("subnetMask") << QRect(50, 115, 51, 31) << QStringLiteral("子网掩码");
    QTest::newRow("gateway") << QStringLiteral("subGateWay") << QRect(70, 155, 51, 31) << QStringLiteral("网关");
    QTest::newRow("points") << QStringLiteral("PLC_Points") << QRect(60, 195, 51, 31) << QStringLiteral("PLC点数");
    QTest::newRow("version") << QStringLiteral("PLC_SW") << QRect(50, 235, 81, 31) << QStringLiteral("PLC版本信息");
    QTest::newRow("MAC") << QStringLiteral("PLC_MacLabel") << QRect(50, 275, 81, 31) << QStringLiteral("PLC MAC地址");
}

void TestSubPlcInfo::labels()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    SubPlcInfo *w = openWindow();
    const auto *label = w->findChild<QLabel *>(name);
    QVERIFY(label);
    QCOMPARE(label->geometry(), geometry);
    QCOMPARE(label->text(), text);
}

void TestSubPlcInfo::hintIsBlue()
{
    SubPlcInfo *w = openWindow();
    const QLabel *hint = nullptr;
    for (const QLabel *label : w->findChildren<QLabel *>())
        if (label->objectName().isEmpty())
            hint = label;
    QVERIFY(hint);
    QCOMPARE(hint->text(), QStringLiteral("提示：修改在重新启动设备后生效!"));
    QCOMPARE(hint->geometry(), QRect(50, 310, 200, 31));
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        QCOMPARE(hint->palette().brush(group, QPalette::WindowText), QBrush(Qt::blue, Qt::SolidPattern));
}

void TestSubPlcInfo::buttonsMenusAndActions()
{
    SubPlcInfo *w = openWindow();
    auto *fresh = child<QPushButton>(w, "freshBtn");
    auto *confirm = child<QPushButton>(w, "confirmBtn");
    QVERIFY(fresh && confirm);
    QCOMPARE(fresh->geometry(), QRect(40, 345, 81, 31));
    QCOMPARE(fresh->text(), QStringLiteral("刷新"));
    QCOMPARE(confirm->geometry(), QRect(180, 345, 81, 31));
    QCOMPARE(confirm->text(), QStringLiteral("确认修改"));
    QVERIFY(!fresh->isDefault() && !confirm->isDefault() && !fresh->autoDefault() && !confirm->autoDefault());

    auto *bar = child<QMenuBar>(w, "menuBar");
    QVERIFY(bar);
    QCOMPARE(bar->geometry(), QRect(0, 0, 306, 23));
    QCOMPARE(bar->minimumSize(), QSize(306, 23));
    QCOMPARE(bar->maximumSize(), QSize(306, 23));
    auto *setBar = child<QMenu>(w, "setBar");
    auto *aboutBar = child<QMenu>(w, "aboutBar");
    QVERIFY(setBar && aboutBar);
    QCOMPARE(setBar->parent(), bar);
    QCOMPARE(bar->actions(), (QList<QAction *>{setBar->menuAction(), aboutBar->menuAction()}));
    QCOMPARE(setBar->title(), QStringLiteral("设置"));
    QCOMPARE(aboutBar->title(), QStringLiteral("关于"));

    auto *refresh = child<QAction>(w, "Refresh");
    auto *confirmAction = child<QAction>(w, "modifyConfrim");
    auto *quit = child<QAction>(w, "quitAction");
    auto *about = child<QAction>(w, "aboutAction");
    QVERIFY(refresh && confirmAction && quit && about);
    const QList<QAction *> settings = setBar->actions();
    QCOMPARE(settings.size(), 4);
    QCOMPARE(settings.at(0), refresh);
    QCOMPARE(settings.at(1), confirmAction);
    QVERIFY(settings.at(2)->isSeparator());
    QCOMPARE(settings.at(3), quit);
    QCOMPARE(aboutBar->actions(), QList<QAction *>{about});
    QCOMPARE(refresh->text(), QStringLiteral("刷新"));
    QCOMPARE(confirmAction->text(), QStringLiteral("确认修改"));
    QCOMPARE(quit->text(), QStringLiteral("退出"));
    QCOMPARE(about->text(), QStringLiteral("关于"));
    for (const QAction *action : {refresh, confirmAction, quit, about}) {
        QCOMPARE(action->parent(), w);
        QVERIFY(action->shortcut().isEmpty());
        QVERIFY(action->icon().isNull());
    }
}

void TestSubPlcInfo::focusFollowsCreationOrder()
{
    SubPlcInfo *w = openWindow();
    QStringList order;
    for (QWidget *next = w->nextInFocusChain(); next != w; next = next->nextInFocusChain())
        if (next->focusPolicy() & Qt::TabFocus)
            order.append(next->objectName());
    const QStringList expected{QStringLiteral("PlcName"),     QStringLiteral("plcIP_Addr"),
                               QStringLiteral("subnetMaskAddr"), QStringLiteral("subGateWayAddr"),
                               QStringLiteral("PlcPoints"),   QStringLiteral("PlcMAC_Addr"),
                               QStringLiteral("freshBtn"),    QStringLiteral("confirmBtn")};
    QCOMPARE(order, expected);
}

void TestSubPlcInfo::patterns_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("state");

    const QString ip = QStringLiteral("ipv4");
    const QString mac = QStringLiteral("mac");
    const QString name = QStringLiteral("name");
    const int invalid = QValidator::Invalid, intermediate = QValidator::Intermediate,
              acceptable = QValidator::Acceptable;

    QTest::newRow("complete address") << ip << QStringLiteral("192.168.1.7") << acceptable;
    QTest::newRow("zero-padded groups") << ip << QStringLiteral("192.168.001.002") << acceptable;
    QTest::newRow("255 in every group") << ip << QStringLiteral("255.255.255.255") << acceptable;
    QTest::newRow("three groups typed") << ip << QStringLiteral("192.168.1.") << intermediate;
    QTest::newRow("one digit typed") << ip << QStringLiteral("1") << intermediate;
    QTest::newRow("empty field") << ip << QString() << intermediate;
    QTest::newRow("256 refused") << ip << QStringLiteral("256") << invalid;
    QTest::newRow("four digits in a group") << ip << QStringLiteral("1921") << invalid;
    QTest::newRow("letter refused") << ip << QStringLiteral("19a") << invalid;
    QTest::newRow("empty group") << ip << QStringLiteral("192..") << invalid;
    QTest::newRow("fifth group") << ip << QStringLiteral("1.2.3.4.") << invalid;
    QTest::newRow("leading blank") << ip << QStringLiteral(" 1.2.3.4") << invalid;
    // Pattern's $ also matches before a final newline: a pasted "1.2.3.4\n" may stand, but it is
    // never complete, so the write refuses it.
    QTest::newRow("trailing newline is never complete") << ip << QStringLiteral("1.2.3.4\n") << intermediate;
    QTest::newRow("\\d takes no full-width digit") << ip << QStringLiteral("\uFF11.2.3.4") << invalid;
    QTest::newRow("\\d takes no Arabic-Indic digit") << ip << QStringLiteral("\u0661.2.3.4") << invalid;
    QTest::newRow("table's MAC format") << mac << QStringLiteral("50:E5:49:CE:2E:4A") << acceptable;
    QTest::newRow("MAC with slashes") << mac << QStringLiteral("50/e5/49/ce/2e/4a") << acceptable;
    QTest::newRow("MAC with letter s separators") << mac << QStringLiteral("50sE5s49sCEs2Es4A") << acceptable;
    QTest::newRow("MAC with dashes") << mac << QStringLiteral("50-E5-49-CE-2E-4A") << invalid;
    QTest::newRow("MAC cut short") << mac << QStringLiteral("50:E5:49") << intermediate;
    QTest::newRow("name of letters and digits") << name << QStringLiteral("KV516K") << acceptable;
    QTest::newRow("name with a dash") << name << QStringLiteral("CTR516-K") << invalid;
}

void TestSubPlcInfo::patterns()
{
    QFETCH(QString, field);
    QFETCH(QString, input);
    QFETCH(int, state);
    const QRegularExpression expression = field == QLatin1String("ipv4") ? FieldPattern::ipv4()
                                          : field == QLatin1String("mac") ? FieldPattern::mac()
                                                                          : FieldPattern::name();
    QRegularExpressionValidator validator(expression);
    int position = 0;
    QCOMPARE(int(validator.validate(input, position)), state);
    if (field == QLatin1String("ipv4"))
        QCOMPARE(FieldPattern::isCompleteIPv4(input), state == QValidator::Acceptable);
}

void TestSubPlcInfo::typingIntoAddressField_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("shown");

    QTest::newRow("incomplete address stands") << QStringLiteral("plcIP_Addr") << QStringLiteral("192.168.1.")
                                               << QStringLiteral("192.168.1.");
    QTest::newRow("the 6 of 256 is refused") << QStringLiteral("plcIP_Addr") << QStringLiteral("10.0.0.256")
                                             << QStringLiteral("10.0.0.25");
    QTest::newRow("letters are refused") << QStringLiteral("subnetMaskAddr") << QStringLiteral("255.x255.y0.0")
                                         << QStringLiteral("255.255.0.0");
    QTest::newRow("fifth group refused") << QStringLiteral("subGateWayAddr") << QStringLiteral("1.2.3.4.5")
                                         << QStringLiteral("1.2.3.45");
    QTest::newRow("double dot refused") << QStringLiteral("subGateWayAddr") << QStringLiteral("192..168")
                                        << QStringLiteral("192.168");
}

void TestSubPlcInfo::typingIntoAddressField()
{
    QFETCH(QString, field);
    QFETCH(QString, keys);
    QFETCH(QString, shown);
    SubPlcInfo *w = openWindow();
    w->show();
    auto *edit = w->findChild<QLineEdit *>(field);
    QVERIFY(edit);
    edit->clear();
    QTest::keyClicks(edit, keys);
    QCOMPARE(edit->text(), shown);
}

void TestSubPlcInfo::readOnlyFieldsRefuseTyping()
{
    SubPlcInfo *w = openWindow();
    w->show();
    for (const char *name : {"PlcName", "PlcPoints", "PlcSW_Version", "PlcMAC_Addr"}) {
        auto *edit = child<QLineEdit>(w, name);
        QVERIFY(edit);
        const QString before = edit->text();
        edit->selectAll();
        QTest::keyClicks(edit, QStringLiteral("AB12"));
        QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(edit->text(), before);
    }
    // Read-only text can still be selected for copying.
    auto *mac = child<QLineEdit>(w, "PlcMAC_Addr");
    mac->selectAll();
    QCOMPARE(mac->selectedText(), QStringLiteral("50:E5:49:CE:2E:4A"));
}

void TestSubPlcInfo::fillsFromCurrentRow()
{
    addRow(*table, mappedRow, QStringLiteral("CTR516-K"));
    table->setCurrentCell(0, 3);
    SubPlcInfo *w = openWindow();
    // The sample row's zero-padded and odd texts are shown as the table has them.
    QCOMPARE(w->getPlcName(), QStringLiteral("KV516_K"));
    QCOMPARE(w->getIpAddr(), QStringLiteral("192.168.001.002"));
    QCOMPARE(w->getSubnetMask(), QStringLiteral("255.255.255.000"));
    QCOMPARE(w->getGateWay(), QStringLiteral("192.168.001.001"));
    QCOMPARE(w->getMacAddr(), QStringLiteral("50:E5:49:CE:2E:4A"));
    QCOMPARE(child<QLineEdit>(w, "PlcPoints")->text(), QStringLiteral("00.16.00.00"));
    QCOMPARE(child<QLineEdit>(w, "PlcSW_Version")->text(), QStringLiteral("001.000.000.000"));
    delete window;

    table->setCurrentCell(1, 0);
    w = openWindow();
    QCOMPARE(w->getPlcName(), QStringLiteral("KVR-CTL700-MQ16T"));
    QCOMPARE(w->getPlcName().size(), 16);
    QCOMPARE(w->getIpAddr(), QStringLiteral("192.168.1.9"));
    QCOMPARE(child<QLineEdit>(w, "PlcPoints")->text(), QStringLiteral("0.16"));
    QCOMPARE(child<QLineEdit>(w, "PlcSW_Version")->text(), QStringLiteral("1.2.3"));
    // The name and the MAC are wider than their fields: their beginning is what shows.
    QCOMPARE(child<QLineEdit>(w, "PlcName")->cursorPosition(), 0);
    QCOMPARE(child<QLineEdit>(w, "PlcMAC_Addr")->cursorPosition(), 0);
}

void TestSubPlcInfo::keepsReportedName()
{
    addRow(*table, mappedRow, QStringLiteral("CTR516-K"));
    QCOMPARE(openWindow()->getReportedName(), QStringLiteral("CTR516-K"));
    delete window;
    // A row without a reported name (the debug sample row): the shown name is the name.
    table->setCurrentCell(0, 0);
    QCOMPARE(openWindow()->getReportedName(), QStringLiteral("KV516_K"));
}

void TestSubPlcInfo::fillWithoutRowLeavesFieldsEmpty()
{
    table->setRowCount(0);
    SubPlcInfo *w = openWindow();
    QVERIFY(w->getPlcName().isEmpty());
    QVERIFY(w->getMacAddr().isEmpty());
    QVERIFY(w->getReportedName().isEmpty());
    delete window;
    g_deviceTable = nullptr;
    QVERIFY(openWindow()->getIpAddr().isEmpty());
}

void TestSubPlcInfo::refresh_data()
{
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<QString>("tableChange");
    QTest::addColumn<QString>("ipAfter");

    const QString typed = QStringLiteral("10.1.1.1");
    const QString cell = QStringLiteral("192.168.001.002");
    const QString newCell = QStringLiteral("192.168.1.50");
    for (const QString &trigger : {QStringLiteral("freshBtn"), QStringLiteral("Refresh")}) {
        const QByteArray by = trigger.toLatin1();
        QTest::newRow(by + ": same device, edits dropped") << trigger << QStringLiteral("none") << cell;
        QTest::newRow(by + ": same device, new values shown") << trigger << QStringLiteral("new address") << newCell;
        QTest::newRow(by + ": another row current, fields kept") << trigger << QStringLiteral("other row") << typed;
        QTest::newRow(by + ": list emptied, fields kept") << trigger << QStringLiteral("emptied") << typed;
    }
}

void TestSubPlcInfo::refresh()
{
    QFETCH(QString, trigger);
    QFETCH(QString, tableChange);
    QFETCH(QString, ipAfter);

    SubPlcInfo *w = openWindow();
    child<QLineEdit>(w, "plcIP_Addr")->setText(QStringLiteral("10.1.1.1"));
    if (tableChange == QLatin1String("new address"))
        table->item(0, DeviceColumn::IpAddress)->setText(QStringLiteral("192.168.1.50"));
    else if (tableChange == QLatin1String("other row"))
        addRow(*table, mappedRow, QStringLiteral("CTR516-K"));
    else if (tableChange == QLatin1String("emptied"))
        table->setRowCount(0);

    if (auto *button = w->findChild<QPushButton *>(trigger))
        button->click();
    else
        w->findChild<QAction *>(trigger)->trigger();
    QCOMPARE(w->getIpAddr(), ipAfter);
    QCOMPARE(w->getMacAddr(), QStringLiteral("50:E5:49:CE:2E:4A"));
    QVERIFY(window);
}

void TestSubPlcInfo::aboutOpensANewModalDialogEachTime()
{
    SubPlcInfo *w = openWindow();
    w->show();
    QList<QPointer<About>> opened;
    QList<Qt::WindowModality> modality;
    QTimer closer;
    connect(&closer, &QTimer::timeout, this, [&] {
        if (auto *about = qobject_cast<About *>(QApplication::activeModalWidget())) {
            opened.append(about);
            modality.append(about->windowModality());
            QCOMPARE(about->parentWidget(), w);
            about->findChild<QPushButton *>(QStringLiteral("confirmButton"))->click();
        }
    });
    closer.start(10);
    auto *about = child<QAction>(w, "aboutAction");
    about->trigger();
    QCOMPARE(opened.size(), 1);
    QVERIFY(opened.at(0).isNull()); // released when it closed
    about->trigger();
    QCOMPARE(opened.size(), 2);
    QCOMPARE(modality, (QList<Qt::WindowModality>{Qt::ApplicationModal, Qt::ApplicationModal}));
    QVERIFY(w->isVisible());
}

void TestSubPlcInfo::everyCloseEmitsOnceAndReleases_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("quit action") << QStringLiteral("quit");
    QTest::newRow("window's close control") << QStringLiteral("close event");
    QTest::newRow("close()") << QStringLiteral("close");
}

void TestSubPlcInfo::everyCloseEmitsOnceAndReleases()
{
    QFETCH(QString, how);
    SubPlcInfo *w = openWindow();
    w->show();
    QSignalSpy closed(w, &SubPlcInfo::subPlcWindowClosed);
    bool visibleAtSignal = false;
    connect(w, &SubPlcInfo::subPlcWindowClosed, this, [&] { visibleAtSignal = w->isVisible(); });

    if (how == QLatin1String("quit")) {
        child<QAction>(w, "quitAction")->trigger();
    } else if (how == QLatin1String("close event")) {
        // What the window system sends when the user clicks the title bar's close button.
        QCloseEvent event;
        QApplication::sendEvent(w->windowHandle(), &event);
        QVERIFY(event.isAccepted());
    } else {
        QVERIFY(w->close());
    }
    QCOMPARE(closed.size(), 1);
    QVERIFY(visibleAtSignal);
    QVERIFY(!w->isVisible());
    // Nothing refers to a closed window: it is released.
    QTRY_VERIFY(window.isNull());
    QCOMPARE(closed.size(), 1);
}

QTEST_MAIN(TestSubPlcInfo)
#include "tst_subplcinfo.moc"
