#pragma once

#include <QDialog>
#include <QString>

class QPushButton;

// This machine's name, first IPv4 address and first interface's hardware address, looked up
// anew for every dialog. Opened modally with exec(); releases itself when closed.
class Info : public QDialog
{
    Q_OBJECT

public:
    explicit Info(QWidget *parent = nullptr);

    static QString localHostName();
    static QString localIpAddress();
    static QString localMacAddress();

private slots:
    void confirm_clicked();

private:
    QPushButton *confirmButton;
};
