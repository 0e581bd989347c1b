// The antenna pattern content: kept as an element tree below the data element, searched with
// XPath through QXmlQuery (the library's only use of Qt XML Patterns).
#include <OrvexXmlInterface/converters/rpp/RppConverters.h>

#include "RppDom_p.h"

#include <QtCore/QBuffer>
#include <QtXmlPatterns/QAbstractMessageHandler>
#include <QtXmlPatterns/QXmlQuery>

using namespace XmlCommon;

namespace RppConverter
{
namespace
{
// A query that does not compile is answered with a result code; its text goes nowhere else.
class CSilentHandler : public QAbstractMessageHandler
{
protected:
    void handleMessage(QtMsgType, const QString&, const QUrl&, const QSourceLocation&) override {}
};
}  // namespace

int RppAntennaPatternsFragment::setPatterns(const QDomNode& a_objPatterns)
{
    const ptrCXmlElement ptrPatterns = elementOf(a_objPatterns);
    if (!ptrPatterns)
        return RESULT_INVALID_ARG;
    const ptrCXmlElement ptrData = shapedDataElement();
    ptrData->removeAllChildren();
    return ptrData->addChild(ptrPatterns, -1);
}

int RppAntennaPatternsFragment::getPatterns(const QString& a_strXPath, QStringList& a_lstValues) const
{
    const ptrCXmlElement ptrData = dataElement();
    if (!ptrData)
        return RESULT_WRONG_KIND;
    if (ptrData->getNumberOfChildren() == 0)
        return RESULT_MISSING;
    QByteArray baText;
    unsigned int uiUncompressed = 0;
    ptrData->toByteArray(baText, uiUncompressed);
    QBuffer objBuffer(&baText);
    objBuffer.open(QIODevice::ReadOnly);

    CSilentHandler objHandler;
    QXmlQuery objQuery;
    objQuery.setMessageHandler(&objHandler);
    if (!objQuery.setFocus(&objBuffer))
        return RESULT_MALFORMED;
    objQuery.setQuery(a_strXPath);
    QStringList lstValues;
    if (!objQuery.isValid() || !objQuery.evaluateTo(&lstValues))
        return RESULT_INVALID_ARG;
    a_lstValues = lstValues;
    return RESULT_OK;
}
}  // namespace RppConverter
