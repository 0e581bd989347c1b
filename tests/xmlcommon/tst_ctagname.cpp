#include <OrvexXmlInterface/xmlcommon/CTagname.h>
#include <OrvexXmlInterface/xmlcommon/Tagnames.h>

#include <QtCore/QSet>
#include <QtTest/QtTest>

using XmlCommon::CTagname;

namespace
{
// Exposes the protected cache reset.
class CInspectTagname : public CTagname
{
public:
    using CTagname::CTagname;
    void dropPieces() { clearChildren(); }
};
}  // namespace

class TestTagname : public QObject
{
    Q_OBJECT

private slots:
    void forms_data()
    {
        QTest::addColumn<int>("source");  // 0 const char*, 1 QByteArray, 2 QString, 3 copy of a QString tag
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("begin");
        QTest::addColumn<QByteArray>("end");
        QTest::newRow("char*") << 0 << "Reply" << QByteArray("Reply") << QByteArray("<Reply") << QByteArray("</Reply>");
        QTest::newRow("bytes") << 1 << "Fault" << QByteArray("Fault") << QByteArray("<Fault") << QByteArray("</Fault>");
        QTest::newRow("string") << 2 << "Event" << QByteArray("Event") << QByteArray("<Event")
                                << QByteArray("</Event>");
        QTest::newRow("copied") << 3 << "Name" << QByteArray("Name") << QByteArray("<Name") << QByteArray("</Name>");
        QTest::newRow("empty char*") << 0 << "" << QByteArray() << QByteArray("<") << QByteArray("</>");
        QTest::newRow("empty bytes") << 1 << "" << QByteArray() << QByteArray("<") << QByteArray("</>");
        QTest::newRow("null string") << 2 << QString() << QByteArray() << QByteArray("<") << QByteArray("</>");
        // Names travel in the UTF-8 stream as UTF-8, whichever form they were made from.
        QTest::newRow("non-ASCII string") << 2 << QString::fromLatin1("Gr\xfc\xdf") << QByteArray("Gr\xc3\xbc\xc3\x9f")
                                          << QByteArray("<Gr\xc3\xbc\xc3\x9f") << QByteArray("</Gr\xc3\xbc\xc3\x9f>");
        QTest::newRow("non-ASCII bytes") << 1 << QString::fromLatin1("Gr\xfc\xdf") << QByteArray("Gr\xc3\xbc\xc3\x9f")
                                         << QByteArray("<Gr\xc3\xbc\xc3\x9f") << QByteArray("</Gr\xc3\xbc\xc3\x9f>");
    }

    void forms()
    {
        QFETCH(int, source);
        QFETCH(QString, text);
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, begin);
        QFETCH(QByteArray, end);
        const QByteArray baUtf8 = text.toUtf8();
        CTagname objTag = source == 0   ? CTagname(baUtf8.constData())
                          : source == 1 ? CTagname(baUtf8)
                          : source == 2 ? CTagname(text)
                                        : CTagname(CTagname(text));
        QVERIFY(!objTag.isEmpty());
        QCOMPARE(objTag.name(), name);
        QCOMPARE(objTag.begin(), begin);
        QCOMPARE(objTag.end(), end);
        QCOMPARE(static_cast<const QString&>(objTag), text);
        QCOMPARE(QVariant(objTag).toString(), static_cast<const QString&>(objTag));

