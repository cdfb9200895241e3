// Address plans, in tables: how they are read (as spreadsheets and hands write them, and as the
// search writes them), what is refused with which line and column, the repeats found before
// anything is sent, and the escaping that keeps names from a network harmless in a terminal and in
// a spreadsheet. The words for people are tried through kvrctl700-cli in tst_cli.

#include "cli/devicelisting.h"
#include "cli/textformats.h"
#include "commissioning/plancheck.h"
#include "commissioning/planfile.h"
#include "protocol/conversions.h"
#include "support/testsupport.h"

#include <QFile>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringEncoder>
#include <QTest>

using namespace Qt::StringLiterals;

using kvrtest::hex;

namespace {

const QStringList ProblemNames = u"TooLarge Empty UnclosedQuote TextAfterQuote CarriageReturn NoColumnNamed ColumnMissing "
                                  "ColumnTwice TooManyRows MissingField ExtraField NotUtf8 BadMac BadAddress NoRows"_s.split(u' ');

QString address(quint32 value)
{
    return QHostAddress(value).toString();
}

// The rows as "line mac ip mask gateway", one a line; or the error as "Problem line field column"
// (the separator seen instead of the column, for a header that names no column).
QString outcome(const PlanFile::Reading &reading)
{
    if (const std::optional<PlanFile::Error> &error = reading.error) {
        QString column = PlanFile::columnName(error->column);
        if (error->problem == PlanFile::Problem::NoColumnNamed)
            column = error->separator == '\t' ? u"tab"_s
                                              : (error->separator ? QString(QLatin1Char(error->separator)) : u"none"_s);
        return u"%1 %2 %3 %4"_s.arg(ProblemNames.value(int(error->problem))).arg(error->line).arg(error->field).arg(column);
    }
    QStringList rows;
    for (const PlanFile::Row &row : reading.rows)
        rows.append(u"%1 %2 %3 %4 %5"_s.arg(row.line).arg(macBytesToText(row.mac), address(row.settings.ip),
                                                                        address(row.settings.mask), address(row.settings.gateway)));
    return rows.join(u'\n');
}

QList<PlanFile::Row> plan(const QString &rows)
{
    QList<PlanFile::Row> plan;
    for (const QString &text : rows.split(u';')) {
        const QStringList parts = text.split(u' ');
        plan.append({int(plan.size()) + 2, hex(parts[0].toLatin1()),
                     {QHostAddress(parts[1]).toIPv4Address(), QHostAddress(u"255.255.0.0"_s).toIPv4Address(), 0}});
    }
    return plan;
}

} // namespace

