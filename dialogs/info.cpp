#include "dialogs/info.h"

#include "dialogs/dialoggrid.h"
#include "dialogs/hostlookup.h"

#include <QGridLayout>
#include <QNetworkInterface>
#include <QProcess>
#include <QPushButton>

Info::Info(QWidget *parent)
    : QDialog(parent)
    , confirmButton(new QPushButton(tr("确定"), this))
{
    setWindowTitle(tr("本机信息"));
    // Nothing refers to a closed dialog; exec() releases it on return.
    setAttribute(Qt::WA_DeleteOnClose);

    QGridLayout *grid = DialogGrid::create(this);
    const QString name = localHostName();
    const QString ipAddress = localIpAddress();
    const QString macAddress = localMacAddress();
    DialogGrid::addTextLine(grid, 0, tr("本机名：%1").arg(name));
    DialogGrid::addTextLine(grid, 1, tr("IP地址：%1").arg(ipAddress));
    DialogGrid::addTextLine(grid, 2, tr("MAC：%1").arg(macAddress));
    confirmButton->setObjectName(QStringLiteral("confirmButton"));
    DialogGrid::addConfirmButton(grid, confirmButton);
    connect(confirmButton, &QPushButton::clicked, this, &Info::confirm_clicked);
}

QString Info::localHostName()
{
    return HostLookup::hostNameFromEnvironment(QProcess::systemEnvironment());
}

QString Info::localIpAddress()
{
    return HostLookup::firstIpv4Address(QNetworkInterface::allAddresses());
}

QString Info::localMacAddress()
{
    QStringList hardwareAddresses;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &networkInterface : interfaces)
        hardwareAddresses << networkInterface.hardwareAddress();
    return HostLookup::firstHardwareAddress(hardwareAddresses);
}

void Info::confirm_clicked()
{
    close();
}
