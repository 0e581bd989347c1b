// The Rpp operations that do not follow the one-value pattern: items given as DOM nodes, channel
// groups and the database reset.
#include <OrvexXmlInterface/converters/rpp/RppConverters.h>
#include <OrvexXmlInterface/xmlcommon/CXmlReader.h>

#include "../ConverterSupport_p.h"
#include "RppDom_p.h"

#include <QtCore/QTextStream>

using namespace XmlCommon;
namespace Tools = XmlCommon::XmlConverterTools;

namespace RppConverter
{
namespace
{
const QByteArray s_baPriority("Prio");
const QByteArray s_baIndex("index");

// Appends a DOM node's element under the item name, with one more attribute where given.
int appendNode(const ptrCXmlElement& a_ptrData, const CTagname& a_objTag, const QDomNode& a_objNode,
               const QByteArray& a_baAttribute = QByteArray(), const QString& a_strValue = QString())
{
    const ptrCXmlElement ptrItem = elementOf(a_objNode);
    if (!ptrItem)
        return RESULT_INVALID_ARG;
    ptrItem->setTagname(a_objTag);
    if (!a_baAttribute.isEmpty())
        ptrItem->setAttribute(a_baAttribute, a_strValue);
    return a_ptrData->addChild(ptrItem, -1);
}
}  // namespace

ptrCXmlElement elementOf(const QDomNode& a_objNode)
{
    if (a_objNode.isNull() || !a_objNode.isElement())
        return ptrCXmlElement();
    QString strText;
    QTextStream objStream(&strText);
    a_objNode.save(objStream, 0);
    objStream.flush();
    CXmlReader objReader;
    bool bOk = false;
    QString strError;
    const ptrCXmlElement ptrElement = objReader.readByteArray(strText.toUtf8(), bOk, strError);
    return bOk ? ptrElement : ptrCXmlElement();
}

int RppAddEmitterFragment::addEmitter(int a_iPriority, const QDomNode& a_objEmitter)
{
    if (a_iPriority < 0)
        return RESULT_INVALID_ARG;
    return appendNode(shapedDataElement(), Tag::Emitter, a_objEmitter, s_baPriority, QString::number(a_iPriority));
}

int RppAddMDFFragment::addMDF(const QDomNode& a_objMDF)
{
    return appendNode(shapedDataElement(), Tag::MDF, a_objMDF);
}

int RppChannelsFragment::setGroupBits(int a_iGroup, unsigned int a_uiBits)
{
    if (a_iGroup < 0)
        return RESULT_INVALID_ARG;
    const ptrCXmlElement ptrGroup =
        ConverterSupport::childWith(shapedDataElement(), Tag::Group, s_baIndex, QString::number(a_iGroup), true);
    return ptrGroup->setValue(Tools::valueToString(a_uiBits));
}

int RppChannelsFragment::getGroupBits(int a_iGroup, unsigned int& a_uiBits) const
{
    const ptrCXmlElement ptrData = dataElement();
    if (!ptrData)
        return RESULT_WRONG_KIND;
    const ptrCXmlElement ptrGroup =
        ConverterSupport::childWith(ptrData, Tag::Group, s_baIndex, QString::number(a_iGroup), false);
    if (!ptrGroup)
        return RESULT_MISSING;
    bool bOk = false;
    const unsigned int uiBits = ptrGroup->getValue().toUInt(&bOk, 10);
    if (!bOk)
        return RESULT_MALFORMED;
    a_uiBits = uiBits;
    return RESULT_OK;
}

int RppChannelsFragment::getNumGroups() const
{
    return static_cast<int>(ConverterSupport::countElements(dataElement(), Tag::Group));
}

int RppResetDatabaseFragment::init()
{
    makeFragment();
    return RESULT_OK;
}
}  // namespace RppConverter
