#pragma once

#include <QDialog>

class QPushButton;

// The program's version and release date, who makes it and where to find them. Opened modally
// with exec(); releases itself when closed.
class About : public QDialog
{
    Q_OBJECT

public:
    explicit About(QWidget *parent = nullptr);

private slots:
    void confirm_clicked();

private:
    QPushButton *confirmButton;
};
