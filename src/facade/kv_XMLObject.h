#pragma once

#include <OrvexXmlInterface/OxiExport.h>
#include <OrvexXmlInterface/xmlcommon/CMsgFragment.h>
#include <OrvexXmlInterface/xmlcommon/CXmlMessage.h>

#include <QtCore/QObject>

namespace kv_XML
{
// The base class of the host's facade objects.
class OXI_EXPORT kv_XMLObject : public QObject
{
    Q_OBJECT

public:
    explicit kv_XMLObject(QObject* a_pParent = nullptr);
};

// Signals through which host code reports the messages it received, sent or found faulty. The
// library declares them and never emits them itself. Their types are registered meta types, so
// the signals may cross threads.
class OXI_EXPORT kv_IXmlMsgNotifier : public QObject
{
    Q_OBJECT

public:
    explicit kv_IXmlMsgNotifier(QObject* a_pParent = nullptr);

signals:
    void si_messageReceived(const QString& a_dateTime, XmlCommon::ptrCXmlMessage a_message, quint32 a_connectionId);
    void si_messageSent(const QString& a_dateTime, XmlCommon::ptrCXmlMessage a_message, quint32 a_connectionId);
    void si_faultReceived(const QString& a_sourceName, const XmlCommon::CMsgFragment& a_msgFragment, quint32 a_msgId);
};
}  // namespace kv_XML
