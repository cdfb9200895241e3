#pragma once

#include <QString>

class QGridLayout;
class QLabel;
class QPushButton;
class QWidget;

// The grid that the About and host information dialogs share: text lines in column 0 from row 0
// down, the confirm button centred in row 4, 10 pixels of margin and spacing.
namespace DialogGrid {

inline constexpr int ButtonRow = 4;

// Creates the grid and installs it as the dialog's layout.
QGridLayout *create(QWidget *dialog);

// A text line in column 0 of the given row. Shown as plain text: the lines may hold values from
// outside the program (environment, interfaces), which must never be read as markup.
QLabel *addTextLine(QGridLayout *grid, int row, const QString &text);

// The confirm button, centred in the button row.
void addConfirmButton(QGridLayout *grid, QPushButton *button);

} // namespace DialogGrid
