// The icons that the windows load from ":/", compiled into the windows' library.

#include <QImage>
#include <QTest>

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void iconsLoad()
    {
        for (const char *path : {":/app.ico", ":/setting.png", ":/language.png", ":/toolbarbackground.png"}) {
            const QImage icon(QString::fromLatin1(path));
            QVERIFY2(!icon.isNull() && icon.hasAlphaChannel(), path);
        }
    }
};

QTEST_GUILESS_MAIN(TestResources)
#include "tst_resources.moc"
