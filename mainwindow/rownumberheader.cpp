#include "rownumberheader.h"

RowNumberHeader::RowNumberHeader(QWidget *parent) : QHeaderView(Qt::Vertical, parent)
{
    // As the table's own vertical header is set up.
    setSectionsClickable(true);
    setHighlightSections(true);
}

QSize RowNumberHeader::sizeHint() const
{
    if (count() == 0)
        return QHeaderView::sizeHint();
    return sectionSizeFromContents(0).expandedTo(sectionSizeFromContents(count() - 1));
}
