#pragma once

#include <QHeaderView>

// The device table's vertical header: Qt's row numbers, sized from the first and the last row
// alone. The stock header measures up to 200 rows every time a row is added and selected, which
// makes filling the visible table with 127 devices quadratic (tens of milliseconds); the row
// numbers are its only contents, and the last one is the widest.
class RowNumberHeader : public QHeaderView
{
public:
    explicit RowNumberHeader(QWidget *parent = nullptr);

    QSize sizeHint() const override;
};
