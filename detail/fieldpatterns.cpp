#include "fieldpatterns.h"

#include <QRegularExpression>

namespace FieldPattern {

QRegularExpression name()
{
    return QRegularExpression(QStringLiteral(R"([a-zA-Z0-9]+$)"));
}

QRegularExpression ipv4()
{
    return QRegularExpression(
        QStringLiteral(R"(^((2[0-4]\d|25[0-5]|[01]?\d\d?)\.){3}(2[0-4]\d|25[0-5]|[01]?\d\d?)$)"));
}

QRegularExpression mac()
{
    return QRegularExpression(QStringLiteral(R"(^([0-9a-fA-F]{2})(([/s:][0-9a-fA-F]{2}){5})$)"));
}

} // namespace FieldPattern