class TestPlanFile : public QObject
{
    Q_OBJECT

private slots:
    void reading_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, const QByteArray &content, const QString &expected) {
            QTest::newRow(name) << content << expected;
        };
        const auto sample = [](const char *file) { // saved by LibreOffice Calc
            QFile sample(QStringLiteral(KVR_PLANS_DIR "/") + QLatin1String(file));
            return sample.open(QIODevice::ReadOnly) ? sample.readAll() : QByteArray();
        };
        const QByteArray plc = "02:4B:56:10:00:01,198.18.0.11,255.255.0.0,198.18.0.254";
        const QString plcRow = u"02:4B:56:10:00:01 198.18.0.11 255.255.0.0 198.18.0.254"_s;
        const QString sampleRows = u"2 02:4B:56:10:00:01 198.18.0.12 255.255.0.0 198.18.0.254\n"
                                   "4 02:4B:56:40:00:02 198.19.0.22 255.255.0.0 198.19.0.254"_s;

        row("any column order and case, extra columns, quotes", "GATEWAY,name,Mac,ip,mask\n198.18.0.254,\"PRESS \"\"A\"\", 2\","
            "02-4b-56-10-00-01,198.18.0.11,255.255.0.0\n", u"2 "_s + plcRow);
        row("blank lines skipped, line numbers kept",
            "\nmac,ip,mask,gateway\n\n 02:4B:56:10:00:01 , 198.18.0.11,255.255.0.0,198.18.0.254\n\n", u"4 "_s + plcRow);
        row("a row of empty fields, as a spreadsheet writes a blank row",
            "mac;ip;mask;gateway;note\n;;;;\n ; \"\" ;;;\n" + QByteArray(plc).replace(',', ';'), u"4 "_s + plcRow);
        row("a row without its empty last fields", "mac,ip,mask,gateway,name,note\n" + plc + "\n", u"2 "_s + plcRow);
        row("empty fields past the header's last", "mac,ip,mask,gateway\n" + plc + ",,\n", u"2 "_s + plcRow);
        row("a line break, separators and quotes inside a quoted name", "name,mac,ip,mask,gateway\n\"LINE 1,\r\n\"\"NORTH\"\"\","
            + plc + "\n\"x\"," + QByteArray(plc).replace("01,198.18.0.11", "02,198.18.0.12") + "\n",
            u"2 "_s + plcRow + u"\n4 02:4B:56:10:00:02 198.18.0.12 255.255.0.0 198.18.0.254"_s);
        row("UTF-8 byte-order mark and CRLF, as Excel's CSV UTF-8", "\xEF\xBB\xBFmac,ip,mask,gateway\r\n" + plc + "\r\n",
            u"2 "_s + plcRow);
        row("UTF-16 big-endian with its byte-order mark", QStringEncoder(QStringEncoder::Utf16BE, QStringEncoder::Flag::WriteBom)
            .encode(QString::fromLatin1("mac,ip,mask,gateway\n" + plc)), u"2 "_s + plcRow);
        row("semicolons, UTF-8", sample("libreoffice-semicolon-utf8.csv"), sampleRows);
        row("semicolons, Windows-1252 in a note", sample("libreoffice-semicolon-windows1252.csv"), sampleRows);
        row("tabs, UTF-16 (Unicode text)", sample("libreoffice-tab-utf16.csv"), sampleRows);

        row("not UTF-8 in a column it reads: line and column named",
            "note,mac,ip,mask,gateway\nx," + QByteArray(plc).replace(",198.18.0.254", ",198.18.0.254\xA0") + "\n",
            u"NotUtf8 2 5 gateway"_s);
        row("Windows-1252 no-break space after a MAC", sample("libreoffice-comma-windows1252-nbsp-in-mac.csv"), u"NotUtf8 2 1 mac"_s);
        row("a semicolon header read with commas would name nothing: it is read with semicolons", "mac;ip;mask\n",
            u"ColumnMissing 1 0 gateway"_s);
        row("a header in another language: the separator it saw", "MAC-Adresse;IP-Adresse;Maske\n1;2;3\n", u"NoColumnNamed 1 0 ;"_s);
        row("a header with no separator at all", "hello\n", u"NoColumnNamed 1 0 none"_s);
        row("a row too short for its gateway", "mac,ip,mask,gateway\n02:4B:56:10:00:01,198.18.0.11,255.255.0.0\n",
            u"MissingField 2 4 gateway"_s);
        row("an unquoted separator inside a name shifts the row", "mac,ip,mask,gateway,name\n" + plc + ",PRESS 2, LEFT\n",
            u"ExtraField 2 6 mac"_s);
        row("a quote left open", "mac,ip,mask,gateway\n\"02:4B:56:10:00:01,1.2.3.4,255.0.0.0,0.0.0.0\n", u"UnclosedQuote 2 1 mac"_s);
        row("text after a closing quote", "mac,ip,mask,gateway\n\"02\"x,1,2,3\n", u"TextAfterQuote 2 1 mac"_s);
        row("a column twice", "mac,ip,mask,gateway,IP\n", u"ColumnTwice 1 0 ip"_s);
        row("an empty gateway", "mac,ip,mask,gateway\n02:4B:56:10:00:01,198.18.0.11,255.255.0.0,\n", u"BadAddress 2 4 gateway"_s);
        row("a MAC of five pairs", "mac,ip,mask,gateway\n02:4B:56:10:00,198.18.0.11,255.255.0.0,0.0.0.0\n", u"BadMac 2 1 mac"_s);
        row("a header and no rows", "mac,ip,mask,gateway\r\n,,,\r\n", u"NoRows 0 0 mac"_s);
        row("nothing but blank lines", "\n \r\n;;\n", u"Empty 0 0 mac"_s);
        row("lone carriage returns", "mac,ip,mask,gateway\r02:4B:56:10:00:01,1.2.3.4\r", u"CarriageReturn 1 0 mac"_s);
    }

    void reading()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        QCOMPARE(outcome(PlanFile::read(content)), expected);
    }

    void bounds()
    {
        const QByteArray header("mac,ip,mask,gateway\n");
        QByteArray rows = header;
        for (int i = 0; i < PlanFile::MaxRows; ++i) // all MACs and addresses different
            rows += (macBytesToText(hex("024B") + hex(u"%1"_s.arg(i << 8, 8, 16, '0'_L1).toLatin1())) + u',' + address(0x0A000000u + i)
                     + u",255.0.0.0,0.0.0.0\n"_s).toLatin1();
        QCOMPARE(PlanFile::read(rows).rows.size(), PlanFile::MaxRows);
        QCOMPARE(outcome(PlanFile::read(rows + "\n,,,\n02:4B:FF:FF:FF:FF,10.255.0.1,255.0.0.0,0.0.0.0\n")),
                 u"TooManyRows %1 0 mac"_s.arg(PlanFile::MaxRows + 4));
        QCOMPARE(outcome(PlanFile::read(header + QByteArray(PlanFile::MaxBytes, ' '))), u"TooLarge 0 0 mac"_s);
    }

    void repeats_data()
    {
        QTest::addColumn<QString>("rows");     // "mac ip", joined by ';', on lines 2, 3, ...
        QTest::addColumn<QString>("expected"); // "MAC|IP line firstLine", joined by ';'

        QTest::newRow("none") << "024B56100001 198.18.0.11;024B56100002 198.18.0.12" << "";
        QTest::newRow("a MAC twice") << "024B56100001 198.18.0.11;024B56100001 198.18.0.12" << "MAC 3 2";
        QTest::newRow("an IP address twice") << "024B56100001 198.18.0.11;024B56100002 198.18.0.11" << "IP 3 2";
        QTest::newRow("a row repeating both is named once, for its MAC")
            << "024B56100001 198.18.0.11;024B56100001 198.18.0.11" << "MAC 3 2";
        QTest::newRow("a fill-down names the first line every time, not each earlier copy")
            << "024B56100001 198.18.0.11;024B56100001 198.18.0.12;024B56100001 198.18.0.13;024B56100001 198.18.0.14"
            << "MAC 3 2;MAC 4 2;MAC 5 2";
        QTest::newRow("an IP address first given on a row that repeats a MAC")
            << "024B56100001 198.18.0.11;024B56100001 198.18.0.12;024B56100003 198.18.0.12" << "MAC 3 2;IP 4 3";
    }

    void repeats()
    {
        QFETCH(QString, rows);
        QFETCH(QString, expected);

        QStringList found;
        for (const PlanCheck::Repeat &repeat : PlanCheck::repeats(plan(rows)))
            found.append(u"%1 %2 %3"_s.arg(QLatin1String(repeat.what == PlanCheck::Repeat::What::Mac ? "MAC" : "IP"))
                             .arg(repeat.line)
                             .arg(repeat.firstLine));
        QCOMPARE(found.join(u';'), expected);
    }

    void csvFields_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("written");

        QTest::newRow("plain") << "LINE1-PLC" << "LINE1-PLC";
        QTest::newRow("a formula") << "=1+2+3" << "'=1+2+3";
        QTest::newRow("a plus, a minus, an at") << "+A-@" << "'+A-@";
        QTest::newRow("a command for old spreadsheets") << "-2+3+cmd|' /C calc'!A0" << "'-2+3+cmd|' /C calc'!A0";
        QTest::newRow("@SUM") << "@SUM(A1)" << "'@SUM(A1)";
        QTest::newRow("a leading tab") << "\t=1" << "'\t=1";
        QTest::newRow("a leading carriage return is quoted too") << "\r=1" << "\"'\r=1\"";
        QTest::newRow("a minus inside is harmless") << "A-1" << "A-1";
        QTest::newRow("a comma") << "PRESS 2, LEFT" << "\"PRESS 2, LEFT\"";
        QTest::newRow("a double quote") << "PRESS \"A\"" << "\"PRESS \"\"A\"\"\"";
        QTest::newRow("a line break") << "LINE\nTWO" << "\"LINE\nTWO\"";
        QTest::newRow("blanks at its ends") << " A " << "\" A \"";
    }

    void csvFields()
    {
        QFETCH(QString, field);
        QFETCH(QString, written);

        QCOMPARE(Cli::csvLine({field}), written + u'\n');
    }

    void printable_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");

        QTest::newRow("plain, with a backslash") << "LINE1-PLC \\ A" << "LINE1-PLC \\ A";
        QTest::newRow("a title change") << "\x1B]0;owned\x07X" << "\\e]0;owned\\x07X";
        QTest::newRow("a screen clear") << "\x1B[2J" << "\\e[2J";
        QTest::newRow("a line break and a carriage return") << "A\nB\rC\tD" << "A\\nB\\rC\\tD";
        QTest::newRow("DEL and an 8-bit CSI, as a device's Latin-1 name brings them")
            << QString::fromLatin1("A\x7F" "B\x9B" "C") << "A\\x7fB\\x9bC";
        QTest::newRow("a right-to-left override") << QString::fromUtf8("A\u202EB") << "A\\u202eB";
        QTest::newRow("letters of other scripts stay") << QString::fromUtf8("Süd 南") << QString::fromUtf8("Süd 南");
    }

    void printable()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);

        QCOMPARE(Cli::printable(text), shown);
        // The table escapes every cell: one line a row, whatever the names hold.
        QCOMPARE(Cli::textTable({u"NAME"_s, u"X"_s}, {{text, u"x"_s}}).count(u'\n'), 2);
    }

    void listingsOfAHostileName_data()
    {
        QTest::addColumn<QByteArray>("name"); // as the device's reply carries it

        QTest::newRow("a title change and a bell") << QByteArray("\x1B]0;owned\x07");
        QTest::newRow("an 8-bit CSI") << QByteArray("\x9B" "2J" "PLC");
        QTest::newRow("a line break that would forge a row") << QByteArray("X\n02:4B:56:99:99:99,1.2.3.4,255.0.0.0,0.0.0.0");
        QTest::newRow("a formula") << QByteArray("=HYPERLINK(\"http://x\")");
        QTest::newRow("quotes and separators") << QByteArray("A,\"B\";C\tD");
        QTest::newRow("a CRLF and a quote alone") << QByteArray("LINE\r\n\"TWO");
        QTest::newRow("blanks around a minus") << QByteArray(" -1 ");
        QTest::newRow("no name") << QByteArray();
    }

    void listingsOfAHostileName()
    {
        QFETCH(QByteArray, name);

        FoundDevice device;
        device.reply = {"PLC", hex("024B56100001"), name, {}, hex("C6 12 00 0A FF FF 00 00 C6 12 00 FE"), {}};
        device.interfaces = {2};
        const QList<FoundDevice> devices{device};

        // The table: one line for the header, one for the device; nothing a terminal would act on.
        const QString table = Cli::DeviceListing::format(Cli::DeviceListing::Format::Table, devices, {}, 1);
        const QStringList lines = table.split(u'\n', Qt::SkipEmptyParts);
        QVERIFY2(lines.size() >= 2 && lines.at(1).startsWith("PLC"_L1), qPrintable(table));
        for (const QString &line : lines)
            QVERIFY2(Cli::printable(line) == line, qPrintable(line));

        // The CSV: a plan of exactly this device, and no cell a spreadsheet evaluates.
        const QString csv = Cli::DeviceListing::format(Cli::DeviceListing::Format::Csv, devices, {}, 1);
        QCOMPARE(outcome(PlanFile::read(csv.toUtf8())), u"2 02:4B:56:10:00:01 198.18.0.10 255.255.0.0 198.18.0.254"_s);
        QVERIFY2(!csv.contains(",="_L1) && !csv.contains(",\"="_L1), qPrintable(csv));

        // JSON lines: the name comes back as it was, in one line.
        const QStringList jsonLines = Cli::DeviceListing::format(Cli::DeviceListing::Format::Jsonl, devices, {}, 1)
                                          .split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(jsonLines.size(), 2);
        const QJsonObject listed = QJsonDocument::fromJson(jsonLines.at(0).toUtf8())["device"_L1].toObject();
        QCOMPARE(listed.value("name"_L1).toString(), QString::fromLatin1(name));
    }

};

QTEST_GUILESS_MAIN(TestPlanFile)
#include "tst_planfile.moc"
