#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommon/CXmlElement.h>
#include <OrvexXmlInterface/xmlcommon/CXmlMessage.h>

namespace XmlCommon
{
// What the stream parser reports, synchronously from inside parse().
class OXI_EXPORT IXmlListener
{
public:
    virtual ~IXmlListener();
    // A top-level element has been closed.
    virtual void handleFinishedXmlDoc(ptrCXmlElement a_ptrRoot) = 0;
    // The message of that element is complete (the same object handleMsgHeader saw).
    virtual void handleFinishedXmlMsg(ptrCXmlMessage a_ptrMsg) = 0;
    // A top-level element has been opened: its attributes (the envelope) are complete, its
    // children are still to come.
    virtual void handleMsgHeader(ptrCXmlMessage a_ptrMsg) = 0;
    // The stream is broken; the parser must be replaced.
    virtual void handleParserError(const QString& a_strText) = 0;
};
}  // namespace XmlCommon
