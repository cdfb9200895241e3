#include "dialogs/dialoggrid.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace DialogGrid {

QGridLayout *create(QWidget *dialog)
{
    auto *grid = new QGridLayout(dialog);
    grid->setContentsMargins(10, 10, 10, 10);
    grid->setSpacing(10);
    grid->setColumnStretch(0, 1);
    grid->setRowStretch(0, 1);
    grid->setColumnMinimumWidth(1, 1);
    grid->setRowMinimumHeight(ButtonRow, 20);
    return grid;
}

QLabel *addTextLine(QGridLayout *grid, int row, const QString &text)
{
    auto *label = new QLabel(text, grid->parentWidget());
    label->setTextFormat(Qt::PlainText);
    grid->addWidget(label, row, 0);
    return label;
}

void addConfirmButton(QGridLayout *grid, QPushButton *button)
{
    grid->addWidget(button, ButtonRow, 0, 1, 1, Qt::AlignHCenter);
}

} // namespace DialogGrid
