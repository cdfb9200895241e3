#pragma once

#include "protocol/addresscheck.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QWidget>

class QAction;
class QCloseEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPushButton;

// The window that shows one device, the one in the current row of the device table, and writes
// a changed IP address, subnet mask and gateway back to it. A top-level window of fixed size; it
// takes its values from the table's cells, never from the socket's device record.
class SubPlcInfo : public QWidget
{
    Q_OBJECT

public:
    // The parent is accepted for the caller's convenience but not used: the window stands beside
    // the main window rather than inside it. It is released as soon as it closes.
    explicit SubPlcInfo(QWidget *parent = nullptr);
    ~SubPlcInfo() override;

    QString getPlcName() const;
    QString getIpAddr() const;
    QString getSubnetMask() const;
    QString getGateWay() const;
    QString getMacAddr() const;
    // The name the device itself reported. The name field may show a model text instead, and
    // writing that text back would rename the device.
    QString getReportedName() const;

signals:
    void subPlcWindowClosed();
    // A write of these settings left for the device of this MAC text; the window closes next.
    // `warnings`: what the address checks found worth a second look, for the user.
    void settingsSent(const QString &macText, const AddressCheck::Settings &settings, const QStringList &warnings);

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void quitActionSlot();
    void refreshActionSlot();
    void modifyConfirmActionSlot();
    void aboutActionSlot();

private:
    void setupForm();
    void retranslateForm();
    void connectActions();
    void fillFromTable();
    QLineEdit *addField(const char *objectName, int y, int horizontalMargin);
    QLabel *addLabel(const char *objectName, int x, int y, int width, QLineEdit *field);
    void makeReadOnly(QLineEdit *field);
    void showDeviceValue(QLineEdit *field, const QString &value);
    // The reason the write must not go out, or an empty text when it may.
    QString refusalReason(const QList<AddressCheck::Finding> &findings) const;
    QString refusalText(const AddressCheck::Finding &finding) const;
    QStringList warningTexts(const QList<AddressCheck::Finding> &findings, const AddressCheck::Settings &settings) const;
    QString notSentText() const;

    QAction *quitAction = nullptr;
    QAction *Refresh = nullptr;
    QAction *modifyConfrim = nullptr;
    QAction *aboutAction = nullptr;
    QWidget *centralWidget = nullptr;
    QLineEdit *PlcName = nullptr;
    QLabel *deviceName = nullptr;
    QLineEdit *plcIP_Addr = nullptr;
    QLabel *IP_Addr = nullptr;
    QLineEdit *subnetMaskAddr = nullptr;
    QLabel *subnetMask = nullptr;
    QLineEdit *subGateWayAddr = nullptr;
    QLabel *subGateWay = nullptr;
    QLineEdit *PlcPoints = nullptr;
    QLabel *PLC_Points = nullptr;
    QLineEdit *PlcSW_Version = nullptr;
    QLabel *PLC_SW = nullptr;
    QLineEdit *PlcMAC_Addr = nullptr;
    QLabel *PLC_MacLabel = nullptr;
    QLabel *hintLabel = nullptr;
    QPushButton *freshBtn = nullptr;
    QPushButton *confirmBtn = nullptr;
    QMenuBar *menuBar = nullptr;
    QMenu *setBar = nullptr;
    QMenu *aboutBar = nullptr;

    QString reportedName;
    QString deviceMac; // the MAC text of the device shown, as listed when the window opened
    QHash<const QLineEdit *, QString> deviceValues; // what each read-only field shows
};
