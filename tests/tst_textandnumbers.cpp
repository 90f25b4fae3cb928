#include "platform/Errors.h"
#include "platform/Numbers.h"
#include "platform/TextCodec.h"

#include <QBuffer>
#include <QtTest>

class tst_TextAndNumbers : public QObject
{
    Q_OBJECT
private slots:
    void wholeNumbers_data();
    void wholeNumbers();
    void realNumbers_data();
    void realNumbers();
    void codecRoundTripsEveryByte();
    void codecKnowsCyrillic();
    void lineReader_data();
    void lineReader();
    void lineWriterEndsInCrLf();
    void trimming();
};

// Catches a conversion that accepts junk or rejects what settings files hold.
void tst_TextAndNumbers::wholeNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("value");
    QTest::newRow("leading blank") << " 12" << true << 12;
    QTest::newRow("minus") << "-5" << true << -5;
    QTest::newRow("plus") << "+7" << true << 7;
    QTest::newRow("dollar hex") << "$1F" << true << 31;
    QTest::newRow("0x hex") << "0x1E" << true << 30;
    QTest::newRow("trailing letter") << "12a" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("blank only") << "  " << false << 0;
    QTest::newRow("above range") << "2147483648" << false << 0;
    QTest::newRow("lowest") << "-2147483648" << true << int(-2147483647 - 1);
    QTest::newRow("real text") << "24.0" << false << 0;
    QTest::newRow("trailing blank") << "12 " << false << 0;
    QTest::newRow("sign only") << "-" << false << 0;
    QTest::newRow("bare dollar") << "$" << false << 0;
}

void tst_TextAndNumbers::wholeNumbers()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(int, value);
    int got = 0;
    QCOMPARE(tryStrToInt(text, got), ok);
    if (ok) {
        QCOMPARE(got, value);
        QCOMPARE(strToInt(text), value);
    } else {
        try {
            strToInt(text);
            QFAIL("no error");
        } catch (const ConversionError &e) {
            QCOMPARE(e.message(), QStringLiteral("'%1' is not a valid integer value").arg(text));
        }
    }
}

// Catches a locale-dependent decimal separator.
void tst_TextAndNumbers::realNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("value");
    QTest::newRow("point") << "24.0" << true << 24.0;
    QTest::newRow("comma") << "24,0" << false << 0.0;
    QTest::newRow("exponent") << "2.5E1" << true << 25.0;
    QTest::newRow("negative") << "-1.5" << true << -1.5;
    QTest::newRow("whole") << "24" << true << 24.0;
    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("dot only") << "." << false << 0.0;
    QTest::newRow("letters") << "abc" << false << 0.0;
}

void tst_TextAndNumbers::realNumbers()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(double, value);
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    double got = 0;
    QCOMPARE(tryStrToFloat(text, got), ok);
    if (ok) {
        QCOMPARE(got, value);
    } else {
        try {
            strToFloat(text);
            QFAIL("no error");
        } catch (const ConversionError &e) {
            QCOMPARE(e.message(), QStringLiteral("'%1' is not a valid floating point value").arg(text));
        }
    }
}

// Catches a codec that loses a byte (rows must come back byte for byte).
void tst_TextAndNumbers::codecRoundTripsEveryByte()
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    const QString text = fromWin1251(all);
    QCOMPARE(text.size(), 256);
    QCOMPARE(toWin1251(text), all);
}

void tst_TextAndNumbers::codecKnowsCyrillic()
{
    QCOMPARE(toWin1251(QStringLiteral("Ёё№Яя")), QByteArray("\xA8\xB8\xB9\xDF\xFF"));
    QCOMPARE(fromWin1251("\xCF\xF3\xF1\xEA"), QStringLiteral("Пуск"));
    QCOMPARE(toWin1251(QStringLiteral("中")), QByteArray("?"));
}

// Catches line ends kept in rows, a lost last line, and text after code 26.
void tst_TextAndNumbers::lineReader_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("LF") << QByteArray("a\nb\n") << QStringList{"a", "b"};
    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QStringList{"a", "b"};
    QTest::newRow("no final end") << QByteArray("a\nb") << QStringList{"a", "b"};
    QTest::newRow("empty lines") << QByteArray("\n\r\nx") << QStringList{"", "", "x"};
    QTest::newRow("code 26 ends") << QByteArray("a\nb\x1a" "c\nd\n") << QStringList{"a", "b"};
    QTest::newRow("lone CR stays") << QByteArray("a\rb\n") << QStringList{"a\rb"};
    QTest::newRow("long line") << (QByteArray(600000, 'x') + "\ny") << QStringList{QString(600000, 'x'), "y"};
}

void tst_TextAndNumbers::lineReader()
{
    QFETCH(QByteArray, input);
    QFETCH(QStringList, lines);
    QBuffer buffer(&input);
    buffer.open(QIODevice::ReadOnly);
    LineReader reader(buffer);
    QStringList got;
    QByteArray line;
    while (reader.readLine(line))
        got << QString::fromLatin1(line);
    QCOMPARE(got, lines);
}

void tst_TextAndNumbers::lineWriterEndsInCrLf()
{
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    LineWriter writer(buffer);
    writer.writeLine(QStringLiteral("Всего: 3"));
    writer.writeLine(QString());
    QCOMPARE(out, QByteArray("\xC2\xF1\xE5\xE3\xEE: 3\r\n\r\n"));
}

void tst_TextAndNumbers::trimming()
{
    QCOMPARE(trimControls(QStringLiteral("\t\x01 a b \x1f\r")), QStringLiteral("a b"));
    QCOMPARE(trimControls(QByteArray(" \x00x\x7f ", 5)), QByteArray("x\x7f"));
    QCOMPARE(trimControls(QStringLiteral(" \xA0x")), QStringLiteral("\xA0x"));
}

QTEST_GUILESS_MAIN(tst_TextAndNumbers)
#include "tst_textandnumbers.moc"
