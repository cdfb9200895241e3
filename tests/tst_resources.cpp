// The icons compiled into the core library are found under ":/" by anything that links it.

#include <QFile>
#include <QImageReader>
#include <QSize>
#include <QTest>
#include <QtEndian>

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void imagesAtTheirPaths_data();
    void imagesAtTheirPaths();
    void appIconHoldsOne32BitImage();
};

void TestResources::imagesAtTheirPaths_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("size");

    QTest::newRow("application icon") << QStringLiteral(":/app.ico") << QByteArray("ico") << QSize(128, 128);
    QTest::newRow("settings menu") << QStringLiteral(":/setting.png") << QByteArray("png") << QSize(33, 33);
    QTest::newRow("language menu") << QStringLiteral(":/language.png") << QByteArray("png") << QSize(33, 33);
    QTest::newRow("tool bar background")
        << QStringLiteral(":/toolbarbackground.png") << QByteArray("png") << QSize(12, 25);
}

void TestResources::imagesAtTheirPaths()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);

    QVERIFY2(QFile::exists(path), qPrintable(path));
    QImageReader reader(path);
    QCOMPARE(reader.format(), format);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), size);
    QVERIFY(image.hasAlphaChannel());
}

void TestResources::appIconHoldsOne32BitImage()
{
    QFile file(QStringLiteral(":/app.ico"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const auto u8 = [&](int at) { return quint8(bytes.at(at)); };
    const auto u16 = [&](int at) { return qFromLittleEndian<quint16>(bytes.constData() + at); };
    const auto u32 = [&](int at) { return qFromLittleEndian<quint32>(bytes.constData() + at); };

    // Directory: reserved, type 1 (icon), one image; its entry: 128 x 128, 32 bits per pixel.
    QCOMPARE(bytes.size(), 67646);
    QCOMPARE(u16(0), quint16(0));
    QCOMPARE(u16(2), quint16(1));
    QCOMPARE(u16(4), quint16(1));
    QCOMPARE(u8(6), quint8(128));
    QCOMPARE(u8(7), quint8(128));
    QCOMPARE(u16(12), quint16(32));
    QCOMPARE(u32(14) + u32(18), quint32(bytes.size()));
    // The image's own header: 128 wide, 256 high (colour and mask), 32 bits, uncompressed.
    const int image = int(u32(18));
    QCOMPARE(u32(image), 40u);
    QCOMPARE(u32(image + 4), 128u);
    QCOMPARE(u32(image + 8), 256u);
    QCOMPARE(u16(image + 14), quint16(32));
    QCOMPARE(u32(image + 16), 0u);
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