        CTagname objAssigned("Other");
        objAssigned = objTag;
        QCOMPARE(objAssigned.begin(), begin);
        QVERIFY(objAssigned == objTag);
    }

    void bytesThatAreNotUtf8()
    {
        // Latin-1 bytes would break the stream they are written into: they stand for what they
        // decode to.
        const CTagname objTag(QByteArray("Gr\xfc\xdf"));
        QCOMPARE(objTag.name(), QByteArray("Gr\xef\xbf\xbd\xef\xbf\xbd"));
        QCOMPARE(static_cast<const QString&>(objTag), QStringLiteral("Gr\ufffd\ufffd"));
    }

    void emptyTag()
    {
        const CTagname objEmpty;
        QVERIFY(objEmpty.isEmpty());
        QVERIFY(objEmpty.name().isEmpty());
        QVERIFY(objEmpty.begin().isEmpty());
        QVERIFY(objEmpty.end().isEmpty());
        QVERIFY(static_cast<const QString&>(objEmpty).isEmpty());
        QCOMPARE(objEmpty.toStdString(), std::string());

        QVERIFY(objEmpty == CTagname());
        QVERIFY(objEmpty != CTagname(""));
        QVERIFY(CTagname("") != objEmpty);
        QVERIFY(objEmpty != QByteArray());
        QVERIFY(objEmpty != QString());
        QVERIFY(objEmpty != "");
        QVERIFY(!(objEmpty == static_cast<const char*>(nullptr)));

        CTagname objTarget("Reply");
        objTarget = objEmpty;
        QVERIFY(objTarget.isEmpty());
        QVERIFY(objTarget.begin().isEmpty());
    }

    void comparisons()
    {
        const CTagname objBytes("Reply");
        const CTagname objString(QStringLiteral("Reply"));
        QVERIFY(objBytes == objString);
        QVERIFY(objString == objBytes);
        QVERIFY(objBytes == QStringLiteral("Reply"));
        QVERIFY(objBytes == QByteArray("Reply"));
        QVERIFY(objBytes == "Reply");
        QVERIFY(objBytes != "reply");
        QVERIFY(objBytes != QStringLiteral("reply"));
        QVERIFY(objBytes != CTagname("reply"));
        QVERIFY(objBytes != "Repl");
        QVERIFY(objBytes != "Replyy");
        QVERIFY(CTagname("") == static_cast<const char*>(nullptr));
        QVERIFY(objBytes != static_cast<const char*>(nullptr));
        QCOMPARE(objString.toStdString(), std::string("Reply"));
    }

    void piecesRebuiltAfterClear()
    {
        CInspectTagname objTag(QStringLiteral("Request"));
        objTag.dropPieces();
        QCOMPARE(objTag.begin(), QByteArray("<Request"));
        QCOMPARE(objTag.end(), QByteArray("</Request>"));
        QCOMPARE(objTag.name(), QByteArray("Request"));
        CTagname objCopy(objTag);
        QCOMPARE(objCopy.end(), QByteArray("</Request>"));
    }

    void vocabulary()
    {
        const QVector<const CTagname*>& vec = XmlCommon::Tag::vocabulary();
        QSet<QByteArray> setNames;
        for (const CTagname* p : vec) {
            QVERIFY(!p->name().isEmpty());
            QCOMPARE(p->begin(), '<' + p->name());
            setNames.insert(p->name());
            QCOMPARE(XmlCommon::Tag::find(*p), p);
        }
        QCOMPARE(setNames.size(), vec.size());
        // Spellings that an identifier cannot carry or that differ only in case.
        QCOMPARE(XmlCommon::Tag::_10M.name(), QByteArray("10M"));
        QCOMPARE(XmlCommon::Tag::timestamp.name(), QByteArray("timestamp"));
        QCOMPARE(XmlCommon::Tag::Timestamp.name(), QByteArray("Timestamp"));
        QCOMPARE(XmlCommon::Tag::find(QStringLiteral("request")), nullptr);
        QCOMPARE(XmlCommon::Tag::find(QString()), nullptr);
    }

    void vocabularyCopiesAreIndependent()
    {
        // Copies of a vocabulary name share its forms without counting; one that rebuilds its
        // pieces, or is reassigned, or dies, must leave the constant as it was.
        {
            CInspectTagname objCopy(XmlCommon::Tag::Request);
            CTagname objSecond = objCopy;
            objCopy.dropPieces();
            objSecond = CTagname("Other");
            QCOMPARE(objCopy.end(), QByteArray("</Request>"));
            QVERIFY(objCopy == XmlCommon::Tag::Request);
        }
        QCOMPARE(XmlCommon::Tag::Request.begin(), QByteArray("<Request"));
        CTagname objTemp(XmlCommon::Tag::Reply);
        CTagname objMoved(std::move(objTemp));
        QCOMPARE(objMoved.name(), QByteArray("Reply"));
        QCOMPARE(XmlCommon::Tag::Reply.name(), QByteArray("Reply"));
    }
};

QTEST_GUILESS_MAIN(TestTagname)
#include "tst_ctagname.moc"
