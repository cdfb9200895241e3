#pragma once

#include <QString>

class QRegularExpression;

// The input rules of the detail window's fields, as the devices' configuration tool has always
// written them. The validators anchor each expression to the whole text, so the ^ and $ inside
// them change nothing; \d matches ASCII digits only.
namespace FieldPattern {

// The device name: letters and digits.
QRegularExpression name();
// A dotted quad, each group 0 to 255, leading zeros allowed ("192.168.001.002").
QRegularExpression ipv4();
// Six hex pairs; the separator class admits '/', 's' and ':'.
QRegularExpression mac();

} // namespace FieldPattern
