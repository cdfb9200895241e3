#include "dialogs/about.h"

#include "dialogs/dialoggrid.h"

#include <QGridLayout>
#include <QPushButton>

About::About(QWidget *parent)
    : QDialog(parent)
    , confirmButton(new QPushButton(tr("确定"), this))
{
    setWindowTitle(tr("关于"));
    // Nothing refers to a closed dialog; exec() releases it on return.
    setAttribute(Qt::WA_DeleteOnClose);

    QGridLayout *grid = DialogGrid::create(this);
    DialogGrid::addTextLine(grid, 0, tr("版本：1.00.00.00140"));
    DialogGrid::addTextLine(grid, 1, tr("日期：2020-04-10"));
    DialogGrid::addTextLine(grid, 2, tr("kvrctl700 开发组"));
    DialogGrid::addTextLine(grid, 3, tr("kvrctl700.example.org"));
    confirmButton->setObjectName(QStringLiteral("confirmButton"));
    DialogGrid::addConfirmButton(grid, confirmButton);
    connect(confirmButton, &QPushButton::clicked, this, &About::confirm_clicked);
}

void About::confirm_clicked()
{
    close();
}
